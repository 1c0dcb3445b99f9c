#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include "app/firstaccount_dialog.h"
#include "app/gz_loginer_form.h"
#include "app/gz_pwd_form.h"
#include "app/main_mdiform.h"
#include "ui/messages.h"
#include "app/password_form.h"
#include "data/store/programdir.h"
#include "hoverpad/usercontrol1.h"
#include "support/closewindows.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {
const QVariant NoPassword = QVariant(QMetaType(QMetaType::QString));
const QString WrongLogin = QStringLiteral("用户名或密码不正确！");

void addUser(const ProgramFolder &f, const QString &name, const QVariant &password, bool demo = false)
{
    f.exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES (?, ?)"), {name, password}, demo);
}

QLineEdit *field(QWidget *w, const char *name)
{
    auto *t = w->findChild<QLineEdit *>(QString::fromLatin1(name));
    if (!t)
        qFatal("no field %s", name);
    return t;
}

void type(QWidget *w, const char *name, const QString &text)
{
    QLineEdit *t = field(w, name);
    t->clear();
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClicks(t, QString(c));
        } else { // as an input method commits Chinese text
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(t, &commit);
        }
    }
}

void click(QWidget *w, const char *name)
{
    auto *b = w->findChild<UserControl1 *>(QString::fromLatin1(name));
    if (!b)
        qFatal("no button %s", name);
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    QApplication::processEvents();
}

// Types into the login window and presses "登录".
void logIn(Password_Form *login, const QString &user, const QString &password)
{
    type(login, "Text1", user);
    type(login, "Text2", password);
    click(login, "button1");
}

int loginCount(const ProgramFolder &f, bool demo = false)
{
    return f.scalar(QStringLiteral("SELECT COUNT(*) FROM table8"), {}, demo).toInt();
}
} // namespace

class tst_login : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void loadShowsMainWindowDisabled();
    void loginWindow_data();
    void loginWindow();
    void exitEndsProgram_data();
    void exitEndsProgram();

    void renameWindow_data();
    void renameWindow();
    void passwordWindow_data();
    void passwordWindow();
    void emptyNewPasswordThenEmptyLogin();
    void clickIntoRepeatFieldEmptiesIt_data();
    void clickIntoRepeatFieldEmptiesIt();
    void changeWindowsFollowMainWindow();

    void dataSwitchRechecksLogin_data();
    void dataSwitchRechecksLogin();
    void dataSwitchToUnreadableFileGoesBack();

    void firstAccountDialog_data();
    void firstAccountDialog();

private:
    ProgramFolder *m_folder = nullptr;
    msg::Recorder *m_boxes = nullptr;
    QPointer<main_MDIForm> m_main;
};

void tst_login::init()
{
    m_folder = new ProgramFolder(ProgramFolder::EmptyDemoFile);
    m_boxes = new msg::Recorder;
    m_main = new main_MDIForm;
}

void tst_login::cleanup()
{
    delete m_main;
    testsupport::DeleteAllWindows();
    delete m_boxes;
    delete m_folder;
}

void tst_login::loadShowsMainWindowDisabled()
{
    QDir(db::ProgramDir::scratchDir()).removeRecursively();
    Password_Form *login = Password_Form::open();
    QVERIFY(login->isVisible());
    QCOMPARE(login->windowTitle(), QStringLiteral("登录"));
    QVERIFY(m_main->isVisible());
    QVERIFY(!m_main->isEnabled());
    QVERIFY(QDir(db::ProgramDir::scratchDir()).exists());
    QCOMPARE(field(login, "Text2")->echoMode(), QLineEdit::Password);
    // Opening again keeps the one login window.
    QCOMPARE(Password_Form::open(), login);
    // Screen readers announce it as the login dialog it is.
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(login);
    QVERIFY(a);
    QCOMPARE(a->role(), QAccessible::Dialog);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("登录"));
}

