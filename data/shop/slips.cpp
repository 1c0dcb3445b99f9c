#include "data/shop/slips.h"

#include <QSqlQuery>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/store/programdir.h"

namespace db {
namespace {

Result<SlipText> slipFor(Connection &c, const QString &kind, qint64 customer)
{
    SlipText slip;
    slip.kind = kind;
    slip.when = Clock::now();
    slip.customer = customer;
    slip.clerk = Session::CurrentUser();
    const QString today = toStoredDate(Clock::today());
    auto q = c.run(QStringLiteral("SELECT t1, t4, s5 FROM table2 WHERE id = ?"), {customer});
    if (!q)
        return q.status();
    if (!q.value().next())
        return Status::failure(QStringLiteral("客户不存在。"));
    slip.customerName = q.value().value(0).toString().trimmed();
    if (kind == QStringLiteral("租碟单") && q.value().value(2).toString() == today)
        slip.depositTaken = q.value().value(1).toLongLong();
    q.value().finish();
    if (kind == QStringLiteral("还碟单")) {
        auto refunded = c.scalar(QStringLiteral("SELECT sum(s1) FROM table6 WHERE khid = ? AND s3 = ?"), {customer, today});
        if (!refunded)
            return refunded.status();
        slip.depositRefunded = refunded->toLongLong();
    }
    return slip;
}

} // namespace

Result<SlipText> RentalSlip(qint64 customer, const QList<qint64> &discs)
{
    Connection c;
    if (!c.ok())
        return c.status();
    auto read = slipFor(c, QStringLiteral("租碟单"), customer);
    if (!read)
        return read;
    SlipText slip = read.value();
    for (const qint64 disc : discs) {
        auto title = c.scalar(QStringLiteral("SELECT discname FROM table4 WHERE khid = ? AND discid = ? AND s2 IS NULL "
                                             "ORDER BY id DESC LIMIT 1"),
                              {customer, disc});
        if (!title)
            return title.status();
        if (!title->isNull())
            slip.discs << SlipText::Disc{disc, title->toString().trimmed()};
    }
    return slip;
}

Result<QList<SlipText>> ReturnSlips(const QList<ReturnedRecord> &returned)
{
    Connection c;
    if (!c.ok())
        return c.status();
    QList<SlipText> slips;
    for (const ReturnedRecord &r : returned) {
        auto it = std::find_if(slips.begin(), slips.end(), [&](const SlipText &s) { return s.customer == r.customer; });
        if (it == slips.end()) {
            auto slip = slipFor(c, QStringLiteral("还碟单"), r.customer);
            if (!slip)
                return slip.status();
            slips << *slip;
            it = slips.end() - 1;
        }
        auto disc = c.run(QStringLiteral("SELECT discid, discname FROM table4 WHERE id = ?"), {r.record});
        if (!disc)
            return disc.status();
        if (disc.value().next())
            it->discs << SlipText::Disc{disc.value().value(0).toLongLong(), disc.value().value(1).toString().trimmed()};
    }
    return slips;
}

} // namespace db
