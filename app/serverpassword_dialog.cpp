#include "app/serverpassword_dialog.h"

#include <QLabel>
#include <QLineEdit>

#include "hoverpad/usercontrol1.h"
#include "ui/twips.h"

ServerPassword_Dialog::ServerPassword_Dialog(const db::ServerShop &shop, const QString &reason, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ServerPassword_Dialog"));
    setWindowTitle(QStringLiteral("数据库服务器密码"));
    setFixedSize(ui::twips(5400), ui::twips(3480));

    // The reason names the database already; the question names the user the password is for.
    Label0 = new QLabel(QStringLiteral("%1\n\n请输入用户 %2 的密码（只在本次运行中使用，不会保存）：")
                            .arg(reason.trimmed(), shop.user.isEmpty() ? QStringLiteral("（默认）") : shop.user),
                        this);
    Label0->setObjectName(QStringLiteral("Label0"));
    Label0->setWordWrap(true);
    Label0->setGeometry(ui::twips(360), ui::twips(180), ui::twips(4680), ui::twips(1800));
    Label1 = new QLabel(QStringLiteral("密码"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(ui::twips(360), ui::twips(2160), ui::twips(900), ui::twips(300));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setEchoMode(QLineEdit::Password);
    Text1->setGeometry(ui::twips(1320), ui::twips(2100), ui::twips(3720), ui::twips(360));

    button1 = new UserControl1(this);
    button1->setObjectName(QStringLiteral("button1"));
    button1->setCaption(QStringLiteral("确定"));
    button1->setGeometry(ui::twips(2520), ui::twips(2760), ui::twips(1080), ui::twips(420));
    button2 = new UserControl1(this);
    button2->setObjectName(QStringLiteral("button2"));
    button2->setCaption(QStringLiteral("取消"));
    button2->setGeometry(ui::twips(3960), ui::twips(2760), ui::twips(1080), ui::twips(420));
    connect(button1, &UserControl1::Click, this, &QDialog::accept);
    connect(button2, &UserControl1::Click, this, &QDialog::reject);
    connect(Text1, &QLineEdit::returnPressed, this, &QDialog::accept);
}

QString ServerPassword_Dialog::password() const
{
    return Text1->text();
}

namespace startup {

bool AskServerPassword(QWidget *parent, const db::ServerShop &shop, const QString &reason)
{
    ServerPassword_Dialog d(shop, reason, parent);
    if (d.exec() != QDialog::Accepted || d.password().isEmpty())
        return false;
    db::ShopLocation::setPassword(shop, d.password());
    return true;
}

} // namespace startup
