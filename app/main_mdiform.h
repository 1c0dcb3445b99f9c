#pragma once
#include <QMainWindow>

#include "ui/windowhost.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;

// The program's frame: the menu bar and the area in which every data window opens. It is
// the window host of the run: windows ask ui::ShowWindow to be shown and land here.
class main_MDIForm : public QMainWindow, public ui::WindowHost
{
    Q_OBJECT
public:
    explicit main_MDIForm(QWidget *parent = nullptr);
    ~main_MDIForm() override;

    // The one main window of the run, or null before it exists.
    static main_MDIForm *instance();

    // Maximizes the window and fills the lookup lists.
    void load();

    QMdiArea *mdiArea() const { return m_mdi; }

    // Shows w as a child window; it is deleted when the user closes it.
    QMdiSubWindow *addChild(QWidget *w);
    void showChild(QWidget *w) override { addChild(w); }
    void activateChild(QWidget *w) override;

    QAction *menuItem(const QString &name) const; // e.g. "menu4_4"

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void wireMenus();
    void toggleDemoData();

    QMdiArea *m_mdi;
};
