#include "data/store/connection.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"
#include "data/store/serverschema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>

#include <atomic>
#include <csignal>

namespace db {
namespace {
std::atomic<int> g_connectionSerial{0};
// Counted from every thread: the copies are taken on a thread of their own.
std::atomic<qint64> g_statements{0};
QStringList g_testPragmas;

// Read once: the statement after which a crash test wants this process to die.
qint64 killPoint()
{
    static const qint64 point = qEnvironmentVariable("LANLAN_KILL_AFTER_STATEMENT").toLongLong();
    return point;
}

void statementDone()
{
    const qint64 n = ++g_statements;
    if (killPoint() > 0 && n == killPoint())
        std::raise(SIGKILL);
}

int primaryCode(const QSqlError &error)
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    return numeric ? code : -1;
}

QString withFile(const QString &reason, const QString &path)
{
    return QStringLiteral("%1\n（%2）").arg(reason, QDir::toNativeSeparators(path));
}

// This thread's kept server connection.
struct KeptServer
{
    QString name;      // the QSqlDatabase connection name; empty: none open
    QString conninfo;
    bool lost = false; // a statement found the connection gone: open anew next time
    bool layoutChecked = false;
    int depth = 0;     // transactions open on it
    int users = 0;     // Connection objects borrowing it now
    int savepoints = 0;
    QElapsedTimer idle;
};
thread_local KeptServer t_kept;

// Who is told of other counters' changes, and on which thread's kept connection.
std::function<void()> g_onServerChange;
QThread *g_watchingThread = nullptr;
const QString kChangeChannel = QStringLiteral("lanlan_changes");

void listenForChanges(QSqlDatabase &d)
{
    if (!g_onServerChange || QThread::currentThread() != g_watchingThread)
        return;
    QSqlDriver *driver = d.driver();
    if (driver->subscribeToNotification(kChangeChannel)) {
        QObject::connect(driver, &QSqlDriver::notification, driver,
                         [](const QString &, QSqlDriver::NotificationSource source, const QVariant &) {
                             if (source != QSqlDriver::SelfSource && g_onServerChange)
                                 g_onServerChange();
                         });
    }
    g_onServerChange();
}

void dropKept()
{
    if (t_kept.name.isEmpty())
        return;
    {
        QSqlDatabase d = QSqlDatabase::database(t_kept.name, false);
        d.close();
    }
    QSqlDatabase::removeDatabase(t_kept.name);
    t_kept = KeptServer();
}

// After this long without a statement the kept connection is tried before use, so a server
// restarted meanwhile costs a reconnect instead of a failed operation.
constexpr qint64 kIdleProbeMs = 2000;

QString sqlState(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code.size() == 5 ? code : QString();
}

bool textHas(const QSqlError &error, const char *what)
{
    return error.text().contains(QLatin1String(what), Qt::CaseInsensitive);
}
} // namespace

bool ServerConnectionLost(const QSqlError &error)
{
    const QString state = sqlState(error);
    if (state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01") || state == QLatin1String("57P02")
        || state == QLatin1String("57P03"))
        return true;
    return error.type() == QSqlError::ConnectionError || textHas(error, "server closed the connection")
        || textHas(error, "no connection to the server") || textHas(error, "terminating connection")
        || textHas(error, "could not connect") || textHas(error, "connection to server")
        || textHas(error, "could not send data") || textHas(error, "could not receive data");
}

Fault ServerFaultOf(const QSqlError &error)
{
    const QString state = sqlState(error);
    if (state == QLatin1String("28P01") || textHas(error, "password authentication failed")
        || textHas(error, "no password supplied"))
        return Fault::Password;
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03"))
        return Fault::Busy;
    if (state == QLatin1String("25006") || state == QLatin1String("42501"))
        return Fault::ReadOnly;
    if (state == QLatin1String("53100"))
        return Fault::Full;
    if (state == QLatin1String("3D000") || (textHas(error, "FATAL:  database") && textHas(error, "does not exist")))
        return Fault::Missing;
    if (ServerConnectionLost(error))
        return Fault::IO;
    return Fault::Other;
}

