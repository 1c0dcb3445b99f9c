#include "data/shop/statistics.h"

#include <QHash>
#include <QSqlQuery>

#include <algorithm>
#include <limits>

#include "data/store/connection.h"
#include "data/store/customermonths.h"
#include "data/store/dates.h"

namespace db {

namespace {

QDate monthOf(const QDate &d) { return QDate(d.year(), d.month(), 1); }
QString monthKey(const QDate &d) { return d.toString(QStringLiteral("yyyy-MM")); }

// The day after which a disc rented on it has been out more than `days` days.
QString daysAgo(const QDate &today, int days) { return toStoredDate(today.addDays(-days)); }

// Rentals, returns and deposits per day and per month, from the kept day figures.
Status readDays(Connection &c, ShopStatistics &s)
{
    const QDate firstDay = std::max(s.from, s.to.addDays(-(kMaxDays - 1)));
    const QDate lastMonth = monthOf(s.to);
    const QDate firstMonth = std::max(std::min(monthOf(s.from), lastMonth.addMonths(-(kMinMonths - 1))),
                                      lastMonth.addMonths(-(kMaxMonths - 1)));
    s.days.clear();
    s.months.clear();
    s.deposits.clear();
    for (QDate d = firstDay; d <= s.to; d = d.addDays(1))
        s.days << RentalCount{d};
    for (QDate m = firstMonth; m <= lastMonth; m = m.addMonths(1)) {
        s.months << RentalCount{m};
        s.deposits << DepositMonth{m};
    }
    // Whole months: the last one up to its end, past the period's last day.
    auto rows = c.run(QStringLiteral("SELECT day, rentals, returns, held + taken_back, refunded FROM shop_days "
                                     "WHERE day >= ? AND day <= ?"),
                      {toStoredDate(std::min(firstDay, firstMonth)), toStoredDate(lastMonth.addMonths(1).addDays(-1))});
    if (!rows)
        return rows.status();
    QSqlQuery &r = rows.value();
    while (r.next()) {
        const QDate d = fromStoredDate(r.value(0));
        if (!d.isValid())
            continue;
        const qint64 rentals = r.value(1).toLongLong(), returns = r.value(2).toLongLong();
        if (d >= firstDay && d <= s.to) {
            RentalCount &day = s.days[firstDay.daysTo(d)];
            day.rentals += rentals;
            day.returns += returns;
        }
        const qint64 m = (d.year() - firstMonth.year()) * 12 + d.month() - firstMonth.month();
        if (m >= 0 && m < s.months.size()) {
            s.months[m].rentals += rentals;
            s.months[m].returns += returns;
            s.deposits[m].taken += r.value(3).toLongLong() / 100.0;
            s.deposits[m].refunded += r.value(4).toLongLong() / 100.0;
        }
    }
    return {};
}

// An empty range of span keys binds as ('9', '0').
QVariantList spanRange(const QString &from, const QString &to)
{
    return from <= to ? QVariantList{from, to} : QVariantList{QStringLiteral("9"), QStringLiteral("0")};
}

// Titles from the kept counts: whole months from the month rows, the days before and after
// them from the day rows.
Status readTitles(Connection &c, const QDate &from, const QDate &to, QList<Ranked> &out)
{
    const QDate firstWhole = from.day() == 1 ? from : monthOf(from).addMonths(1);
    const QDate lastWhole = to.addDays(1).day() == 1 ? monthOf(to) : monthOf(to).addMonths(-1);
    QVariantList binds;
    if (firstWhole <= lastWhole) {
        binds << spanRange(monthKey(firstWhole), monthKey(lastWhole))
              << spanRange(toStoredDate(from), toStoredDate(firstWhole.addDays(-1)))
              << spanRange(toStoredDate(lastWhole.addMonths(1)), toStoredDate(to));
    } else {
        binds << spanRange(QStringLiteral("9"), QStringLiteral("0")) << spanRange(toStoredDate(from), toStoredDate(to))
              << spanRange(QStringLiteral("9"), QStringLiteral("0"));
    }
    // Three ranges of the key read one after the other: as one OR the file's engine gathered
    // the keys first and read each row again, twice the time.
    auto titles = c.run(QStringLiteral("SELECT title, sum(n) AS c FROM ("
                                       "SELECT title, n FROM title_counts WHERE per = 2 AND span BETWEEN ? AND ? "
                                       "UNION ALL SELECT title, n FROM title_counts WHERE per = 1 AND span BETWEEN ? AND ? "
                                       "UNION ALL SELECT title, n FROM title_counts WHERE per = 1 AND span BETWEEN ? AND ?) AS t "
                                       "GROUP BY title HAVING sum(n) > 0 ORDER BY c DESC, title LIMIT %1").arg(kRanked),
                        binds);
    if (!titles)
        return titles.status();
    out.clear();
    while (titles.value().next())
        out << Ranked{0, titles.value().value(0).toString(), titles.value().value(1).toLongLong()};
    return {};
}

Status nameCustomers(Connection &c, QList<Ranked> &out);

bool ranksAbove(const Ranked &a, const Ranked &b) { return a.rentals > b.rentals || (a.rentals == b.rentals && a.id < b.id); }

// Customers down the kept totals, most first, each counted in the period by its own records,
// until no total left can reach the last of the ranking. That ends soon when the period holds
// most rentals; for a short one it is cheaper to count the period's rentals. After the first
// customers the ranking's last sets a floor, and the totals at or above it say how far the
// walk can go: past `budget` customers it gives up. False: given up.
Result<bool> walkCustomers(Connection &c, const QVariantList &period, qint64 budget, QList<Ranked> &top)
{
    qint64 lastTotal = std::numeric_limits<qint64>::max(), lastId = 0;
    for (int chunk = 256;; chunk = 2048) {
        auto rows = c.run(QStringLiteral("SELECT k.khid, k.n, (SELECT count(*) FROM table4 r WHERE r.khid = k.khid "
                                         "AND substr(r.s1, 1, 10) BETWEEN ? AND ?) FROM customer_rentals k "
                                         "WHERE k.n < ? OR (k.n = ? AND k.khid < ?) ORDER BY k.n DESC, k.khid DESC LIMIT %1")
                              .arg(chunk),
                          {period.at(0), period.at(1), lastTotal, lastTotal, lastId});
        if (!rows)
            return rows.status();
        QSqlQuery &r = rows.value();
        int read = 0;
        while (r.next()) {
            ++read;
            lastId = r.value(0).toLongLong();
            lastTotal = r.value(1).toLongLong();
            if (top.size() == kRanked && lastTotal < top.last().rentals)
                return true;
            if (const qint64 n = r.value(2).toLongLong(); n > 0) {
                const Ranked k{lastId, {}, n};
                top.insert(std::upper_bound(top.begin(), top.end(), k, ranksAbove) - top.begin(), k);
                if (top.size() > kRanked)
                    top.removeLast();
            }
        }
        if (read < chunk)
            return true;
        if (chunk == 256) {
            const qint64 floor = top.size() == kRanked ? top.last().rentals : 1;
            auto ahead = c.scalar(QStringLiteral("SELECT count(*) FROM customer_rentals WHERE n >= ?"), {floor});
            if (!ahead)
                return ahead.status();
            if (ahead->toLongLong() > budget)
                return false;
        }
    }
}

// Adds the customers' counts in the period to the ranking `top`.
Status countEach(Connection &c, const QVariantList &period, const QList<qint64> &customers, QList<Ranked> &top)
{
    if (customers.isEmpty())
        return {};
    QVariantList binds = period;
    for (qint64 k : customers)
        binds << k;
    const QString marks = QStringLiteral("?,").repeated(customers.size()).chopped(1);
    auto counted = c.run(QStringLiteral("SELECT khid, count(*) FROM table4 WHERE substr(s1, 1, 10) BETWEEN ? AND ? "
                                        "AND khid IN (%1) GROUP BY khid").arg(marks),
                         binds);
    if (!counted)
        return counted.status();
    while (counted.value().next()) {
        const Ranked k{counted.value().value(0).toLongLong(), {}, counted.value().value(1).toLongLong()};
        top.insert(std::upper_bound(top.begin(), top.end(), k, ranksAbove) - top.begin(), k);
        if (top.size() > kRanked)
            top.removeLast();
    }
    return {};
}

// Customers of a period within one year down the records of the months it touches (and of
// the odd dates, customermonths.h), each counted in the period by its own records, until no
// bound left can reach the last of the ranking. A floor first: the 20th count among the 64
// customers with the most rentals of all is at most the true ranking's last, so only the
// customers whose bound reaches it are read, in one pass without sorting.
Status walkMonths(Connection &c, const QDate &from, const QDate &to, QList<Ranked> &top)
{
    const QVariantList period = {toStoredDate(from), toStoredDate(to)};
    QList<Ranked> sample;
    {
        auto most = c.run(QStringLiteral("SELECT khid FROM customer_rentals ORDER BY n DESC, khid DESC LIMIT 64"));
        if (!most)
            return most.status();
        QList<qint64> ids;
        while (most.value().next())
            ids << most.value().value(0).toLongLong();
        if (Status s = countEach(c, period, ids, sample); !s)
            return s;
    }
    const qint64 floor = sample.size() == kRanked ? std::max<qint64>(1, sample.last().rentals) : 1;
    const QString bound = from.month() == 1 ? QStringLiteral("(%1 + %2)").arg(MonthColumn(0), MonthColumn(to.month()))
                                            : QStringLiteral("(%1 + %2 - %3)").arg(MonthColumn(0), MonthColumn(to.month()),
                                                                                   MonthColumn(from.month() - 1));
    auto rows = c.run(QStringLiteral("SELECT khid, %1 FROM customer_months WHERE year = ? AND %1 >= ?").arg(bound),
                      {toStoredDate(from).left(4), floor});
    if (!rows)
        return rows.status();
    QList<std::pair<qint64, qint64>> walk; // bound, customer
    while (rows.value().next())
        walk.append({rows.value().value(1).toLongLong(), rows.value().value(0).toLongLong()});
    std::sort(walk.begin(), walk.end(),
              [](const auto &a, const auto &b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
    constexpr qsizetype kBatch = 64;
    for (qsizetype i = 0; i < walk.size(); i += kBatch) {
        if (top.size() == kRanked && walk.at(i).first < top.last().rentals)
            return {};
        QList<qint64> ids;
        for (qsizetype j = i; j < std::min(walk.size(), i + kBatch); ++j)
            ids << walk.at(j).second;
        if (Status s = countEach(c, period, ids, top); !s)
            return s;
    }
    return {};
}

// The period's customers counted from its rentals.
Status countCustomers(Connection &c, const QDate &from, const QDate &to, QList<Ranked> &out)
{
    out.clear();
    // The day range finds the records by the index on their day; substr keeps the days exact.
    auto counted = c.run(QStringLiteral("SELECT khid, count(*) AS c FROM table4 WHERE s1 >= ? AND s1 < ? "
                                        "AND substr(s1, 1, 10) BETWEEN ? AND ? AND khid IS NOT NULL "
                                        "GROUP BY khid ORDER BY c DESC, khid LIMIT %1").arg(kRanked),
                         {toStoredDate(from), toStoredDate(to.addDays(1)), toStoredDate(from), toStoredDate(to)});
    if (!counted)
        return counted.status();
    while (counted.value().next())
        out << Ranked{counted.value().value(0).toLongLong(), {}, counted.value().value(1).toLongLong()};
    return {};
}

// `rentals`: those of the period; `all`: those of every day.
Status readCustomers(Connection &c, const QDate &from, const QDate &to, qint64 rentals, qint64 all,
                     CustomerRanking way, QList<Ranked> &out)
{
    out.clear();
    if (rentals == 0)
        return {};
    // Costs, roughly: the walk down the totals ends soon when the period holds most of the
    // rentals; one pass over a year's month sums costs about as much as counting 64k
    // rentals; the count grows with the period.
    const bool oneYear = from.year() == to.year();
    const bool monthsCheaper = oneYear && rentals > 65536;
    if (way == CustomerRanking::Cheaper && monthsCheaper && rentals < all / 3 * 2)
        way = CustomerRanking::Months;
    Status done;
    if (way == CustomerRanking::Months) {
        done = oneYear ? walkMonths(c, from, to, out) : countCustomers(c, from, to, out);
    } else if (way == CustomerRanking::Count) {
        done = countCustomers(c, from, to, out);
    } else {
        // Counting a period's rentals costs about as much as walking an eighth as many customers.
        const qint64 budget = way == CustomerRanking::Walk ? std::numeric_limits<qint64>::max()
                                                           : std::max<qint64>(512, rentals / 8);
        auto walked = walkCustomers(c, {toStoredDate(from), toStoredDate(to)}, budget, out);
        if (!walked)
            return walked.status();
        if (!*walked) {
            out.clear();
            done = monthsCheaper ? walkMonths(c, from, to, out) : countCustomers(c, from, to, out);
        }
    }
    if (!done)
        return done;
    return nameCustomers(c, out);
}

Status nameCustomers(Connection &c, QList<Ranked> &out)
{
    if (out.isEmpty())
        return {};
    QStringList marks;
    QVariantList ids;
    for (const Ranked &k : std::as_const(out)) {
        marks << QStringLiteral("?");
        ids << k.id;
    }
    auto names = c.run(QStringLiteral("SELECT id, t1 FROM table2 WHERE id IN (%1)").arg(marks.join(QLatin1Char(','))), ids);
    if (!names)
        return names.status();
    QHash<qint64, QString> byId;
    while (names.value().next())
        byId.insert(names.value().value(0).toLongLong(), names.value().value(1).toString());
    for (Ranked &k : out)
        k.name = byId.value(k.id);
    return {};
}

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
    // The day a disc went out is indexed (table1_out_since) as written here.
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
        q.where = out + QStringLiteral("(") + day + QStringLiteral(" IS NULL OR ") + day + QStringLiteral(" < ?)");
        q.binds = {daysAgo(today, 90)};
        break;
    }
    return q;
}

Status ReadPeriod(Connection &c, const QDate &from, const QDate &to, ShopStatistics &out, CustomerRanking way)
{
    out.from = std::min(from, to);
    out.to = std::max(from, to);
    if (Status s = readDays(c, out); !s)
        return s;
    if (Status s = readTitles(c, out.from, out.to, out.topTitles); !s)
        return s;
    auto rentals = c.run(QStringLiteral("SELECT coalesce(sum(CASE WHEN day BETWEEN ? AND ? THEN rentals ELSE 0 END), 0), "
                                        "coalesce(sum(rentals), 0) FROM shop_days"),
                         {toStoredDate(out.from), toStoredDate(out.to)});
    if (!rentals)
        return rentals.status();
    if (!rentals.value().next())
        return Status::failure(QStringLiteral("无法读取营业统计的每日数字。"));
    const qint64 period = rentals.value().value(0).toLongLong(), all = rentals.value().value(1).toLongLong();
    return readCustomers(c, out.from, out.to, period, all, way, out.topCustomers);
}

Status ReadPeriod(const QDate &from, const QDate &to, ShopStatistics &out)
{
    Connection c;
    if (!c.ok())
        return c.status();
    return ReadPeriod(c, from, to, out);
}

Result<ShopStatistics> ReadStatistics(Connection &c, const QDate &today, const QDate &from, const QDate &to)
{
    ShopStatistics s;
    // The longest out are the rest of the kept count of discs out.
    auto out = c.scalar(QStringLiteral("SELECT discs_out FROM list_counts WHERE id = 1"));
    if (!out)
        return out.status();
    s.discsOut[int(DaysOut::Longer)] = out->toLongLong();
    for (DaysOut g : {DaysOut::UpToWeek, DaysOut::UpToMonth, DaysOut::UpToQuarter}) {
        auto n = CountRows(c, DiscsOutQuery(g, today));
        if (!n)
            return n.status();
        s.discsOut[int(g)] = *n;
        s.discsOut[int(DaysOut::Longer)] -= *n;
    }
    auto held = c.scalar(QStringLiteral("SELECT coalesce(sum(held), 0) FROM shop_days"));
    if (!held)
        return held.status();
    s.depositsHeld = held->toLongLong() / 100.0;
    if (Status st = ReadPeriod(c, from, to, s); !st)
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
