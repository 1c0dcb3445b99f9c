#include "data/shop/accounts.h"

#include <QFileInfo>
#include <QSqlQuery>

#include <optional>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/store/location.h"
#include "data/store/programdir.h"

namespace db {
namespace {

// An empty password is stored as NULL, never as an empty text.
QVariant storedPassword(const QString &password)
{
    return password.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(password);
}

// The row of the logged-in user: name and password as the login matched them.
QString currentUserCondition(QVariantList &binds)
{
    binds << Session::CurrentUser();
    if (Session::CurrentPassword().isEmpty())
        return QStringLiteral("t1 = ? AND t2 IS NULL");
    binds << Session::CurrentPassword();
    return QStringLiteral("t1 = ? AND t2 = ?");
}

} // namespace

LoginResult CheckLogin(const QString &user, const QString &password)
{
    LoginResult result;
    Connection c;
    if (!c.ok()) {
        result.error = c.status().error();
        return result;
    }
    auto q = password.isEmpty()
        ? c.run(QStringLiteral("SELECT id, t1, t2 FROM table7 WHERE t1 = ? AND t2 IS NULL ORDER BY id"),
                {user})
        : c.run(QStringLiteral("SELECT id, t1, t2 FROM table7 WHERE t1 = ? AND t2 = ? ORDER BY id"),
                {user, password});
    if (!q) {
        result.error = q.error();
        return result;
    }
    QSqlQuery &rows = q.value();
    if (!rows.next()) {
        result.outcome = LoginOutcome::WrongNameOrPassword;
        return result;
    }
    const qint64 id = rows.value(0).toLongLong();
    const QString storedName = rows.value(1).toString();
    const QVariant storedPassword = rows.value(2);
    rows.finish();
    // A match of different length is not the same account, whatever the engine's rules.
    if (user.length() != storedName.length()
        || (!storedPassword.isNull() && password.length() != storedPassword.toString().length())) {
        result.outcome = LoginOutcome::LengthMismatch;
        return result;
    }
    if (Status s = c.exec(QStringLiteral("INSERT INTO table8 (loginer_id, loginer, login_time) VALUES (?, ?, ?)"),
                          {id, user, toStoredDateTime(Clock::now())});
        !s) {
        result.error = s.error();
        return result;
    }
    Session::setCurrentUser(user);
    Session::setCurrentPassword(password);
    result.outcome = LoginOutcome::Ok;
    result.userId = id;
    return result;
}

Status RenameUser(const QString &newName)
{
    Connection c;
    if (!c.ok())
        return c.status();
    QVariantList binds{newName};
    const QString where = currentUserCondition(binds);
    return c.exec(QStringLiteral("UPDATE table7 SET t1 = ? WHERE ") + where, binds);
}

Status ChangePassword(const QString &newPassword)
{
    Connection c;
    if (!c.ok())
        return c.status();
    QVariantList binds{storedPassword(newPassword)};
    const QString where = currentUserCondition(binds);
    return c.exec(QStringLiteral("UPDATE table7 SET t2 = ? WHERE ") + where, binds);
}

Result<bool> HasAnyUser()
{
    // A server shop keeps its own accounts; the file's are not asked.
    std::optional<Connection> c;
    if (ShopLocation::serverInUse())
        c.emplace();
    else
        c.emplace(RealDatabaseFile());
    if (!c->ok())
        return c->status();
    auto n = c->scalar(QStringLiteral("SELECT COUNT(*) FROM table7"));
    if (!n)
        return n.status();
    return n.value().toLongLong() > 0;
}

namespace {

// The account in the demonstration file as well, so whoever logs in passes the login check
// of the switch to it: a user of that name there gets the new password.
Status putDemoAccount(Connection &c, const QString &table, const QString &user, const QVariant &pw)
{
    auto existing = c.scalar(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE t1 = ?").arg(table), {user});
    if (!existing)
        return existing.status();
    return existing.value().toLongLong() > 0
        ? c.exec(QStringLiteral("UPDATE %1 SET t2 = ? WHERE t1 = ?").arg(table), {pw, user})
        : c.exec(QStringLiteral("INSERT INTO %1 (t1, t2) VALUES (?, ?)").arg(table), {user, pw});
}

// A server shop and the local demonstration file cannot share a transaction: the server's
// account is written first, so a failure leaves at most a spare account in the demo file.
Status createServerAccount(const QString &user, const QVariant &pw)
{
    {
        Connection c;
        Transaction tx(c);
        if (!tx.ok())
            return tx.status();
        if (Status s = c.exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES (?, ?)"), {user, pw}); !s)
            return s;
        if (Status s = tx.commit(); !s)
            return s;
    }
    Connection demo(DemoDatabaseFile());
    Transaction tx(demo);
    if (!tx.ok())
        return tx.status();
    if (Status s = putDemoAccount(demo, QStringLiteral("table7"), user, pw); !s)
        return s;
    return tx.commit();
}

} // namespace

Status CreateFirstAccount(const QString &user, const QString &password)
{
    if (user.trimmed().isEmpty())
        return Status::failure(QStringLiteral("用户名不能为空！"));
    // ATTACH would create a missing file; an account in one file only is no use.
    if (!QFileInfo::exists(DemoDatabaseFile()))
        return Status::failure(QStringLiteral("找不到演示数据文件：%1").arg(DemoDatabaseFile()), Fault::Missing);
    if (ShopLocation::serverInUse())
        return createServerAccount(user, storedPassword(password));
    Connection c(RealDatabaseFile());
    if (!c.ok())
        return c.status();
    if (Status s = c.exec(QStringLiteral("ATTACH DATABASE ? AS demo"), {DemoDatabaseFile()}); !s)
        return s;
    Status result = [&]() -> Status {
        Transaction tx(c);
        if (!tx.ok())
            return tx.status();
        const QVariant pw = storedPassword(password);
        if (Status s = c.exec(QStringLiteral("INSERT INTO main.table7 (t1, t2) VALUES (?, ?)"), {user, pw}); !s)
            return s;
        if (Status s = putDemoAccount(c, QStringLiteral("demo.table7"), user, pw); !s)
            return s;
        return tx.commit();
    }();
    c.exec(QStringLiteral("DETACH DATABASE demo"));
    return result;
}

Status AdoptAccount(const QString &user, const QString &password)
{
    // The shop chosen, also while the demonstration data is shown: it takes over later.
    std::optional<Connection> shop;
    if (const std::optional<ServerShop> &server = ShopLocation::server())
        shop.emplace(*server, Connection::Mode::Existing);
    else
        shop.emplace(RealDatabaseFile());
    Connection &c = *shop;
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    auto n = c.scalar(QStringLiteral("SELECT COUNT(*) FROM table7"));
    if (!n)
        return n.status();
    if (n->toLongLong() > 0)
        return {};
    if (Status s = c.exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES (?, ?)"), {user, storedPassword(password)}); !s)
        return s;
    return tx.commit();
}

} // namespace db
