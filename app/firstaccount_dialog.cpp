#include "app/firstaccount_dialog.h"

#include <QLabel>
#include <QLineEdit>

#include "ui/messages.h"
#include "ui/textlimit.h"
#include "ui/twips.h"
#include "data/shop/accounts.h"
#include "hoverpad/usercontrol1.h"

namespace {
QLabel *label(QWidget *parent, const char *name, const QString &text, int top)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(ui::twips(360), ui::twips(top + 60), ui::twips(1080), ui::twips(300));
    return l;
}

QLineEdit *field(QWidget *parent, const char *name, int top, bool masked)
{
    auto *t = new QLineEdit(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setGeometry(ui::twips(1500), ui::twips(top), ui::twips(3000), ui::twips(360));
    if (masked)
        t->setEchoMode(QLineEdit::Password);
    ui::LimitLength(t);
    return t;
}
} // namespace

FirstAccount_Dialog::FirstAccount_Dialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FirstAccount_Dialog"));
    setWindowTitle(QStringLiteral("设置登录账号"));
    setFixedSize(ui::twips(4920), ui::twips(3660));

    Label0 = new QLabel(QStringLiteral("首次使用本系统，请设置店主的登录用户名和密码。\n"
                                       "密码可以不填，不填即为无密码。"),
                        this);
    Label0->setObjectName(QStringLiteral("Label0"));
    Label0->setWordWrap(true);
    Label0->setGeometry(ui::twips(360), ui::twips(240), ui::twips(4200), ui::twips(660));

    Label1_0 = label(this, "Label1_0", QStringLiteral("用户名"), 1080);
    Label1_1 = label(this, "Label1_1", QStringLiteral("密码"), 1560);
    Label1_2 = label(this, "Label1_2", QStringLiteral("再输一遍"), 2040);
    Text1 = field(this, "Text1", 1080, false);
    Text2 = field(this, "Text2", 1560, true);
    Text3 = field(this, "Text3", 2040, true);

    button1 = new UserControl1(this);
    button1->setObjectName(QStringLiteral("button1"));
    button1->setCaption(QStringLiteral("确定"));
    button1->setGeometry(ui::twips(2040), ui::twips(2880), ui::twips(1080), ui::twips(420));
    button2 = new UserControl1(this);
    button2->setObjectName(QStringLiteral("button2"));
    button2->setCaption(QStringLiteral("取消"));
    button2->setGeometry(ui::twips(3420), ui::twips(2880), ui::twips(1080), ui::twips(420));
    connect(button1, &UserControl1::Click, this, [this] { button1_Click(); });
    connect(button2, &UserControl1::Click, this, &QDialog::reject);
    connect(Text1, &QLineEdit::returnPressed, this, [this] { Text2->setFocus(); });
    connect(Text2, &QLineEdit::returnPressed, this, [this] { Text3->setFocus(); });
    connect(Text3, &QLineEdit::returnPressed, this, [this] { button1_Click(); });
}

void FirstAccount_Dialog::button1_Click()
{
    const QString user = Text1->text().trimmed();
    if (user.isEmpty()) {
        msg::information(this, QStringLiteral("请输入用户名！"));
        Text1->setFocus();
        return;
    }
    if (Text2->text() != Text3->text()) {
        msg::information(this, QStringLiteral("两次输入的密码不一致！"));
        Text3->setFocus();
        Text3->selectAll();
        return;
    }
    if (db::Status s = db::CreateFirstAccount(user, Text2->text()); !s) {
        msg::information(this, s.error());
        return;
    }
    accept();
}
