#include "app/gz_pwd_form.h"

#include <QLineEdit>

#include "ui/messages.h"
#include "data/shop/accounts.h"
#include "data/store/programdir.h"

namespace {
QPointer<gz_PWD_Form> g_window;
}

gz_PWD_Form::gz_PWD_Form(QWidget *parent)
    : AccountForm(parent, QStringLiteral("gz_PWD_Form"), QStringLiteral("更改登录密码"),
                  {QStringLiteral("用户名"), QStringLiteral("原密码"), QStringLiteral("新密码"), QStringLiteral("新密码")},
                  {false, true, true, true})
{
}

gz_PWD_Form *gz_PWD_Form::showWindow()
{
    return showOne(g_window);
}

void gz_PWD_Form::button1_Click()
{
    const QString newPassword = Text3->text();
    if (Text1->text().trimmed() != db::Session::CurrentUser()) {
        msg::information(this, QStringLiteral("原用户名不正确！"));
        return;
    }
    if (Text2->text() != db::Session::CurrentPassword()) {
        msg::information(this, QStringLiteral("原密码不正确！"));
        return;
    }
    if (newPassword != Text4->text()) {
        msg::information(this, QStringLiteral("两次输入的新密码不一致！"));
        return;
    }
    if (db::Status s = db::ChangePassword(newPassword); !s) {
        msg::information(this, s.error());
        return;
    }
    db::Session::setCurrentPassword(newPassword);
    msg::information(this, QStringLiteral("新密码更改完毕！"));
    close();
}