void tst_login::loginWindow_data()
{
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QVariant>("storedPassword");
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<QString>("message");     // empty: the login succeeds
    QTest::addColumn<QString>("currentUser"); // after a successful login

    QTest::newRow("blank name") << "boss" << QVariant("pw") << "   " << "pw" << "请输入用户名！" << "";
    QTest::newRow("wrong password") << "boss" << QVariant("pw") << "boss" << "px" << WrongLogin << "";
    QTest::newRow("name trimmed") << "boss" << QVariant("pw") << "  boss " << "pw" << "" << "boss";
    QTest::newRow("password as typed") << "boss" << QVariant("pw") << "boss" << " pw" << WrongLogin << "";
    QTest::newRow("no password, empty field") << "boss" << NoPassword << "boss" << "" << "" << "boss";
    QTest::newRow("no password, typed one") << "boss" << NoPassword << "boss" << "pw" << WrongLogin << "";
    QTest::newRow("Admin for admin") << "admin" << QVariant("pw") << "Admin" << "pw" << "" << "Admin";
    QTest::newRow("hostile name") << "boss" << QVariant("pw") << "' OR 1=1 --" << "' OR 1=1 --" << WrongLogin << "";
}

void tst_login::loginWindow()
{
    QFETCH(QString, storedName);
    QFETCH(QVariant, storedPassword);
    QFETCH(QString, typedName);
    QFETCH(QString, typedPassword);
    QFETCH(QString, message);
    QFETCH(QString, currentUser);

    addUser(*m_folder, storedName, storedPassword);
    QPointer<Password_Form> login = Password_Form::open();
    logIn(login, typedName, typedPassword);

    if (message.isEmpty()) {
        QVERIFY(m_boxes->texts().isEmpty());
        QVERIFY(login.isNull() || !login->isVisible());
        QVERIFY(m_main->isEnabled());
        QCOMPARE(db::Session::CurrentUser(), currentUser);
        QCOMPARE(db::Session::CurrentPassword(), typedPassword);
        QCOMPARE(loginCount(*m_folder), 1);
    } else {
        QCOMPARE(m_boxes->texts(), QStringList{message});
        QVERIFY(login && login->isVisible());
        QVERIFY(!m_main->isEnabled());
        QCOMPARE(db::Session::CurrentUser(), QString());
        QCOMPARE(loginCount(*m_folder), 0);
        // The window stays for another try.
        logIn(login, storedName, storedPassword.toString());
        QVERIFY(m_main->isEnabled());
        QCOMPARE(loginCount(*m_folder), 1);
    }
}

void tst_login::exitEndsProgram_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("退出") << false;
    QTest::newRow("close box") << true;
}

void tst_login::exitEndsProgram()
{
    QFETCH(bool, closeBox);
    QFile stale(db::ProgramDir::scratchDir() + QStringLiteral("/cover.jpg"));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();

    QPointer<Password_Form> login = Password_Form::open();
    if (closeBox)
        login->close();
    else
        click(login, "button2");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(login.isNull() || !login->isVisible());
    QVERIFY(!m_main->isVisible());
    QVERIFY(!stale.exists());
    QCOMPARE(loginCount(*m_folder), 0);
}

void tst_login::renameWindow_data()
{
    QTest::addColumn<QString>("oldName");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored"); // table7.t1 afterwards

    // Logged in as "Admin" with "pw"; the stored name is "admin".
    QTest::newRow("old name in stored case") << "admin" << "pw" << "boss" << "boss" << "原用户名不正确！" << "admin";
    QTest::newRow("password case differs") << "Admin" << "PW" << "boss" << "boss" << "密码不正确！" << "admin";
    QTest::newRow("empty new name") << "Admin" << "pw" << "  " << "" << "新用户名不能为空！" << "admin";
    QTest::newRow("names differ") << "Admin" << "pw" << "boss" << "Boss" << "两次输入的新用户名不一致！" << "admin";
    QTest::newRow("renamed, blanks trimmed") << " Admin " << "pw" << " boss" << "boss  " << "用户名更改完毕！" << "boss";
    QTest::newRow("hostile new name") << "Admin" << "pw" << "x'; DELETE FROM table7; --" << "x'; DELETE FROM table7; --"
                                      << "用户名更改完毕！" << "x'; DELETE FROM table7; --";
}

