#include "data/shop/quickreturns.h"

#include <QSqlQuery>

#include "data/shop/returns.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/store/formatting.h"

namespace db {

Result<QuickReturnReceipt> QuickReturn(const QList<qint64> &records)
{
    QuickReturnReceipt receipt;
    receipt.returnedOn = toStoredDate(Clock::today());
    if (records.isEmpty())
        return receipt;
    Connection c;
    if (!c.ok())
        return c.status();
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    // The records by customer, customers in the order first scanned.
    QList<qint64> customers;
    QHash<qint64, QList<qint64>> byCustomer;
    QHash<qint64, qint64> discOf;
    for (const qint64 record : records) {
        auto q = c.run(QStringLiteral("SELECT khid, discid FROM table4 WHERE id = ? AND s2 IS NULL"), {record});
        if (!q)
            return q.status();
        if (!q.value().next())
            continue;
        const qint64 customer = q.value().value(0).toLongLong();
        discOf.insert(record, q.value().value(1).toLongLong());
        if (!byCustomer.contains(customer))
            customers << customer;
        byCustomer[customer] << record;
    }
    for (const qint64 customer : customers) {
        auto done = ReturnDiscsOn(c, customer, byCustomer.value(customer));
        if (!done)
            return done.status();
        for (const qint64 record : done->closed)
            receipt.returned << ReturnedRecord{record, discOf.value(record), customer};
    }
    if (Status s = tx.commit(); !s)
        return s;
    return receipt;
}

Result<qint64> UndoQuickReturn(const QuickReturnReceipt &receipt)
{
    if (receipt.returned.isEmpty())
        return Status::failure(QStringLiteral("没有可撤销的还碟。"));
    Connection c;
    if (!c.ok())
        return c.status();
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    struct Reopen { qint64 record, disc, customer; QVariant rented, name; };
    QList<Reopen> reopen;
    for (const ReturnedRecord &r : receipt.returned) {
        const QString number = FormatRecordNumber(r.disc);
        auto q = c.run(QStringLiteral(
                           "SELECT r.s2, r.s3, r.s1, r.discname, d.t13, d.s3, k.t1, "
                           "(SELECT count(*) FROM table4 n WHERE n.discid = r.discid AND n.id > r.id) "
                           "FROM table4 r LEFT JOIN table1 d ON d.id = r.discid LEFT JOIN table2 k ON k.id = r.khid "
                           "WHERE r.id = ? AND r.discid = ? AND r.khid = ?"),
                       {r.record, r.disc, r.customer});
        if (!q)
            return q.status();
        QSqlQuery &row = q.value();
        if (!row.next() || row.value(0).toString() != QStringLiteral("√") || row.value(1).toString() != receipt.returnedOn)
            return Status::failure(QStringLiteral("碟片 %1 的还碟记录已改变，未撤销任何还碟。").arg(number));
        if (row.value(4).isNull() || row.value(4).toString() != row.value(3).toString())
            return Status::failure(QStringLiteral("柜位 %1 已不是这张碟片，未撤销任何还碟。").arg(number));
        if (!row.value(5).isNull() || row.value(7).toLongLong() > 0)
            return Status::failure(QStringLiteral("碟片 %1 还碟后已再次租出，未撤销任何还碟。").arg(number));
        if (row.value(6).isNull())
            return Status::failure(QStringLiteral("客户 %1 已不存在，未撤销任何还碟。").arg(FormatRecordNumber(r.customer)));
        reopen << Reopen{r.record, r.disc, r.customer, row.value(2), row.value(6)};
    }
    for (const Reopen &r : reopen) {
        if (Status s = c.exec(QStringLiteral("UPDATE table4 SET s2 = NULL, s3 = NULL WHERE id = ?"), {r.record}); !s)
            return s;
        if (Status s = c.exec(QStringLiteral("UPDATE table1 SET s1 = ?, s3 = ? WHERE id = ?"), {r.rented, r.name, r.disc}); !s)
            return s;
        // The customer has a disc out again: no longer settled.
        if (Status s = c.exec(QStringLiteral("UPDATE table2 SET s3 = NULL WHERE id = ? AND s3 IS NOT NULL"), {r.customer}); !s)
            return s;
    }
    if (Status s = tx.commit(); !s)
        return s;
    return qint64(reopen.size());
}

} // namespace db
