// 数据源设置 driven by keys and clicks; the server cases run against the test server
// (skipped without LANLAN_TEST_PG).
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <memory>

#include "app/dataactions.h"
#include "app/datasource_form.h"
#include "app/serverpassword_dialog.h"
#include "data/shop/accounts.h"
#include "data/shop/discrecords.h"
#include "data/store/connection.h"
#include "data/store/programdir.h"
#include "data/store/serverschema.h"
#include "hoverpad/usercontrol1.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "support/servershop.h"
#include "ui/messages.h"
#include "ui/windowhost.h"

using testsupport::ProgramFolder;
using testsupport::ServerDatabase;

namespace {

void type(QWidget *w, const QString &name, const QString &text)
{
    auto *t = w->findChild<QLineEdit *>(name);
    QVERIFY2(t, qPrintable(name));
    t->setFocus();
    t->selectAll();
    QTest::keyClick(t, Qt::Key_Backspace);
    QTest::keyClicks(t, text);
}

void click(QWidget *w, const QString &name)
{
    auto *b = w->findChild<QWidget *>(name);
    QVERIFY2(b, qPrintable(name));
    QTest::mouseClick(b, Qt::LeftButton, {}, qobject_cast<QRadioButton *>(b) ? QPoint(6, b->height() / 2) : b->rect().center());
    QApplication::processEvents();
}

// Types the shop into the window, choosing the TLS mode with the arrow keys.
void typeShop(DataSource_Form *w, const db::ServerShop &shop, int sslDown)
{
    click(w, QStringLiteral("Option1_1"));
    type(w, QStringLiteral("Text1_0"), shop.host);
    type(w, QStringLiteral("Text1_1"), QString::number(shop.port));
    type(w, QStringLiteral("Text1_2"), shop.database);
    type(w, QStringLiteral("Text1_3"), shop.user);
    auto *ssl = w->findChild<QComboBox *>(QStringLiteral("Combo1"));
    ssl->setFocus();
    QTest::keyClick(ssl, Qt::Key_Home);
    for (int i = 0; i < sslDown; ++i)
        QTest::keyClick(ssl, Qt::Key_Down);
}

QByteArray settingsFile()
{
    QSettings s(QStringLiteral("Lanlan"), QStringLiteral("Lanlan"));
    s.sync();
    QFile f(s.fileName());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_datasource : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void typedShopRefused_data();
    void typedShopRefused();
    void testConnectionTellsWhatIsThere_data();
    void testConnectionTellsWhatIsThere();
    void choiceKeptWithoutPassword();
    void choiceWhileDemoShownTakesOverLater();
    void passwordAskedForThisRunOnly();
    void dataCheckedOnTheServer();

private:
    std::unique_ptr<ServerDatabase> m_server;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<msg::Recorder> m_boxes;
};

void tst_datasource::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true); // the machine's settings stay untouched
    if (testsupport::TestServer())
        m_server = std::make_unique<ServerDatabase>();
}

void tst_datasource::init()
{
    QSettings(QStringLiteral("Lanlan"), QStringLiteral("Lanlan")).clear();
    db::ShopLocation::useFile();
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES ('店主', 'pw')"));
    db::Session::setCurrentUser(QStringLiteral("店主"));
    db::Session::setCurrentPassword(QStringLiteral("pw"));
    m_boxes = std::make_unique<msg::Recorder>();
}

void tst_datasource::cleanup()
{
    db::DemoData::setEnabled(false);
    testsupport::DeleteAllWindows();
    m_boxes.reset();
    db::Connection::closeServerConnection();
    db::ShopLocation::useFile();
    m_folder.reset();
}

void tst_datasource::cleanupTestCase()
{
    m_server.reset();
}

void tst_datasource::typedShopRefused_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    QTest::newRow("port too large, test") << "99999" << "shop" << "button1_0" << "端口必须是";
    QTest::newRow("port not a number, ok") << "5a" << "shop" << "button1_1" << "端口必须是";
    QTest::newRow("no database, ok") << "5432" << "" << "button1_1" << "请输入数据库名";
    QTest::newRow("no database, test") << "5432" << "  " << "button1_0" << "请输入数据库名";
}