void tst_login::renameWindow()
{
    QFETCH(QString, oldName);
    QFETCH(QString, password);
    QFETCH(QString, newName);
    QFETCH(QString, again);
    QFETCH(QString, message);
    QFETCH(QString, stored);

    addUser(*m_folder, QStringLiteral("clerk"), QVariant("pw"));
    addUser(*m_folder, QStringLiteral("admin"), QVariant("pw"));
    logIn(Password_Form::open(), QStringLiteral("Admin"), QStringLiteral("pw"));
    QVERIFY(m_main->isEnabled());

    m_main->menuItem(QStringLiteral("menu5_1"))->trigger();
    QPointer<gz_Loginer_Form> w = m_main->findChild<gz_Loginer_Form *>();
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("更改用户名称"));
    type(w, "Text1", oldName);
    type(w, "Text2", password);
    type(w, "Text3", newName);
    QTest::mouseClick(field(w, "Text4"), Qt::LeftButton);
    QTest::keyClicks(field(w, "Text4"), again);
    click(w, "button1");

    QCOMPARE(m_boxes->texts(), QStringList{message});
    const auto rows = m_folder->rows(QStringLiteral("SELECT t1 FROM table7 ORDER BY id"));
    QCOMPARE(rows, QList<QVariantList>({{QStringLiteral("clerk")}, {stored}}));
    const bool done = message == QStringLiteral("用户名更改完毕！");
    QCOMPARE(db::Session::CurrentUser(), done ? stored : QStringLiteral("Admin"));
    QCOMPARE(w.isNull() || !w->isVisible(), done);
    if (!done) // all input stays for a correction
        QCOMPARE(field(w, "Text3")->text(), newName);
}

void tst_login::passwordWindow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QVariant>("stored"); // table7.t2 afterwards

    // Logged in as "Admin" with "Pw"; the stored password is "pw".
    QTest::newRow("name case differs") << "admin" << "Pw" << "n" << "n" << "原用户名不正确！" << QVariant("pw");
    QTest::newRow("old password as stored") << "Admin" << "pw" << "n" << "n" << "原密码不正确！" << QVariant("pw");
    QTest::newRow("new ones differ") << "Admin" << "Pw" << "new" << "New" << "两次输入的新密码不一致！" << QVariant("pw");
    QTest::newRow("blanks count") << "Admin" << "Pw" << "new " << "new" << "两次输入的新密码不一致！" << QVariant("pw");
    QTest::newRow("changed") << "Admin " << "Pw" << "new" << "new" << "新密码更改完毕！" << QVariant("new");
    QTest::newRow("emptied") << "Admin" << "Pw" << "" << "" << "新密码更改完毕！" << NoPassword;
    QTest::newRow("hostile") << "Admin" << "Pw" << "' OR '1'='1" << "' OR '1'='1" << "新密码更改完毕！"
                             << QVariant("' OR '1'='1");
}

void tst_login::passwordWindow()
{
    QFETCH(QString, name);
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(QString, again);
    QFETCH(QString, message);
    QFETCH(QVariant, stored);

    addUser(*m_folder, QStringLiteral("admin"), QVariant("pw"));
    addUser(*m_folder, QStringLiteral("clerk"), QVariant("pw"));
    logIn(Password_Form::open(), QStringLiteral("Admin"), QStringLiteral("Pw"));
    QVERIFY(m_main->isEnabled());

    m_main->menuItem(QStringLiteral("menu5_2"))->trigger();
    QPointer<gz_PWD_Form> w = m_main->findChild<gz_PWD_Form *>();
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("更改登录密码"));
    for (const char *masked : {"Text2", "Text3", "Text4"})
        QCOMPARE(field(w, masked)->echoMode(), QLineEdit::Password);
    type(w, "Text1", name);
    type(w, "Text2", oldPassword);
    type(w, "Text3", newPassword);
    type(w, "Text4", again);
    click(w, "button1");

    QCOMPARE(m_boxes->texts(), QStringList{message});
    const auto rows = m_folder->rows(QStringLiteral("SELECT t2 FROM table7 ORDER BY id"));
    QCOMPARE(rows[0][0].isNull(), stored.isNull());
    QCOMPARE(rows[0][0].toString(), stored.toString());
    QCOMPARE(rows[1][0].toString(), QStringLiteral("pw"));
    const bool done = message == QStringLiteral("新密码更改完毕！");
    QCOMPARE(db::Session::CurrentPassword(), done ? newPassword : QStringLiteral("Pw"));
    QCOMPARE(w.isNull() || !w->isVisible(), done);
}

