#pragma once
#include <QWidget>

class QLabel;
class QLineEdit;
class UserControl1;
class main_MDIForm;

// The login window: nobody works with the program before logging in here. While it is
// open the main window is shown but takes no input.
class Password_Form : public QWidget
{
    Q_OBJECT
public:
    explicit Password_Form(QWidget *parent = nullptr);
    ~Password_Form() override;

    // The login window of the run, created and loaded when none is open.
    static Password_Form *open();
    // The open login window, or null.
    static Password_Form *current();

    // Shows the main window disabled, creates the scratch folder, shows this window.
    void load();
    bool loggedIn() const { return m_loggedIn; }

    // After a data switch: the logged-in user must exist in the newly chosen file too.
    static void recheckAfterDataSwitch();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void button1_Click();
    void button2_Click();
    static void endProgram();

    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *Text1;
    QLineEdit *Text2;
    UserControl1 *button1;
    UserControl1 *button2;
    bool m_loggedIn = false;
    bool m_ending = false;
};
