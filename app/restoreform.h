#pragma once
#include <QWidget>

class QTableWidget;
class QLabel;
class UserControl1;

// 从备份恢复: the copies of the data file in use, beside it and in the second place, with
// the moment each was taken, its size and whether it is whole. Restoring one keeps the
// file in use aside and reloads every open window, as the data switch does.
class RestoreForm : public QWidget
{
    Q_OBJECT
public:
    explicit RestoreForm(QWidget *parent = nullptr);

    // The one window of its kind; its list is read anew each time it is asked for.
    static RestoreForm *showWindow();

    // Reads the copies and checks each one, showing the progress.
    void reload();
    QTableWidget *table() const { return m_table; }

private:
    void restoreChosen();

    QLabel *m_where;
    QTableWidget *m_table;
    UserControl1 *m_restore;
    UserControl1 *m_close;
    QStringList m_copies;
    QList<bool> m_whole;
};