void tst_login::emptyNewPasswordThenEmptyLogin()
{
    addUser(*m_folder, QStringLiteral("boss"), QVariant("pw"));
    logIn(Password_Form::open(), QStringLiteral("boss"), QStringLiteral("pw"));
    gz_PWD_Form *w = gz_PWD_Form::showWindow();
    type(w, "Text1", QStringLiteral("boss"));
    type(w, "Text2", QStringLiteral("pw"));
    click(w, "button1");
    QCOMPARE(m_boxes->lastText(), QStringLiteral("新密码更改完毕！"));

    // A later start: the same user logs in with an empty password field.
    db::Session::setCurrentUser(QString());
    db::Session::setCurrentPassword(QString());
    m_main->setEnabled(false);
    logIn(Password_Form::open(), QStringLiteral("boss"), QString());
    QVERIFY(m_main->isEnabled());
    QCOMPARE(loginCount(*m_folder), 2);
    QVERIFY(m_folder->scalar(QStringLiteral("SELECT t2 FROM table7")).isNull());
}

void tst_login::clickIntoRepeatFieldEmptiesIt_data()
{
    QTest::addColumn<bool>("renameWindow");
    QTest::newRow("gz_Loginer_Form") << true;
    QTest::newRow("gz_PWD_Form") << false;
}

void tst_login::clickIntoRepeatFieldEmptiesIt()
{
    QFETCH(bool, renameWindow);
    QWidget *w = renameWindow ? static_cast<QWidget *>(gz_Loginer_Form::showWindow())
                              : static_cast<QWidget *>(gz_PWD_Form::showWindow());
    QLineEdit *text4 = field(w, "Text4");
    if (renameWindow)
        QCOMPARE(text4->text(), QStringLiteral("再输入一遍"));
    else
        QTest::keyClicks(text4, QStringLiteral("abc"));
    QTest::mouseClick(field(w, "Text3"), Qt::LeftButton);
    QVERIFY(!text4->text().isEmpty()); // a click elsewhere leaves it
    QTest::mouseClick(text4, Qt::LeftButton);
    QCOMPARE(text4->text(), QString());
    QTest::keyClicks(text4, QStringLiteral("new"));
    QTest::mouseClick(text4, Qt::LeftButton);
    QCOMPARE(text4->text(), QString());
}

void tst_login::changeWindowsFollowMainWindow()
{
    m_main->menuItem(QStringLiteral("menu5_1"))->trigger();
    m_main->menuItem(QStringLiteral("menu5_2"))->trigger();
    m_main->menuItem(QStringLiteral("menu5_1"))->trigger();
    QCOMPARE(m_main->findChildren<gz_Loginer_Form *>().size(), 1);
    QCOMPARE(m_main->findChildren<gz_PWD_Form *>().size(), 1);
    // While the login window asks again, the account windows take no input.
    m_main->setEnabled(false);
    QVERIFY(!m_main->findChild<gz_Loginer_Form *>()->isEnabled());
    QVERIFY(!m_main->findChild<gz_PWD_Form *>()->isEnabled());
}

void tst_login::dataSwitchRechecksLogin_data()
{
    QTest::addColumn<QVariant>("demoPassword"); // invalid: no such user in demo.sqlite
    QTest::addColumn<bool>("passes");

    QTest::newRow("user missing in demo file") << QVariant() << false;
    QTest::newRow("other password in demo file") << QVariant("other") << false;
    QTest::newRow("same user, other case of password") << QVariant("PW") << true;
    QTest::newRow("same user and password") << QVariant("pw") << true;
}

