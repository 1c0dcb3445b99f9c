#pragma once
#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <functional>

class QAction;
class QMdiArea;
class QMdiSubWindow;

// The program's frame: the menu bar and the area in which every data window opens.
class main_MDIForm : public QMainWindow
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

    // The shared instance of a window kind, created by make on first use and shown.
    template <typename W>
    W *sharedChild(const std::function<W *()> &make)
    {
        const QByteArray key = W::staticMetaObject.className();
        if (auto *existing = qobject_cast<W *>(m_shared.value(key).data()))
            return existing;
        W *w = make();
        m_shared.insert(key, w);
        addChild(w);
        return w;
    }
    // The shared instance if it is open, else null.
    template <typename W>
    W *sharedIfOpen() const
    {
        return qobject_cast<W *>(m_shared.value(W::staticMetaObject.className()).data());
    }

    QAction *menuItem(const QString &name) const; // e.g. "menu4_4"

signals:
    // The demonstration-data switch changed the file in use and the lists were reloaded.
    void dataSwitched();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void wireMenus();
    void toggleDemoData();

    QMdiArea *m_mdi;
    QHash<QByteArray, QPointer<QWidget>> m_shared;
};
