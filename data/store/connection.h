#pragma once
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>

#include "data/store/location.h"
#include "data/store/result.h"

class QSqlError;

namespace db {

// Opens the file in use for one operation and closes it on every exit path, so no
// connection outlives the operation and the data switch takes effect at the next one.
// A server shop is different: opening a server connection costs far more than a file, so
// each thread keeps one and every Connection of that thread borrows it; it is opened again
// after a loss, at the next operation.
class Connection
{
public:
    enum class Engine { File, Server };
    Connection();                              // the shop chosen at start-up and by the data switch
    explicit Connection(const QString &path);  // a given file
    // Existing: the file must be there and is upgraded when an earlier release wrote it.
    // Create: a new, empty file is fine. Inspect: the file must be there and is read as it
    // is, whatever its layout version (checks and backups never change a file's layout).
    enum class Mode { Existing, Create, Inspect };
    Connection(const QString &path, Mode mode);
    // A server shop. Create: the database may hold no shop yet (nothing else either).
    Connection(const ServerShop &shop, Mode mode);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool ok() const { return m_status.ok(); }
    const Status &status() const { return m_status; }
    const QString &path() const { return m_path; } // a server shop: its description
    Engine engine() const { return m_engine; }
    bool onServer() const { return m_engine == Engine::Server; }
    // Where the engines' statements differ, both texts stand side by side at the call.
    QString pick(const char *file, const char *server) const
    {
        return QString::fromUtf8(onServer() ? server : file);
    }
    QSqlDatabase &database() { return m_db; }
    // A server shop: a Transaction is open on the kept connection (reads then see its writes).
    bool inTransaction() const;

    QSqlQuery query() const { return QSqlQuery(m_db); }
    // Prepares and runs sql with positional bindings.
    Result<QSqlQuery> run(const QString &sql, const QVariantList &binds = {});
    Status exec(const QString &sql, const QVariantList &binds = {});
    // First column of the first row; a NULL QVariant when there is no row.
    Result<QVariant> scalar(const QString &sql, const QVariantList &binds = {});
    // Runs a statement prepared on query() once more with its values bound; counted like
    // every other statement, so a crash test can stop a loop of them half-way.
    Status execPrepared(QSqlQuery &q);

    // Reason for a failed statement, in words for the shop keeper.
    Status failure(const QSqlError &error) const;

    // Statements run through any connection of this process since it started. With
    // LANLAN_KILL_AFTER_STATEMENT=N in the environment (read once; the crash tests set it)
    // the process kills itself with SIGKILL right after the Nth one.
    static qint64 statementsRun();
    // Statements every connection runs right after opening; tests use it to shrink the
    // room a file may grow into (PRAGMA max_page_count). Empty in the program.
    static void setTestPragmas(const QStringList &statements);
    // Closes this thread's kept server connection; the next operation opens a new one.
    static void closeServerConnection();
    // Calls onChange (on this thread, from its event loop) when another program commits a
    // change the windows show to the server shop in use; also when the kept connection is
    // opened anew, since what changed while none listened is not known. Empty: stop.
    static void watchServerChanges(std::function<void()> onChange);

private:
    friend class Transaction;
    void open(bool mustExist, bool asItIs = false);
    void openServer(const ServerShop &shop, Mode mode);
    Status checkServerLayout(Mode mode);
    QString m_name;
    QString m_path;
    QSqlDatabase m_db;
    Status m_status;
    Engine m_engine = Engine::File;
};

// BEGIN IMMEDIATE on construction; rolls back unless commit() succeeded, so a failed
// operation never leaves the file half-written. On a server shop it takes the shop's write
// lock (a transaction-scoped advisory lock), so writers of all counters take turns as they
// do on a file and every check an operation makes before writing still holds when it
// commits; readers are never held up. A Transaction opened inside another on the same kept
// connection is a savepoint.
class Transaction
{
public:
    // No: on a server shop, fail at once (Fault::Busy) while another counter holds the write lock.
    enum class Wait { Yes, No };
    explicit Transaction(Connection &c, Wait wait = Wait::Yes);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool ok() const { return m_status.ok(); }
    const Status &status() const { return m_status; }
    Status commit();

private:
    Connection &m_conn;
    Status m_status;
    bool m_active = false;
    QString m_savepoint; // a nested transaction on the kept server connection
};

// The key of a server shop's write lock (pg_advisory_xact_lock), which every writer takes.
constexpr qint64 kServerWriteLock = 0x4c616e6c616e; // "Lanlan"

QString DescribeError(const QSqlError &error);
Fault FaultOf(const QSqlError &error);
// The same for the server's errors, from their SQLSTATE or libpq's text.
QString DescribeServerError(const QSqlError &error);
Fault ServerFaultOf(const QSqlError &error);
// The connection to the server is gone (stopped, restarted, unreachable).
bool ServerConnectionLost(const QSqlError &error);

} // namespace db
