#pragma once
#include "app/accountform.h"

// Lets the logged-in user change the password; an empty new password removes it.
class gz_PWD_Form : public AccountForm
{
    Q_OBJECT
public:
    explicit gz_PWD_Form(QWidget *parent = nullptr);

    // The one window of its kind, created over the main window on first use.
    static gz_PWD_Form *showWindow();

private:
    void button1_Click() override;
};