QString DescribeServerError(const QSqlError &error)
{
    const QString state = sqlState(error);
    if (state == QLatin1String("28P01") || textHas(error, "password authentication failed"))
        return QStringLiteral("数据库服务器拒绝登录：用户名或密码不对。");
    if (textHas(error, "no password supplied"))
        return QStringLiteral("数据库服务器要求密码，但 ~/.pgpass 中没有这个数据库的密码。");
    if (state == QLatin1String("28000") || textHas(error, "pg_hba.conf"))
        return QStringLiteral("数据库服务器不允许这个用户连接。");
    // At connecting libpq gives no SQLSTATE, only the server's words.
    if (state == QLatin1String("3D000") || (textHas(error, "FATAL:  database") && textHas(error, "does not exist")))
        return QStringLiteral("数据库服务器上没有这个数据库。");
    if (textHas(error, "FATAL:  role") && textHas(error, "does not exist"))
        return QStringLiteral("数据库服务器上没有这个用户。");
    if (state == QLatin1String("57P03") || textHas(error, "starting up") || textHas(error, "shutting down"))
        return QStringLiteral("数据库服务器正在启动或关闭，请稍后再试。");
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03"))
        return QStringLiteral("与其他柜台的操作冲突，这次操作没有保存，请再试一次。");
    if (state == QLatin1String("53100"))
        return QStringLiteral("数据库服务器的磁盘已满，无法保存。");
    if (state == QLatin1String("25006"))
        return QStringLiteral("数据库服务器只允许读取，无法保存。");
    if (state == QLatin1String("42501"))
        return QStringLiteral("数据库用户没有这项权限，无法保存。");
    if (textHas(error, "could not connect") || textHas(error, "connection to server")) {
        if (textHas(error, "Connection refused") || textHas(error, "No such file or directory"))
            return QStringLiteral("无法连接数据库服务器：服务器没有运行。");
        if (textHas(error, "server closed the connection"))
            return QStringLiteral("数据库服务器正在启动或关闭，请稍后再试。");
        return QStringLiteral("无法连接数据库服务器：找不到或无法到达服务器。");
    }
    if (ServerConnectionLost(error))
        return QStringLiteral("与数据库服务器的连接断开了（服务器停止或重新启动），这次操作没有保存任何内容；"
                              "下次操作时会重新连接。");
    const QString detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return QStringLiteral("数据库操作失败：%1").arg(detail.trimmed());
}

Fault FaultOf(const QSqlError &error)
{
    switch (primaryCode(error)) {
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        return Fault::Busy;
    case 8:  // SQLITE_READONLY
        return Fault::ReadOnly;
    case 13: // SQLITE_FULL
        return Fault::Full;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return Fault::Damaged;
    case 14: // SQLITE_CANTOPEN
    case 10: // SQLITE_IOERR
        return Fault::IO;
    default:
        return Fault::Other;
    }
}

QString DescribeError(const QSqlError &error)
{
    const int code = primaryCode(error);
    if (code >= 0) {
        switch (code) {
        case 5:  // SQLITE_BUSY
        case 6:  // SQLITE_LOCKED
            return QStringLiteral("数据库文件正被其他程序占用，请稍后再试。");
        case 8:  // SQLITE_READONLY
            return QStringLiteral("数据库文件是只读的，无法保存。");
        case 13: // SQLITE_FULL
            return QStringLiteral("磁盘已满，无法保存。");
        case 11: // SQLITE_CORRUPT
        case 26: // SQLITE_NOTADB
            return QStringLiteral("数据库文件已损坏或不是数据库文件。");
        case 14: // SQLITE_CANTOPEN
            return QStringLiteral("无法打开数据库文件。");
        case 10: // SQLITE_IOERR
            return QStringLiteral("读写数据库文件时出错。");
        default:
            break;
        }
    }
    const QString detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return QStringLiteral("数据库操作失败：%1").arg(detail);
}

Connection::Connection()
{
    if (const auto server = ShopLocation::serverInUse()) {
        openServer(*server, Mode::Existing);
        return;
    }
    m_path = DatabasePath();
    open(true);
}

Connection::Connection(const ServerShop &shop, Mode mode)
{
    openServer(shop, mode);
}

void Connection::closeServerConnection()
{
    dropKept();
}

void Connection::watchServerChanges(std::function<void()> onChange)
{
    g_onServerChange = std::move(onChange);
    g_watchingThread = QThread::currentThread();
}

