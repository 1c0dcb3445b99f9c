#pragma once
// The rental done the naive way, for the benchmarks that time CommitRental beside it: the same
// statements, each committed on its own, the customer found and written row by row.
#include "data/shop/rentals.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"

#include "bench/common/timing.h"

namespace bench {

inline void naiveCommit(const db::RentalRequest &r)
{
    db::Connection c;
    must(c.ok(), c.status().error());
    const QString today = db::toStoredDate(db::Clock::today());
    qint64 discs = 0;
    for (const db::PickedDisc &d : r.discs) {
        auto n = c.scalar(QStringLiteral("SELECT t7 FROM table1 WHERE id = ?"), {d.id});
        must(n.ok(), n.error());
        discs += n->toLongLong();
    }
    must(c.exec(QStringLiteral("INSERT INTO table2 DEFAULT VALUES")).ok(), QStringLiteral("blank customer"));
    auto id = c.scalar(QStringLiteral("SELECT id FROM table2 WHERE t1 IS NULL ORDER BY id DESC LIMIT 1"));
    must(id.ok(), id.error());
    const qint64 khid = id->toLongLong();
    must(c.exec(QStringLiteral("UPDATE table2 SET t1 = ?, t3 = ?, s4 = ?, t4 = ?, s5 = ?, t5 = ?, s1 = ?, "
                               "s2 = coalesce(s2, 0) + ?, s3 = NULL WHERE id = ?"),
                {r.name, r.cardType, today, r.deposit.toLongLong(), today, r.remark, today, discs, khid})
             .ok(),
         QStringLiteral("customer"));
    for (const db::PickedDisc &d : r.discs) {
        must(c.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1) VALUES (?, ?, ?, ?)"),
                    {d.id, d.title, khid, today})
                 .ok(),
             QStringLiteral("record"));
        must(c.exec(QStringLiteral("UPDATE table1 SET s1 = ?, s3 = ?, s4 = s4 + 1 WHERE id = ?"), {today, r.name, d.id})
                 .ok(),
             QStringLiteral("disc"));
    }
}

} // namespace bench