void tst_datasource::typedShopRefused()
{
    QFETCH(QString, port);
    QFETCH(QString, database);
    QFETCH(QString, button);
    QFETCH(QString, message);
    DataSource_Form *w = DataSource_Form::showWindow();
    QVERIFY(w->findChild<QRadioButton *>(QStringLiteral("Option1_0"))->isChecked());
    QVERIFY(!w->findChild<QLineEdit *>(QStringLiteral("Text1_2"))->isEnabled());
    click(w, QStringLiteral("Option1_1"));
    type(w, QStringLiteral("Text1_1"), port);
    type(w, QStringLiteral("Text1_2"), database);
    click(w, button);
    QCOMPARE(m_boxes->texts(), QStringList{m_boxes->lastText()});
    QVERIFY2(m_boxes->lastText().contains(message), qPrintable(m_boxes->lastText()));
    QVERIFY(!db::ShopLocation::server());
    QVERIFY(!db::SavedServerShop());
    QVERIFY(w->isVisible());
}

void tst_datasource::testConnectionTellsWhatIsThere_data()
{
    QTest::addColumn<QString>("arrange"); // "empty", "shop", "missing", "nobody", or a statement on an empty database
    QTest::addColumn<QString>("message");
    QTest::newRow("empty database") << "empty" << "还没有店铺数据";
    QTest::newRow("a shop") << "shop" << "可以使用";
    QTest::newRow("something else") << "CREATE TABLE invoices (id int)" << "别的内容";
    QTest::newRow("newer layout") << "newer" << "更新版本";
    QTest::newRow("no such database") << "missing" << "没有这个数据库";
    QTest::newRow("no such user") << "nobody" << "没有这个用户";
}

void tst_datasource::testConnectionTellsWhatIsThere()
{
    if (!m_server)
        QSKIP("no test server (LANLAN_TEST_PG)");
    QFETCH(QString, arrange);
    QFETCH(QString, message);
    QVERIFY(m_server->reset(arrange != QLatin1String("shop") && arrange != QLatin1String("newer")));
    db::ShopLocation::useFile();
    if (arrange == QLatin1String("newer"))
        QVERIFY(m_server->exec(QStringLiteral("UPDATE lanlan_layout SET version = version + 1")));
    else if (arrange.contains(QLatin1Char(' ')))
        QVERIFY(m_server->exec(arrange));
    db::ServerShop shop = m_server->shop();
    if (arrange == QLatin1String("missing"))
        shop.database = QStringLiteral("no_such_shop");
    if (arrange == QLatin1String("nobody"))
        shop.user = QStringLiteral("no_such_clerk");
    DataSource_Form *w = DataSource_Form::showWindow();
    typeShop(w, shop, 1);
    click(w, QStringLiteral("button1_0"));
    QCOMPARE(m_boxes->boxes().size(), 1);
    QVERIFY2(m_boxes->lastText().contains(message), qPrintable(m_boxes->lastText()));
    // Testing changes nothing: the file stays the shop in use.
    QVERIFY(!db::ShopLocation::server());
    QVERIFY(!db::SavedServerShop());
}

