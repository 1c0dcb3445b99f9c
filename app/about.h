#pragma once
#include <QWidget>

class QFrame;
class QLabel;
class UserControl1;

// 关于澜岚: the program's picture, name and version; 确定 closes it.
class About : public QWidget
{
    Q_OBJECT
public:
    explicit About(QWidget *parent = nullptr);

    // The one About window, opened over the main window or brought to the front.
    static About *showWindow();

private:
    QLabel *Image1;
    QLabel *Label1;
    QLabel *lblVersion;
    QFrame *Line1;
    QFrame *Line2;
    UserControl1 *Command1;
};
