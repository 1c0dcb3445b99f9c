#include "data/shop/scans.h"

#include <QSqlQuery>

#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/store/formatting.h"

namespace db {

ScanCode ParseScanCode(const QString &typed)
{
    QString t = typed.trimmed();
    ScanCode code;
    if (t.isEmpty())
        return code;
    ScanCode::Kind kind = ScanCode::Kind::Disc;
    if (t.front().toUpper() == QLatin1Char(kCustomerCodeLetter)) {
        kind = ScanCode::Kind::Customer;
        t.remove(0, 1);
    }
    // Digits only: a sign or blanks inside are not something a label carries.
    if (t.isEmpty() || t.size() > 19)
        return code;
    for (const QChar ch : t) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return code;
    }
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    if (!ok || n <= 0)
        return code;
    code.kind = kind;
    code.number = n;
    return code;
}

QString DiscCode(qint64 disc)
{
    return FormatRecordNumber(disc);
}

QString CustomerCode(qint64 customer)
{
    return QLatin1Char(kCustomerCodeLetter) + FormatRecordNumber(customer);
}

Result<DiscScan> ScanDisc(qint64 id, const QDate &today)
{
    DiscScan out;
    out.id = id;
    Connection c;
    if (!c.ok())
        return c.status();
    auto q = c.run(QStringLiteral("SELECT %1, s3, s1 FROM table1 WHERE id = ?").arg(QLatin1String(kPreRentColumns)), {id});
    if (!q)
        return q.status();
    QSqlQuery &r = q.value();
    if (!r.next())
        return out;
    if (r.value(1).isNull()) {
        out.state = DiscScan::State::Deleted;
        return out;
    }
    out.disc = PreRentDiscOf(r);
    if (r.value(9).isNull()) {
        out.state = DiscScan::State::Rentable;
        return out;
    }
    out.state = DiscScan::State::Out;
    out.renter = r.value(9).toString().trimmed();
    out.since = r.value(10);
    r.finish();
    auto rec = c.run(QStringLiteral("SELECT r.id, r.khid, r.discname, r.s1, k.t1 FROM table4 r LEFT JOIN table2 k ON k.id = r.khid "
                                    "WHERE r.discid = ? AND r.s2 IS NULL ORDER BY r.id DESC LIMIT 1"),
                     {id});
    if (!rec)
        return rec.status();
    if (QSqlQuery &o = rec.value(); o.next()) {
        OpenRental open;
        open.record = o.value(0).toLongLong();
        open.disc = id;
        open.customer = o.value(1).toLongLong();
        open.title = o.value(2).toString().trimmed();
        open.rented = o.value(3);
        open.customerName = o.value(4).toString().trimmed();
        open.days = DaysBetween(open.rented, today);
        out.open = open;
    }
    return out;
}

QString ScanRefusal(const DiscScan &scan)
{
    const QString number = FormatRecordNumber(scan.id);
    switch (scan.state) {
    case DiscScan::State::Unknown:
        return QStringLiteral("没有编号为 %1 的碟片。").arg(number);
    case DiscScan::State::Deleted:
        return QStringLiteral("碟片 %1 已删除。").arg(number);
    case DiscScan::State::Out:
        return QStringLiteral("碟片 %1 已租出：%2，%3 起。").arg(number, scan.renter, DisplayDate(scan.since));
    case DiscScan::State::Rentable:
        return QStringLiteral("碟片 %1 未租出，在架上。").arg(number);
    }
    return QString();
}

} // namespace db