void tst_datasource::choiceKeptWithoutPassword()
{
    if (!m_server)
        QSKIP("no test server (LANLAN_TEST_PG)");
    QVERIFY(m_server->reset(true));
    db::ShopLocation::useFile();
    db::ServerShop typed = m_server->shop();
    typed.sslmode = QStringLiteral("disable");
    // As if typed into the password dialog at start: kept in memory, handed to the driver.
    const QString secret = QStringLiteral("geheim-7319");
    db::ShopLocation::setPassword(typed, secret);
    QSignalSpy switched(ui::DataSwitch::instance(), &ui::DataSwitch::switched);

    DataSource_Form *w = DataSource_Form::showWindow();
    typeShop(w, typed, 1);
    m_boxes->setNextAnswer(true); // yes, make a new shop in the empty database
    click(w, QStringLiteral("button1_1"));
    QVERIFY2(m_boxes->boxes().size() == 1 && m_boxes->boxes().first().kind == msg::Recorder::Box::Confirm,
             qPrintable(m_boxes->texts().join(QLatin1Char('\n'))));
    QCOMPARE(db::ShopLocation::server(), std::optional(typed));
    QCOMPARE(switched.size(), 1);
    QCOMPARE(db::SavedServerShop(), std::optional(typed));
    const QByteArray kept = settingsFile();
    QVERIFY2(kept.contains("dbname=") && kept.contains("sslmode=disable"), kept.constData());
    QVERIFY2(!kept.contains(secret.toUtf8()) && !kept.contains("password"), kept.constData());

    // The new shop holds the logged-in user's account; what is saved now lands on the server.
    QVERIFY(db::CheckLogin(QStringLiteral("店主"), QStringLiteral("pw")).ok());
    db::DiscFields disc;
    disc.title = QStringLiteral("服务器上的碟");
    QVERIFY(db::AddDisc(disc));
    {
        db::Connection c(typed, db::Connection::Mode::Existing);
        QCOMPARE(c.scalar(QStringLiteral("SELECT t13 FROM table1 WHERE id = 1")).value().toString(), disc.title);
    }
    QCOMPARE(m_folder->scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE t13 IS NOT NULL")).toLongLong(), 0);

    // Back to the file: the window shows the server shop in use; choosing the file forgets it.
    w = DataSource_Form::showWindow();
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("Text1_2"))->text(), typed.database);
    click(w, QStringLiteral("Option1_0"));
    click(w, QStringLiteral("button1_1"));
    QVERIFY(!db::ShopLocation::server());
    QVERIFY(!db::SavedServerShop());
    QCOMPARE(switched.size(), 2);
    QVERIFY(!settingsFile().contains("dbname="));
}

// The demonstration data stays on screen; the new shop is ready for when it is switched off.
void tst_datasource::choiceWhileDemoShownTakesOverLater()
{
    if (!m_server)
        QSKIP("no test server (LANLAN_TEST_PG)");
    QVERIFY(m_server->reset(true));
    db::ShopLocation::useFile();
    db::DemoData::setEnabled(true);
    QSignalSpy switched(ui::DataSwitch::instance(), &ui::DataSwitch::switched);
    DataSource_Form *w = DataSource_Form::showWindow();
    typeShop(w, m_server->shop(), 0);
    click(w, QStringLiteral("button1_1"));
    QCOMPARE(db::ShopLocation::server(), std::optional(m_server->shop()));
    QCOMPARE(switched.size(), 0);
    QVERIFY(!db::ShopLocation::serverInUse());
    db::DemoData::setEnabled(false);
    QVERIFY(db::CheckLogin(QStringLiteral("店主"), QStringLiteral("pw")).ok());
}