void Connection::openServer(const ServerShop &shop, Mode mode)
{
    m_engine = Engine::Server;
    m_path = shop.describe();
    const QString info = shop.conninfo();
    KeptServer &k = t_kept;
    if (!k.name.isEmpty() && k.conninfo != info && (k.depth > 0 || k.users > 0)) {
        m_status = Status::failure(withFile(QStringLiteral("另一个服务器店铺正在使用中，请稍后再试。"), m_path));
        return;
    }
    // Never closed under another Connection of this thread that still reads through it.
    if (!k.name.isEmpty() && k.depth == 0 && k.users == 0) {
        bool drop = k.lost || k.conninfo != info;
        if (!drop && k.idle.isValid() && k.idle.elapsed() > kIdleProbeMs) {
            QSqlQuery probe(QSqlDatabase::database(k.name, false));
            drop = !probe.exec(QStringLiteral("SELECT 1"));
        }
        if (drop)
            dropKept();
    }
    if (k.name.isEmpty()) {
        const QString name = QStringLiteral("lanlan-server-%1").arg(++g_connectionSerial);
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            if (!d.isValid()) {
                d = QSqlDatabase();
                QSqlDatabase::removeDatabase(name);
                m_status = Status::failure(withFile(QStringLiteral("本程序缺少 PostgreSQL 数据库驱动（libqt6sql6-psql）。"), m_path),
                                           Fault::Other);
                return;
            }
            d.setHostName(shop.host);
            d.setPort(shop.port);
            d.setDatabaseName(shop.database);
            d.setUserName(shop.user);
            d.setPassword(ShopLocation::password(shop));
            QStringList options{QStringLiteral("connect_timeout=5"), QStringLiteral("application_name=lanlan")};
            if (!shop.sslmode.isEmpty())
                options << QStringLiteral("sslmode=") + shop.sslmode;
            d.setConnectOptions(options.join(QLatin1Char(';')));
            if (!d.open()) {
                m_status = Status::failure(withFile(DescribeServerError(d.lastError()), m_path), ServerFaultOf(d.lastError()));
                d = QSqlDatabase();
                QSqlDatabase::removeDatabase(name);
                return;
            }
            QSqlQuery setup(d);
            if (!setup.exec(QStringLiteral("SET client_min_messages = warning"))) {
                m_status = Status::failure(withFile(DescribeServerError(setup.lastError()), m_path),
                                           ServerFaultOf(setup.lastError()));
                setup = QSqlQuery();
                d.close();
                d = QSqlDatabase();
                QSqlDatabase::removeDatabase(name);
                return;
            }
            listenForChanges(d);
        }
        k.name = name;
        k.conninfo = info;
    }
    k.idle.start();
    ++k.users;
    m_name = k.name;
    m_db = QSqlDatabase::database(k.name, false);
    // The layout is read once per kept connection: a later release may only raise it.
    if (mode == Mode::Create || (mode == Mode::Existing && !k.layoutChecked)) {
        m_status = checkServerLayout(mode);
        k.layoutChecked = m_status.ok() && mode == Mode::Existing;
        if (k.layoutChecked)
            WarmServerConnection(*this);
    }
}

Status Connection::checkServerLayout(Mode mode)
{
    auto version = ServerLayoutVersion(*this);
    if (!version)
        return version.status();
    if (*version == ServerLayout::Empty) {
        if (mode == Mode::Create)
            return {};
        return Status::failure(withFile(QStringLiteral("数据库中还没有店铺数据。"), m_path), Fault::Missing);
    }
    if (*version == ServerLayout::Foreign)
        return Status::failure(withFile(QStringLiteral("数据库中存放的是别的内容，不是本程序的数据。"), m_path),
                               Fault::Damaged);
    if (mode == Mode::Create)
        return Status::failure(withFile(QStringLiteral("数据库中已经有一个店铺。"), m_path));
    if (*version != ServerSchemaVersion()) {
        if (Status s = UpgradeServerSchema(*this); !s)
            return s.error().contains(m_path) ? s : Status::failure(withFile(s.error(), m_path), s.fault());
    }
    return {};
}

Connection::Connection(const QString &path) : m_path(path)
{
    open(true);
}

Connection::Connection(const QString &path, Mode mode) : m_path(path)
{
    open(mode == Mode::Existing, mode == Mode::Inspect);
}

qint64 Connection::statementsRun()
{
    return g_statements;
}

void Connection::setTestPragmas(const QStringList &statements)
{
    g_testPragmas = statements;
}

