#pragma once
#include "app/accountform.h"

// Lets the logged-in user change the user name.
class gz_Loginer_Form : public AccountForm
{
    Q_OBJECT
public:
    explicit gz_Loginer_Form(QWidget *parent = nullptr);

    // The one window of its kind, created over the main window on first use.
    static gz_Loginer_Form *showWindow();

private:
    void button1_Click() override;
};