// A server that wants a password: the dialog asks for it, a wrong one is asked for again, and
// the one that works is used for this run only and lands in no file.
void tst_datasource::passwordAskedForThisRunOnly()
{
    if (!m_server)
        QSKIP("no test server (LANLAN_TEST_PG)");
    QVERIFY(m_server->reset(false));
    // The test server makes this role alone give its password (scripts/pg_test_server.sh).
    const QString secret = QStringLiteral("geheim-5521");
    QVERIFY(m_server->exec(QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lanlan_password') "
                                          "THEN CREATE ROLE lanlan_password LOGIN; END IF; END $$")));
    QVERIFY(m_server->exec(QStringLiteral("ALTER ROLE lanlan_password PASSWORD '%1'").arg(secret)));
    QVERIFY(m_server->exec(QStringLiteral("GRANT USAGE ON SCHEMA public TO lanlan_password; "
                                          "GRANT ALL ON ALL TABLES IN SCHEMA public TO lanlan_password; "
                                          "GRANT ALL ON ALL SEQUENCES IN SCHEMA public TO lanlan_password")));
    db::ServerShop shop = m_server->shop();
    shop.user = QStringLiteral("lanlan_password");

    // Each time the dialog shows: what it says, then the next answer typed and 确定 clicked.
    QStringList answers{QStringLiteral("falsch"), secret}, asked;
    bool cancel = false;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        auto *d = qobject_cast<ServerPassword_Dialog *>(QApplication::activeModalWidget());
        if (!d)
            return;
        auto *label = d->findChild<QLabel *>(QStringLiteral("Label0"));
        asked << label->text();
        QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(label->text())); // nothing cut off
        if (cancel) {
            auto *no = d->findChild<UserControl1 *>(QStringLiteral("button2"));
            QTest::mouseClick(no, Qt::LeftButton, {}, no->rect().center());
            return;
        }
        auto *text = d->findChild<QLineEdit *>(QStringLiteral("Text1"));
        QCOMPARE(text->echoMode(), QLineEdit::Password);
        QTest::keyClicks(text, answers.isEmpty() ? QString() : answers.takeFirst());
        auto *ok = d->findChild<UserControl1 *>(QStringLiteral("button1"));
        QTest::mouseClick(ok, Qt::LeftButton, {}, ok->rect().center());
    });
    answer.start(20);

    DataSource_Form *w = DataSource_Form::showWindow();
    typeShop(w, shop, 0);
    click(w, QStringLiteral("button1_0")); // 测试连接
    QCOMPARE(asked.size(), 2);
    QVERIFY2(asked.first().contains(QStringLiteral("lanlan_password")), qPrintable(asked.first()));
    QVERIFY2(m_boxes->lastText().startsWith(QStringLiteral("连接成功")) && m_boxes->lastText().contains(QStringLiteral("可以使用")),
             qPrintable(m_boxes->texts().join('\n')));
    QCOMPARE(db::ShopLocation::password(shop), secret);

    // Known now for this run: no second question when the shop is chosen.
    click(w, QStringLiteral("button1_1"));
    QCOMPARE(asked.size(), 2);
    QVERIFY2(db::ShopLocation::server() == std::optional(shop), qPrintable(m_boxes->texts().join('\n')));
    QVERIFY(!settingsFile().isEmpty());
    QVERIFY2(!settingsFile().contains(secret.toUtf8()) && !settingsFile().contains("password="), settingsFile().constData());
    db::DiscFields disc;
    disc.title = QStringLiteral("用密码存入的碟");
    QVERIFY(db::AddDisc(disc));

    // Forgotten (a new run) and the question cancelled: nothing more is tried or told.
    db::Connection::closeServerConnection();
    db::ShopLocation::setPassword(shop, QString());
    cancel = true;
    const int boxes = m_boxes->boxes().size();
    w = DataSource_Form::showWindow();
    click(w, QStringLiteral("button1_0"));
    QCOMPARE(asked.size(), 3);
    QCOMPARE(m_boxes->boxes().size(), boxes);
}

// 检查数据文件 on a server shop runs the shop's rules there and names the server.
void tst_datasource::dataCheckedOnTheServer()
{
    if (!m_server)
        QSKIP("no test server (LANLAN_TEST_PG)");
    QVERIFY(m_server->reset(false));
    db::ShopLocation::useServer(m_server->shop());
    db::DiscFields disc;
    disc.title = QStringLiteral("英雄");
    QVERIFY(db::AddDisc(disc));
    QWidget parent;
    dataactions::CheckData(&parent);
    QVERIFY2(m_boxes->lastText().contains(m_server->shop().describe()) && m_boxes->lastText().contains(QStringLiteral("未发现问题")),
             qPrintable(m_boxes->lastText()));

    QVERIFY(m_server->exec(QStringLiteral("UPDATE list_counts SET discs = 7")));
    dataactions::CheckData(&parent);
    QVERIFY2(m_boxes->lastText().contains(QStringLiteral("共发现 1 处问题")), qPrintable(m_boxes->lastText()));
    QVERIFY2(m_boxes->lastText().contains(QStringLiteral("碟片总数记为 7 张")), qPrintable(m_boxes->lastText()));
    // The local file was not what was checked: it is sound and stays so.
    QCOMPARE(m_folder->scalar(QStringLiteral("SELECT discs FROM list_counts")).toLongLong(), 0);
}

QTEST_MAIN(tst_datasource)
#include "tst_datasource.moc"
