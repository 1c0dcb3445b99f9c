#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class UserControl1;

// First run: asks once for the shop keeper's account and writes it into both data files.
class FirstAccount_Dialog : public QDialog
{
    Q_OBJECT
public:
    explicit FirstAccount_Dialog(QWidget *parent = nullptr);

private:
    void button1_Click();

    QLabel *Label0;
    QLabel *Label1_0, *Label1_1, *Label1_2;
    QLineEdit *Text1, *Text2, *Text3;
    UserControl1 *button1;
    UserControl1 *button2;
};
