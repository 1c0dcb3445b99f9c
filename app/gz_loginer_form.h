#pragma once
#include <QWidget>

class QLabel;
class QLineEdit;
class UserControl1;

// Lets the logged-in user change the user name.
class gz_Loginer_Form : public QWidget
{
    Q_OBJECT
public:
    explicit gz_Loginer_Form(QWidget *parent = nullptr);

    // The one window of its kind, created over the main window on first use.
    static gz_Loginer_Form *showWindow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void button1_Click();

    QLabel *Label1_0, *Label1_1, *Label1_2, *Label1_3;
    QLineEdit *Text1, *Text2, *Text3, *Text4;
    UserControl1 *button1;
};