void tst_login::dataSwitchRechecksLogin()
{
    QFETCH(QVariant, demoPassword);
    QFETCH(bool, passes);

    addUser(*m_folder, QStringLiteral("boss"), QVariant("pw"));
    addUser(*m_folder, QStringLiteral("demo"), NoPassword, true);
    if (demoPassword.isValid())
        addUser(*m_folder, QStringLiteral("Boss"), demoPassword, true);
    logIn(Password_Form::open(), QStringLiteral("boss"), QStringLiteral("pw"));
    QVERIFY(m_main->isEnabled());

    m_main->menuItem(QStringLiteral("menu4_4"))->trigger();
    QVERIFY(db::DemoData::enabled());
    QCOMPARE(loginCount(*m_folder, true), passes ? 1 : 0);
    QCOMPARE(loginCount(*m_folder), 1);
    if (passes) {
        QVERIFY(m_boxes->texts().isEmpty());
        QVERIFY(m_main->isEnabled());
        QVERIFY(!Password_Form::current());
        return;
    }
    QCOMPARE(m_boxes->texts(), QStringList{WrongLogin});
    QVERIFY(!m_main->isEnabled());
    QPointer<Password_Form> login = Password_Form::current();
    QVERIFY(login && login->isVisible());
    QCOMPARE(field(login, "Text2")->text(), QString()); // a fresh window, not the old one

    // It behaves as at start-up, now against the demonstration file.
    logIn(login, QStringLiteral("boss"), QStringLiteral("pw"));
    QCOMPARE(m_boxes->lastText(), WrongLogin);
    QVERIFY(login && login->isVisible());
    logIn(login, QStringLiteral("demo"), QString());
    QVERIFY(m_main->isEnabled());
    QCOMPARE(db::Session::CurrentUser(), QStringLiteral("demo"));
    QCOMPARE(loginCount(*m_folder, true), 1);

    // Back to the real data: "demo" is not a user there.
    m_boxes->clear();
    m_main->menuItem(QStringLiteral("menu4_4"))->trigger();
    QVERIFY(!db::DemoData::enabled());
    QCOMPARE(m_boxes->texts(), QStringList{WrongLogin});
    QVERIFY(!m_main->isEnabled());
}

void tst_login::dataSwitchToUnreadableFileGoesBack()
{
    addUser(*m_folder, QStringLiteral("boss"), QVariant("pw"));
    logIn(Password_Form::open(), QStringLiteral("boss"), QStringLiteral("pw"));
    QVERIFY(QFile::remove(m_folder->demoFile()));

    m_main->menuItem(QStringLiteral("menu4_4"))->trigger();
    QVERIFY(!m_boxes->texts().isEmpty());
    QVERIFY(!m_boxes->texts().contains(WrongLogin));
    QVERIFY(!db::DemoData::enabled());
    QVERIFY(!m_main->menuItem(QStringLiteral("menu4_4"))->isChecked());
    QVERIFY(m_main->isEnabled());
    QVERIFY(!Password_Form::current());
    QCOMPARE(loginCount(*m_folder), 1); // the switch never happened, so no check was logged
    QCOMPARE(m_boxes->texts().size(), 1);
}

void tst_login::firstAccountDialog_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("message"); // empty: accepted

    QTest::newRow("blank name") << "  " << "pw" << "pw" << "请输入用户名！";
    QTest::newRow("passwords differ") << "boss" << "pw" << "pW" << "两次输入的密码不一致！";
    QTest::newRow("second one empty") << "boss" << "pw" << "" << "两次输入的密码不一致！";
    QTest::newRow("with password") << " 店主 " << "pw" << "pw" << "";
    QTest::newRow("without password") << "boss" << "" << "" << "";
    QTest::newRow("hostile") << "a'); DELETE FROM table7; --" << "%'--" << "%'--" << "";
}

void tst_login::firstAccountDialog()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, again);
    QFETCH(QString, message);

    FirstAccount_Dialog dialog;
    dialog.show();
    type(&dialog, "Text1", name);
    type(&dialog, "Text2", password);
    type(&dialog, "Text3", again);
    QCOMPARE(field(&dialog, "Text2")->echoMode(), QLineEdit::Password);
    click(&dialog, "button1");

    for (bool demo : {false, true}) {
        const auto rows = m_folder->rows(QStringLiteral("SELECT t1, t2 FROM table7"), {}, demo);
        if (!message.isEmpty()) {
            QCOMPARE(rows.size(), 0);
            continue;
        }
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].toString(), name.trimmed());
        QCOMPARE(rows[0][1].isNull(), password.isEmpty());
        QCOMPARE(rows[0][1].toString(), password);
    }
    QCOMPARE(m_boxes->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(dialog.result(), message.isEmpty() ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(dialog.isVisible(), !message.isEmpty());
    if (message.isEmpty()) {
        // The account logs in at once, from either file.
        Password_Form *login = Password_Form::open();
        logIn(login, name.trimmed(), password);
        QVERIFY(m_main->isEnabled());
    }
}

QTEST_MAIN(tst_login)
#include "tst_login.moc"
