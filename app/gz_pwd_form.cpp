#include "app/gz_pwd_form.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include "app/main_mdiform.h"
#include "app/messages.h"
#include "app/twips.h"
#include "data/accounts.h"
#include "data/programdir.h"
#include "hoverpad/usercontrol1.h"

namespace {
QPointer<gz_PWD_Form> g_window;

QLabel *label(QWidget *parent, const char *name, const QString &text, int top)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(ui::twips(360), ui::twips(top + 60), ui::twips(900), ui::twips(300));
    return l;
}

QLineEdit *field(QWidget *parent, const char *name, int top, bool masked)
{
    auto *t = new QLineEdit(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setGeometry(ui::twips(1320), ui::twips(top), ui::twips(2700), ui::twips(360));
    if (masked)
        t->setEchoMode(QLineEdit::Password);
    return t;
}
} // namespace

gz_PWD_Form::gz_PWD_Form(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("gz_PWD_Form"));
    setWindowTitle(QStringLiteral("更改登录密码"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ui::twips(4500), ui::twips(3120));

    Label1_0 = label(this, "Label1_0", QStringLiteral("用户名"), 300);
    Label1_1 = label(this, "Label1_1", QStringLiteral("原密码"), 780);
    Label1_2 = label(this, "Label1_2", QStringLiteral("新密码"), 1260);
    Label1_3 = label(this, "Label1_3", QStringLiteral("新密码"), 1740);
    Text1 = field(this, "Text1", 300, false);
    Text2 = field(this, "Text2", 780, true);
    Text3 = field(this, "Text3", 1260, true);
    Text4 = field(this, "Text4", 1740, true);
    Text4->installEventFilter(this);

    button1 = new UserControl1(this);
    button1->setObjectName(QStringLiteral("button1"));
    button1->setCaption(QStringLiteral("更改"));
    button1->setGeometry(ui::twips(2940), ui::twips(2340), ui::twips(1080), ui::twips(420));
    connect(button1, &UserControl1::Click, this, [this] { button1_Click(); });
}

gz_PWD_Form *gz_PWD_Form::showWindow()
{
    if (!g_window) {
        main_MDIForm *m = main_MDIForm::instance();
        g_window = new gz_PWD_Form(m);
        if (m) // over the middle of the main window
            g_window->move(m->geometry().center() - g_window->rect().center());
    }
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return g_window;
}

// A click into the repeat field empties it.
bool gz_PWD_Form::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text4 && event->type() == QEvent::MouseButtonPress)
        Text4->clear();
    return QWidget::eventFilter(watched, event);
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