void Connection::open(bool mustExist, bool asItIs)
{
    m_name = QStringLiteral("lanlan-%1").arg(++g_connectionSerial);
    if ((mustExist || asItIs) && !QFileInfo::exists(m_path)) {
        m_status = Status::failure(withFile(QStringLiteral("找不到数据库文件。"), m_path), Fault::Missing);
        return;
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    m_db.setDatabaseName(m_path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    if (!m_db.open()) {
        m_status = failure(m_db.lastError());
        return;
    }
    // SQLite opens lazily: read the header now so a foreign or damaged file fails here.
    QSqlQuery probe(m_db);
    const bool read = probe.exec(QStringLiteral("PRAGMA user_version"));
    statementDone();
    if (!read) {
        m_status = failure(probe.lastError());
        return;
    }
    for (const QString &sql : std::as_const(g_testPragmas)) {
        QSqlQuery pragma(m_db);
        if (!pragma.exec(sql)) {
            m_status = failure(pragma.lastError());
            return;
        }
    }
    if (mustExist) {
        probe.next();
        const int version = probe.value(0).toInt();
        probe.finish();
        if (version < 1) {
            m_status = Status::failure(withFile(QStringLiteral("数据库文件不是本程序的数据文件。"), m_path),
                                       Fault::Damaged);
            return;
        }
        // A file of an earlier release is brought up to date the first time it is opened.
        if (version != SchemaVersion()) {
            if (Status s = UpgradeSchema(*this); !s) {
                const bool named = s.error().contains(QDir::toNativeSeparators(m_path));
                m_status = named ? s : Status::failure(withFile(s.error(), m_path), s.fault());
            }
        }
    }
}

Connection::~Connection()
{
    if (onServer()) {
        m_db = QSqlDatabase(); // the kept connection stays open for the next operation
        if (!m_name.isEmpty() && t_kept.name == m_name && t_kept.users > 0)
            --t_kept.users;
        return;
    }
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

Status Connection::failure(const QSqlError &error) const
{
    if (onServer()) {
        if (ServerConnectionLost(error) && t_kept.name == m_name)
            t_kept.lost = true;
        return Status::failure(withFile(DescribeServerError(error), m_path), ServerFaultOf(error));
    }
    return Status::failure(withFile(DescribeError(error), m_path), FaultOf(error));
}

Result<QSqlQuery> Connection::run(const QString &sql, const QVariantList &binds)
{
    if (!ok())
        return m_status;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    // The server prepares only plain statements (not BEGIN, SAVEPOINT or CREATE): a statement
    // without values is sent as it is.
    if (onServer() && binds.isEmpty()) {
        const bool done = q.exec(sql);
        statementDone();
        if (!done)
            return failure(q.lastError());
        t_kept.idle.start();
        return q;
    }
    if (!q.prepare(sql))
        return failure(q.lastError());
    for (const QVariant &v : binds)
        q.addBindValue(v);
    const bool done = q.exec();
    statementDone();
    if (!done)
        return failure(q.lastError());
    if (onServer())
        t_kept.idle.start();
    return q;
}

Status Connection::execPrepared(QSqlQuery &q)
{
    const bool done = q.exec();
    statementDone();
    return done ? Status() : failure(q.lastError());
}

Status Connection::exec(const QString &sql, const QVariantList &binds)
{
    return run(sql, binds).status();
}

Result<QVariant> Connection::scalar(const QString &sql, const QVariantList &binds)
{
    auto q = run(sql, binds);
    if (!q)
        return q.status();
    return q.value().next() ? q.value().value(0) : QVariant();
}

bool Connection::inTransaction() const
{
    return onServer() && t_kept.name == m_name && t_kept.depth > 0;
}

Transaction::Transaction(Connection &c, Wait wait) : m_conn(c)
{
    if (!m_conn.onServer()) {
        m_status = m_conn.exec(QStringLiteral("BEGIN IMMEDIATE"));
        m_active = m_status.ok();
        return;
    }
    if (!m_conn.ok()) {
        m_status = m_conn.status();
        return;
    }
    if (t_kept.depth > 0) {
        m_savepoint = QStringLiteral("lanlan_%1").arg(++t_kept.savepoints);
        m_status = m_conn.exec(QStringLiteral("SAVEPOINT ") + m_savepoint);
    } else {
        m_status = m_conn.exec(QStringLiteral("BEGIN"));
        if (m_status.ok()) {
            if (wait == Wait::Yes) {
                m_status = m_conn.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kServerWriteLock));
            } else {
                auto taken = m_conn.scalar(QStringLiteral("SELECT pg_try_advisory_xact_lock(%1)").arg(kServerWriteLock));
                if (!taken)
                    m_status = taken.status();
                else if (!taken->toBool())
                    m_status = Status::failure(QStringLiteral("另一个柜台正在保存，请稍后再试。"), Fault::Busy);
            }
            if (!m_status.ok())
                m_conn.exec(QStringLiteral("ROLLBACK"));
        }
    }
    m_active = m_status.ok();
    if (m_active)
        ++t_kept.depth;
}

Transaction::~Transaction()
{
    if (!m_active)
        return;
    if (!m_savepoint.isEmpty()) {
        m_conn.exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + m_savepoint);
        m_conn.exec(QStringLiteral("RELEASE SAVEPOINT ") + m_savepoint);
    } else {
        m_conn.exec(QStringLiteral("ROLLBACK"));
    }
    if (m_conn.onServer())
        --t_kept.depth;
}

Status Transaction::commit()
{
    if (!m_active)
        return m_status.ok() ? Status::failure(QStringLiteral("事务已结束。")) : m_status;
    Status s = m_conn.exec(m_savepoint.isEmpty() ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE SAVEPOINT ") + m_savepoint);
    if (s.ok()) {
        m_active = false;
        if (m_conn.onServer())
            --t_kept.depth;
    }
    return s;
}

} // namespace db
