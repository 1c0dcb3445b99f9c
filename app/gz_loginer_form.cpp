#include "app/gz_loginer_form.h"

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
QPointer<gz_Loginer_Form> g_window;

QLabel *label(QWidget *parent, const char *name, const QString &text, int top)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(ui::twips(360), ui::twips(top + 60), ui::twips(900), ui::twips(300));
    return l;
}

QLineEdit *field(QWidget *parent, const char *name, int top)
{
    auto *t = new QLineEdit(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setGeometry(ui::twips(1320), ui::twips(top), ui::twips(2700), ui::twips(360));
    return t;
}
} // namespace

gz_Loginer_Form::gz_Loginer_Form(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("gz_Loginer_Form"));
    setWindowTitle(QStringLiteral("更改用户名称"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ui::twips(4500), ui::twips(3120));

    Label1_0 = label(this, "Label1_0", QStringLiteral("原用户"), 300);
    Label1_1 = label(this, "Label1_1", QStringLiteral("密  码"), 780);
    Label1_2 = label(this, "Label1_2", QStringLiteral("新用户"), 1260);
    Label1_3 = label(this, "Label1_3", QStringLiteral("新用户"), 1740);
    Text1 = field(this, "Text1", 300);
    Text2 = field(this, "Text2", 780);
    Text3 = field(this, "Text3", 1260);
    Text4 = field(this, "Text4", 1740);
    Text2->setEchoMode(QLineEdit::Password);
    Text4->setText(QStringLiteral("再输入一遍"));
    Text4->installEventFilter(this);

    button1 = new UserControl1(this);
    button1->setObjectName(QStringLiteral("button1"));
    button1->setCaption(QStringLiteral("更改"));
    button1->setGeometry(ui::twips(2940), ui::twips(2340), ui::twips(1080), ui::twips(420));
    connect(button1, &UserControl1::Click, this, [this] { button1_Click(); });
}

gz_Loginer_Form *gz_Loginer_Form::showWindow()
{
    if (!g_window) {
        main_MDIForm *m = main_MDIForm::instance();
        g_window = new gz_Loginer_Form(m);
        if (m) // over the middle of the main window
            g_window->move(m->geometry().center() - g_window->rect().center());
    }
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return g_window;
}

// A click into the repeat field empties it, hint or not.
bool gz_Loginer_Form::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text4 && event->type() == QEvent::MouseButtonPress)
        Text4->clear();
    return QWidget::eventFilter(watched, event);
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
