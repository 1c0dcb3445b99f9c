#include "data/shop/returns.h"

#include <QSet>
#include <QSqlQuery>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/store/formatting.h"

namespace db {
namespace {

const QString kReturned = QStringLiteral("√");

QString text(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString().trimmed();
}

std::optional<qint64> daysUntil(const QVariant &from, const QVariant &to)
{
    const QDate end = fromStoredDate(to);
    if (!end.isValid())
        return std::nullopt;
    return DaysBetween(from, end);
}

// Marks and day counts: out (to today), returned (to the return date), deleted from the
// catalogue while out (to the deletion date) or after its return (to the return date).
void markRow(StatusRow &row, const QVariant &state, const QVariant &returnedOn, const QVariant &deletedOn,
             const QDate &today)
{
    if (state.isNull()) {
        row.days = DaysBetween(row.rented, today);
    } else if (state.toString().contains(kReturned)) {
        row.days = daysUntil(row.rented, returnedOn);
        row.mark = text(state);
    } else if (returnedOn.isNull()) {
        row.days = daysUntil(row.rented, deletedOn);
        row.mark = QStringLiteral("*");
    } else {
        row.days = daysUntil(row.rented, returnedOn);
        row.mark = QStringLiteral("√*");
    }
}

Result<qint64> changed(Connection &c, const QString &sql, const QVariantList &binds)
{
    auto q = c.run(sql, binds);
    if (!q)
        return q.status();
    return qint64(q.value().numRowsAffected());
}

} // namespace

QStringList StatusCells(const StatusRow &row)
{
    return {FormatRecordNumber(row.disc),
            row.title,
            row.starring,
            row.director,
            text(row.count),
            row.media,
            DisplayDate(row.rented),
            row.days ? QString::number(*row.days) : QString(),
            row.mark};
}

Result<RentalStatus> LoadRentalStatus(qint64 customerId)
{
    return LoadRentalStatus(customerId, Clock::today());
}

Result<RentalStatus> LoadRentalStatus(qint64 customerId, const QDate &today)
{
    Connection c;
    if (!c.ok())
        return c.status();
    RentalStatus st;
    st.customer = customerId;
    auto customer = c.run(QStringLiteral("SELECT t1, t2, t3, t4, t5, s2 FROM table2 WHERE id = ?"), {customerId});
    if (!customer)
        return customer.status();
    QVariant rentedTotal;
    if (QSqlQuery &k = customer.value(); k.next()) {
        st.found = true;
        st.name = text(k.value(0));
        st.card = text(k.value(1));
        st.cardType = text(k.value(2));
        st.hasCardType = !st.cardType.isEmpty();
        st.hasDeposit = k.value(3).toDouble() > 0;
        if (st.hasDeposit)
            st.deposit = text(k.value(3));
        st.remark = text(k.value(4));
        rentedTotal = k.value(5);
    }

    // Every record of the customer, also one whose disc row has gone, newest first.
    auto records = c.run(QStringLiteral(
                             "SELECT table4.id, table4.discid, table4.discname, table1.t14, table1.t11, table1.t7, "
                             "table1.t18, table4.s1, table4.s2, table4.s3, table4.s4 "
                             "FROM table4 LEFT JOIN table1 ON table1.id = table4.discid "
                             "WHERE table4.khid = ? ORDER BY table4.s1 DESC, table4.id DESC"),
                         {customerId});
    if (!records)
        return records.status();
    QSqlQuery &r = records.value();
    while (r.next()) {
        StatusRow row;
        row.record = r.value(0).toLongLong();
        row.disc = r.value(1).toLongLong();
        row.title = text(r.value(2));
        row.starring = text(r.value(3));
        row.director = text(r.value(4));
        row.count = r.value(5);
        row.media = text(r.value(6));
        row.rented = r.value(7);
        markRow(row, r.value(8), r.value(9), r.value(10), today);
        if (r.value(8).isNull()) {
            st.out << row;
            st.discsOut += row.count.toLongLong();
        }
        st.history << std::move(row);
    }
    if (!st.history.isEmpty())
        st.discsRented = rentedTotal.toLongLong();
    return st;
}

Result<ReturnOutcome> ReturnDiscs(qint64 customerId, const QList<qint64> &records)
{
    if (records.isEmpty())
        return ReturnOutcome{};
    Connection c;
    if (!c.ok())
        return c.status();
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    auto done = ReturnDiscsOn(c, customerId, records);
    if (!done)
        return done;
    if (Status s = tx.commit(); !s)
        return s;
    return done;
}

Result<ReturnOutcome> ReturnDiscsOn(Connection &c, qint64 customerId, const QList<qint64> &records)
{
    ReturnOutcome done;
    const QString today = toStoredDate(Clock::today());
    QSet<qint64> seen;
    for (const qint64 record : records) {
        if (seen.contains(record))
            continue;
        seen.insert(record);
        // Read again under the write lock: another window may have closed it meanwhile.
        auto open = c.run(QStringLiteral("SELECT discid, discname, s1 FROM table4 WHERE id = ? AND khid = ? AND s2 IS NULL"),
                          {record, customerId});
        if (!open)
            return open.status();
        if (!open.value().next())
            continue;
        const QVariant disc = open.value().value(0), title = open.value().value(1), rented = open.value().value(2);
        open.value().finish();
        if (Status s = c.exec(QStringLiteral("UPDATE table4 SET s2 = ?, s3 = ? WHERE id = ?"), {kReturned, today, record}); !s)
            return s;
        ++done.returned;
        done.closed << record;
        // A slot reused for another disc, or a disc out again on another record, stays as it is.
        if (Status s = c.exec(QStringLiteral("UPDATE table1 SET s3 = NULL, s1 = NULL WHERE id = ? AND t13 = ? AND s1 = ? "
                                             "AND NOT EXISTS (SELECT 1 FROM table4 WHERE discid = ? AND s2 IS NULL)"),
                              {disc, title, rented, disc});
            !s)
            return s;
    }
    if (done.returned > 0) {
        auto settled = changed(c, QStringLiteral("UPDATE table2 SET s3 = ? WHERE id = ? "
                                                 "AND NOT EXISTS (SELECT 1 FROM table4 WHERE khid = ? AND s2 IS NULL)"),
                               {kReturned, customerId, customerId});
        if (!settled)
            return settled.status();
        done.settled = *settled > 0;
    }
    return done;
}

namespace {

// What a customer holds until a refund or an invalidation: the value, the date it was taken,
// and the history table the two go to when it ends.
struct Holding
{
    const char *value;   // column of table2
    const char *date;    // column of table2
    const char *history; // table5 or table6
    const char *cleared; // what table2 holds once it has ended
    bool (*held)(const QVariant &value);
};

// Moves the holding into its history (customer, value, date taken, today) and clears it, in
// one transaction. Nothing held writes nothing: false.
Result<bool> endHolding(qint64 customerId, const Holding &h)
{
    Connection c;
    if (!c.ok())
        return c.status();
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    auto held = c.run(QStringLiteral("SELECT %1, %2 FROM table2 WHERE id = ?").arg(QLatin1String(h.value), QLatin1String(h.date)),
                      {customerId});
    if (!held)
        return held.status();
    if (!held.value().next() || !h.held(held.value().value(0)))
        return false;
    const QVariant value = held.value().value(0);
    const QDate taken = fromStoredDate(held.value().value(1));
    held.value().finish();
    if (Status s = c.exec(QStringLiteral("INSERT INTO %1 (khid, s1, s2, s3) VALUES (?, ?, ?, ?)").arg(QLatin1String(h.history)),
                          {customerId, value, taken.isValid() ? QVariant(toStoredDate(taken)) : QVariant(),
                           toStoredDate(Clock::today())});
        !s)
        return s;
    if (Status s = c.exec(QStringLiteral("UPDATE table2 SET %1 WHERE id = ?").arg(QLatin1String(h.cleared)), {customerId}); !s)
        return s;
    if (Status s = tx.commit(); !s)
        return s;
    return true;
}

} // namespace

Result<bool> RefundDeposit(qint64 customerId)
{
    // Nothing held, or refunded meanwhile from another window: nothing to move.
    return endHolding(customerId, {"t4", "s5", "table6", "t4 = 0, s5 = NULL", [](const QVariant &v) { return v.toDouble() > 0; }});
}

Result<bool> InvalidateCard(qint64 customerId)
{
    // No card type: a history row would say nothing.
    return endHolding(customerId, {"t3", "s4", "table5", "t3 = NULL, s4 = NULL", [](const QVariant &v) { return !text(v).isEmpty(); }});
}

} // namespace db
