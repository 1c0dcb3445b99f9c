#include "support/servershop.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include "data/store/connection.h"
#include "data/store/serverschema.h"

namespace testsupport {
namespace {

bool run(const QString &connection, const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    if (q.exec(sql))
        return true;
    qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

QSqlDatabase open(const QString &name, const db::ServerShop &shop)
{
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    d.setHostName(shop.host);
    d.setPort(shop.port);
    d.setDatabaseName(shop.database);
    d.setUserName(shop.user);
    if (!d.open())
        qWarning("%s", qPrintable(d.lastError().text()));
    return d;
}

} // namespace

std::optional<db::ServerShop> TestServer()
{
    const QString text = qEnvironmentVariable("LANLAN_TEST_PG");
    if (text.isEmpty())
        return std::nullopt;
    return db::ServerShop::parse(text);
}

QString TestServerDir()
{
    return qEnvironmentVariable("LANLAN_TEST_PG_DIR");
}

bool ControlTestServer(const QString &action)
{
    QProcess p;
    p.start(QStringLiteral(LANLAN_SOURCE_DIR "/scripts/pg_test_server.sh"), {action, TestServerDir()});
    return p.waitForFinished(90000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

ServerDatabase::ServerDatabase()
{
    const auto server = TestServer();
    if (!server)
        return;
    m_shop = *server;
    m_shop.database = QStringLiteral("lanlan_%1").arg(QCoreApplication::applicationName().toLower());
    m_admin = QStringLiteral("test-admin");
    {
        QSqlDatabase d = open(m_admin, *server);
        if (!d.isOpen())
            return;
        // A database of its own per test program, so programs run side by side.
        QSqlQuery q(d);
        q.exec(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = '%1'").arg(m_shop.database));
        if (!q.next() && !run(m_admin, QStringLiteral("CREATE DATABASE %1").arg(m_shop.database)))
            return;
        d.close();
    }
    QSqlDatabase::removeDatabase(m_admin);
    if (!open(m_admin, m_shop).isOpen())
        return;
    m_ok = reset();
}

ServerDatabase::~ServerDatabase()
{
    db::Connection::closeServerConnection();
    db::ShopLocation::useFile();
    QSqlDatabase::database(m_admin, false).close();
    QSqlDatabase::removeDatabase(m_admin);
}

bool ServerDatabase::exec(const QString &sql) const
{
    return run(m_admin, sql);
}

bool ServerDatabase::reset(bool empty)
{
    db::Connection::closeServerConnection();
    // Opened anew: a test may have stopped the server under it.
    QSqlDatabase admin = QSqlDatabase::database(m_admin, false);
    admin.close();
    if (!admin.open() || !exec(QStringLiteral("SET client_min_messages = warning")))
        return false;
    if (!exec(QStringLiteral("DROP SCHEMA public CASCADE")) || !exec(QStringLiteral("CREATE SCHEMA public")))
        return false;
    db::ShopLocation::useServer(m_shop);
    if (empty)
        return true;
    db::Connection c(m_shop, db::Connection::Mode::Create);
    if (!c.ok()) {
        qWarning("%s", qPrintable(c.status().error()));
        return false;
    }
    const db::Status s = db::CreateServerSchema(c);
    if (!s)
        qWarning("%s", qPrintable(s.error()));
    return s.ok();
}

bool ReadyForEngine(bool server, ServerDatabase *database)
{
    if (!server)
        return true;
    if (!database)
        return false;
    if (!database->ok() || !database->reset())
        qFatal("the test server is set (LANLAN_TEST_PG) but cannot be used");
    return true;
}

} // namespace testsupport
