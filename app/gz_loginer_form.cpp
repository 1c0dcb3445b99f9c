#include "app/gz_loginer_form.h"

#include <QLineEdit>

#include "ui/messages.h"
#include "data/shop/accounts.h"
#include "data/store/programdir.h"

namespace {
QPointer<gz_Loginer_Form> g_window;
}

gz_Loginer_Form::gz_Loginer_Form(QWidget *parent)
    : AccountForm(parent, QStringLiteral("gz_Loginer_Form"), QStringLiteral("更改用户名称"),
                  {QStringLiteral("原用户"), QStringLiteral("密  码"), QStringLiteral("新用户"), QStringLiteral("新用户")},
                  {false, true, false, false}, QStringLiteral("再输入一遍"))
{
}

gz_Loginer_Form *gz_Loginer_Form::showWindow()
{
    return showOne(g_window);
}

void gz_Loginer_Form::button1_Click()
{
    const QString newName = Text3->text().trimmed();
    const QString password = Text2->text();
    if (Text1->text().trimmed() != db::Session::CurrentUser()) {
        msg::information(this, QStringLiteral("原用户名不正确！"));
        return;
    }
    if (password != db::Session::CurrentPassword()) {
        msg::information(this, QStringLiteral("密码不正确！"));
        return;
    }
    if (newName.isEmpty()) {
        msg::information(this, QStringLiteral("新用户名不能为空！"));
        return;
    }
    if (newName != Text4->text().trimmed()) {
        msg::information(this, QStringLiteral("两次输入的新用户名不一致！"));
        return;
    }
    if (db::Status s = db::RenameUser(newName); !s) {
        msg::information(this, s.error());
        return;
    }
    db::Session::setCurrentUser(newName);
    msg::information(this, QStringLiteral("用户名更改完毕！"));
    close();
}
