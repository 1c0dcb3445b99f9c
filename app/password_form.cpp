#include "app/password_form.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>

#include "app/main_mdiform.h"
#include "app/searchwarmup.h"
#include "ui/windowhost.h"
#include "ui/messages.h"
#include "ui/textlimit.h"
#include "ui/twips.h"
#include "data/shop/accounts.h"
#include "data/store/programdir.h"
#include "hoverpad/usercontrol1.h"

namespace {
QPointer<Password_Form> g_login;
bool g_reverting = false;

const QString kWrongLogin = QStringLiteral("用户名或密码不正确！");

main_MDIForm *mainWindow()
{
    main_MDIForm *m = main_MDIForm::instance();
    if (!m) {
        m = new main_MDIForm;
        m->setAttribute(Qt::WA_DeleteOnClose);
    }
    return m;
}

void watchDataSwitch(main_MDIForm *m)
{
    static const char *const kWatched = "lanlan_loginRecheck";
    if (m->property(kWatched).toBool())
        return;
    m->setProperty(kWatched, true);
    QObject::connect(ui::DataSwitch::instance(), &ui::DataSwitch::switched, m, &Password_Form::recheckAfterDataSwitch);
}
// A window with the dialog flag but no QDialog class: assistive technology would call it a
// plain filler; it is the login dialog.
QAccessibleInterface *loginAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("Password_Form") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Dialog);
    return nullptr;
}
} // namespace

Password_Form::Password_Form(QWidget *parent)
    : QWidget(parent, Qt::Dialog),
      Label1(new QLabel(QStringLiteral("用户"), this)),
      Label2(new QLabel(QStringLiteral("密码"), this)),
      Text1(new QLineEdit(this)),
      Text2(new QLineEdit(this)),
      button1(new UserControl1(this)),
      button2(new UserControl1(this))
{
    static const bool accessible = [] {
        QAccessible::installFactory(loginAccessible);
        return true;
    }();
    Q_UNUSED(accessible);
    setObjectName(QStringLiteral("Password_Form"));
    setWindowTitle(QStringLiteral("登录"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ui::twips(4320), ui::twips(2280));

    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Text1->setObjectName(QStringLiteral("Text1"));
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setEchoMode(QLineEdit::Password);
    ui::LimitLength(Text1);
    ui::LimitLength(Text2);
    button1->setObjectName(QStringLiteral("button1"));
    button2->setObjectName(QStringLiteral("button2"));
    button1->setCaption(QStringLiteral("登录"));
    button2->setCaption(QStringLiteral("退出"));

    Label1->setGeometry(ui::twips(480), ui::twips(420), ui::twips(720), ui::twips(300));
    Text1->setGeometry(ui::twips(1260), ui::twips(360), ui::twips(2520), ui::twips(360));
    Label2->setGeometry(ui::twips(480), ui::twips(960), ui::twips(720), ui::twips(300));
    Text2->setGeometry(ui::twips(1260), ui::twips(900), ui::twips(2520), ui::twips(360));
    button1->setGeometry(ui::twips(1260), ui::twips(1560), ui::twips(1080), ui::twips(420));
    button2->setGeometry(ui::twips(2700), ui::twips(1560), ui::twips(1080), ui::twips(420));
    setTabOrder(Text1, Text2);

    connect(button1, &UserControl1::Click, this, [this] { button1_Click(); });
    connect(button2, &UserControl1::Click, this, [this] { button2_Click(); });
    // Enter moves from the name to the password and logs in from the password.
    connect(Text1, &QLineEdit::returnPressed, this, [this] { Text2->setFocus(); });
    connect(Text2, &QLineEdit::returnPressed, this, [this] { button1_Click(); });
}

Password_Form::~Password_Form() = default;

Password_Form *Password_Form::current()
{
    return g_login.data();
}

Password_Form *Password_Form::open()
{
    if (!g_login) {
        g_login = new Password_Form;
        g_login->load();
    } else {
        main_MDIForm *m = mainWindow();
        m->setEnabled(false);
        g_login->show();
    }
    g_login->raise();
    g_login->activateWindow();
    return g_login;
}

void Password_Form::load()
{
    main_MDIForm *m = mainWindow();
    if (!m->isVisible())
        m->load();
    m->setEnabled(false);
    watchDataSwitch(m);
    db::CreateScratchDir();

    // Over the middle of the main window.
    const QRect area = m->geometry().isValid() ? m->geometry() : m->screen()->availableGeometry();
    move(area.center() - rect().center());
    show();
    raise();
    activateWindow();
    Text1->setFocus();
}

void Password_Form::button1_Click()
{
    const QString user = Text1->text().trimmed();
    if (user.isEmpty()) {
        msg::information(this, QStringLiteral("请输入用户名！"));
        Text1->setFocus();
        return;
    }
    const db::LoginResult r = db::CheckLogin(user, Text2->text());
    switch (r.outcome) {
    case db::LoginOutcome::Ok:
        break;
    case db::LoginOutcome::DatabaseFailure:
        msg::information(this, r.error);
        return;
    case db::LoginOutcome::WrongNameOrPassword:
    case db::LoginOutcome::LengthMismatch:
        msg::information(this, kWrongLogin);
        return;
    }
    if (main_MDIForm *m = main_MDIForm::instance()) {
        m->setEnabled(true);
        m->activateWindow();
    }
    m_loggedIn = true;
    startup::WarmSearchInBackground();
    // A later data switch that needs a login again gets a fresh window.
    if (g_login == this)
        g_login = nullptr;
    close();
}

void Password_Form::button2_Click()
{
    endProgram();
}

void Password_Form::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_loggedIn && !m_ending) {
        m_ending = true;
        endProgram();
    }
}

// Closing the main window empties the scratch folder and ends the run.
void Password_Form::endProgram()
{
    if (g_login)
        g_login->m_ending = true;
    if (main_MDIForm *m = main_MDIForm::instance())
        m->close();
    if (g_login)
        g_login->close();
    QCoreApplication::quit();
}

void Password_Form::recheckAfterDataSwitch()
{
    main_MDIForm *m = main_MDIForm::instance();
    const db::LoginResult r = db::CheckLogin(db::Session::CurrentUser(), db::Session::CurrentPassword());
    if (r.ok())
        return;
    if (r.outcome == db::LoginOutcome::DatabaseFailure && m && !g_reverting) {
        // The other file cannot be read: stay with the data in use rather than lock the
        // shop keeper out of both.
        msg::information(m, r.error);
        g_reverting = true;
        m->menuItem(QStringLiteral("menu4_4"))->trigger();
        g_reverting = false;
        return;
    }
    Password_Form *login = open();
    msg::information(login, r.outcome == db::LoginOutcome::DatabaseFailure ? r.error : kWrongLogin);
}
