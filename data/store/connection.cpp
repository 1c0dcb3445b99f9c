#include "data/store/connection.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>

#include <atomic>
#include <csignal>

namespace db {
namespace {
std::atomic<int> g_connectionSerial{0};
qint64 g_statements = 0;
QStringList g_testPragmas;

// Read once: the statement after which a crash test wants this process to die.
qint64 killPoint()
{
    static const qint64 point = qEnvironmentVariable("LANLAN_KILL_AFTER_STATEMENT").toLongLong();
    return point;
}

void statementDone()
{
    ++g_statements;
    if (killPoint() > 0 && g_statements == killPoint())
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
} // namespace

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

Connection::Connection() : m_path(DatabasePath())
{
    open(true);
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
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

Status Connection::failure(const QSqlError &error) const
{
    return Status::failure(withFile(DescribeError(error), m_path), FaultOf(error));
}

Result<QSqlQuery> Connection::run(const QString &sql, const QVariantList &binds)
{
    if (!ok())
        return m_status;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return failure(q.lastError());
    for (const QVariant &v : binds)
        q.addBindValue(v);
    const bool done = q.exec();
    statementDone();
    if (!done)
        return failure(q.lastError());
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

Transaction::Transaction(Connection &c) : m_conn(c)
{
    m_status = m_conn.exec(QStringLiteral("BEGIN IMMEDIATE"));
    m_active = m_status.ok();
}

Transaction::~Transaction()
{
    if (m_active)
        m_conn.exec(QStringLiteral("ROLLBACK"));
}

Status Transaction::commit()
{
    if (!m_active)
        return m_status.ok() ? Status::failure(QStringLiteral("事务已结束。")) : m_status;
    Status s = m_conn.exec(QStringLiteral("COMMIT"));
    if (s.ok())
        m_active = false;
    return s;
}

} // namespace db
