#include "data/shop/statistics.h"

#include <QHash>
#include <QSqlQuery>

#include <limits>

#include "data/store/connection.h"
#include "data/store/dates.h"

namespace db {

namespace {

constexpr int kDays = 30;
constexpr int kMonths = 12;
constexpr int kRanked = 20;

QDate monthOf(const QDate &d) { return QDate(d.year(), d.month(), 1); }

// Rows of (date text, number) summed into the slots whose first day is the date's day
// (per day) or month (per month).
template <typename Add>
Status sumByDate(Connection &c, const QString &sql, const QVariantList &binds, Add add)
{
    auto rows = c.run(sql, binds);
    if (!rows)
        return rows.status();
    QSqlQuery &r = rows.value();
    while (r.next()) {
        const QDate d = fromStoredDate(r.value(0).toString().left(10));
        if (d.isValid())
            add(d, r.value(1));
    }
    return {};
}

// The day after which a disc rented on it has been out more than `days` days.
QString daysAgo(const QDate &today, int days) { return toStoredDate(today.addDays(-days)); }

} // namespace

QString DaysOutLabel(DaysOut group)
{
    switch (group) {
    case DaysOut::UpToWeek: return QStringLiteral("7 天以内");
    case DaysOut::UpToMonth: return QStringLiteral("8–30 天");
    case DaysOut::UpToQuarter: return QStringLiteral("31–90 天");
    case DaysOut::Longer: return QStringLiteral("90 天以上");
    }
    return {};
}

PagedQuery DiscsOutQuery(DaysOut group, const QDate &today)
{
    PagedQuery q;
    q.columns = QStringLiteral("id,t13,t38,t7,t18,t14,t11,t10,t20,s1,s3");
    q.from = QStringLiteral("table1");
    q.keyOrder = PagedQuery::KeyOrder::Descending;
    const QString out = QStringLiteral("t13 IS NOT NULL AND s3 IS NOT NULL AND ");
    const QString day = QStringLiteral("substr(s1, 1, 10)");
    switch (group) {
    case DaysOut::UpToWeek:
        q.where = out + day + QStringLiteral(" >= ?");
        q.binds = {daysAgo(today, 7)};
        break;
    case DaysOut::UpToMonth:
        q.where = out + day + QStringLiteral(" >= ? AND ") + day + QStringLiteral(" < ?");
        q.binds = {daysAgo(today, 30), daysAgo(today, 7)};
        break;
    case DaysOut::UpToQuarter:
        q.where = out + day + QStringLiteral(" >= ? AND ") + day + QStringLiteral(" < ?");
        q.binds = {daysAgo(today, 90), daysAgo(today, 30)};
        break;
    case DaysOut::Longer:
        // A disc out without a readable date has been out longer than anyone remembers.
        q.where = out + QStringLiteral("(s1 IS NULL OR ") + day + QStringLiteral(" < ?)");
        q.binds = {daysAgo(today, 90)};
        break;
    }
    return q;
}

Status ReadRankings(Connection &c, const QDate &from, const QDate &to, ShopStatistics &out)
{
    const QVariantList period = {toStoredDate(from), toStoredDate(to)};
    out.topTitles.clear();
    out.topCustomers.clear();
    auto titles = c.run(QStringLiteral("SELECT discname, count(*) AS n FROM table4 "
                                       "WHERE substr(s1, 1, 10) BETWEEN ? AND ? AND discname IS NOT NULL "
                                       "GROUP BY discname ORDER BY n DESC, discname LIMIT %1").arg(kRanked),
                        period);
    if (!titles)
        return titles.status();
    while (titles.value().next())
        out.topTitles << Ranked{0, titles.value().value(0).toString(), titles.value().value(1).toLongLong()};
    auto customers = c.run(QStringLiteral("SELECT r.khid, ifnull(table2.t1, ''), r.n FROM "
                                          "(SELECT khid, count(*) AS n FROM table4 "
                                          " WHERE substr(s1, 1, 10) BETWEEN ? AND ? GROUP BY khid) AS r "
                                          "LEFT JOIN table2 ON table2.id = r.khid "
                                          "ORDER BY r.n DESC, r.khid LIMIT %1").arg(kRanked),
                           period);
    if (!customers)
        return customers.status();
    while (customers.value().next())
        out.topCustomers << Ranked{customers.value().value(0).toLongLong(), customers.value().value(1).toString(),
                                   customers.value().value(2).toLongLong()};
    return {};
}

Status ReadRankings(const QDate &from, const QDate &to, ShopStatistics &out)
{
    Connection c;
    if (!c.ok())
        return c.status();
    return ReadRankings(c, from, to, out);
}

Result<ShopStatistics> ReadStatistics(Connection &c, const QDate &today, const QDate &from, const QDate &to)
{
    ShopStatistics s;
    const QDate firstDay = today.addDays(-(kDays - 1));
    const QDate firstMonth = monthOf(today).addMonths(-(kMonths - 1));
    for (int i = 0; i < kDays; ++i)
        s.days << RentalCount{firstDay.addDays(i)};
    for (int i = 0; i < kMonths; ++i) {
        s.months << RentalCount{firstMonth.addMonths(i)};
        s.deposits << DepositMonth{firstMonth.addMonths(i)};
    }
    const auto slot = [&](auto &list, const QDate &first, const QDate &d, bool perMonth) -> decltype(&list[0]) {
        const qint64 i = perMonth ? (d.year() - first.year()) * 12 + d.month() - first.month() : first.daysTo(d);
        return i >= 0 && i < list.size() ? &list[i] : nullptr;
    };
    const QVariantList since = {toStoredDate(firstMonth), toStoredDate(today)};

    // Rentals by their date, returns by the date they came back.
    for (const char *column : {"s1", "s3"}) {
        const bool rentals = QLatin1String(column) == QLatin1String("s1");
        // A return date stays when the disc is later deleted from the catalogue.
        const QString where = QStringLiteral("substr(%1, 1, 10) BETWEEN ? AND ?").arg(QLatin1String(column));
        Status st = sumByDate(c, QStringLiteral("SELECT substr(%1, 1, 10) AS d, count(*) FROM table4 WHERE %2 GROUP BY d")
                                     .arg(QLatin1String(column), where),
                              since, [&](const QDate &d, const QVariant &n) {
                                  for (bool perMonth : {false, true}) {
                                      auto *r = perMonth ? slot(s.months, firstMonth, d, true)
                                                         : slot(s.days, firstDay, d, false);
                                      if (r)
                                          (rentals ? r->rentals : r->returns) += n.toLongLong();
                                  }
                              });
        if (!st)
            return st;
    }

    auto out = c.run(QStringLiteral("SELECT substr(s1, 1, 10) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NOT NULL"));
    if (!out)
        return out.status();
    while (out.value().next()) {
        const QDate d = fromStoredDate(out.value().value(0));
        const qint64 days = d.isValid() ? d.daysTo(today) : std::numeric_limits<qint64>::max();
        const DaysOut g = days <= 7 ? DaysOut::UpToWeek : days <= 30 ? DaysOut::UpToMonth
                        : days <= 90 ? DaysOut::UpToQuarter : DaysOut::Longer;
        ++s.discsOut[int(g)];
    }

    auto held = c.scalar(QStringLiteral("SELECT total(t4) FROM table2 WHERE t1 IS NOT NULL AND t4 > 0"));
    if (!held)
        return held.status();
    s.depositsHeld = held->toDouble();
    // Taken: deposits held now by the day they were taken, and those returned since by the
    // day they had been taken. Refunded: by the day they were returned.
    const auto addTaken = [&](const QDate &d, const QVariant &v) {
        if (auto *m = slot(s.deposits, firstMonth, d, true))
            m->taken += v.toDouble();
    };
    for (const QString &sql : {QStringLiteral("SELECT s5, t4 FROM table2 WHERE t1 IS NOT NULL AND t4 > 0 "
                                              "AND substr(s5, 1, 10) BETWEEN ? AND ?"),
                               QStringLiteral("SELECT s2, s1 FROM table6 WHERE substr(s2, 1, 10) BETWEEN ? AND ?")}) {
        if (Status st = sumByDate(c, sql, since, addTaken); !st)
            return st;
    }
    if (Status st = sumByDate(c, QStringLiteral("SELECT s3, s1 FROM table6 WHERE substr(s3, 1, 10) BETWEEN ? AND ?"), since,
                              [&](const QDate &d, const QVariant &v) {
                                  if (auto *m = slot(s.deposits, firstMonth, d, true))
                                      m->refunded += v.toDouble();
                              });
        !st)
        return st;

    if (Status st = ReadRankings(c, from, to, s); !st)
        return st;
    return s;
}

Result<ShopStatistics> ReadStatistics(const QDate &today, const QDate &from, const QDate &to)
{
    Connection c;
    if (!c.ok())
        return c.status();
    return ReadStatistics(c, today, from, to);
}

} // namespace db
