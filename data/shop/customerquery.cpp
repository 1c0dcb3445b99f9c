#include "data/shop/customerquery.h"

#include <QStringList>

#include "data/search/customerindex.h"
#include "data/shop/customerlists.h"
#include "data/store/dates.h"
#include "data/search/textmatch.h"

namespace db {
namespace {

const QString kSeparator = QStringLiteral("@@@");

// The last rental date between the given days, on the value the customer lists are ordered
// by (a customer never rented has '' there and is never in a range). Stored dates are ISO
// text, so text order is date order.
struct DayRange
{
    QString condition; // on %1, the day expression
    QVariantList binds;
};

std::optional<DayRange> dayRange(const CustomerCriteria &c)
{
    if (c.from && c.to)
        return DayRange{QStringLiteral("%1 >= ? AND %1 <= ?"), {toStoredDate(*c.from), toStoredDate(*c.to)}};
    if (c.from)
        return DayRange{QStringLiteral("%1 >= ?"), {toStoredDate(*c.from)}};
    if (c.to)
        return DayRange{QStringLiteral("%1 > '' AND %1 <= ?"), {toStoredDate(*c.to)}};
    return std::nullopt;
}

QString datePart(const QString &year, const QString &month, const QString &day)
{
    return year.trimmed() + QLatin1Char('-') + month.trimmed() + QLatin1Char('-') + day.trimmed();
}

std::optional<QDate> parseDate(const QString &text)
{
    if (text.isEmpty() || text == QLatin1String("--"))
        return std::nullopt;
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() != 3)
        return QDate();
    return ComposeTypedDate(parts[0], parts[1], parts[2]).date;
}

} // namespace

PagedQuery CustomerCriteriaQuery(const CustomerCriteria &c)
{
    const QString version = QStringLiteral("SELECT table2_changes FROM list_counts WHERE id = 1");
    QStringList where{QStringLiteral("t1 IS NOT NULL")};
    QVariantList binds;

    if (!c.card.isEmpty()) {
        const Condition card = EqualsCondition(QStringLiteral("t2"), c.card);
        where << card.sql;
        binds << card.bind;
        PagedQuery q = CustomerQuery(where.join(QStringLiteral(" AND ")), binds);
        q.versionSql = version;
        return q;
    }
    if ((c.from && !c.from->isValid()) || (c.to && !c.to->isValid())) {
        PagedQuery q = CustomerQuery(QStringLiteral("0"));
        q.countSql = QStringLiteral("SELECT 0");
        return q;
    }

    const std::optional<DayRange> days = dayRange(c);
    const QString sortValue = QString::fromLatin1(kCustomerSortValue);
    if (!c.name.isEmpty()) {
        const Condition part = ContainsCondition(QStringLiteral("t1"), c.name);
        where << part.sql;
        binds << part.bind;
    }
    if (!c.cardType.isEmpty()) {
        const Condition type = EqualsCondition(QStringLiteral("t3"), c.cardType);
        where << type.sql;
        binds << type.bind;
    }
    if (days) {
        where << days->condition.arg(sortValue);
        binds << days->binds;
    }
    PagedQuery q = CustomerQuery(where.join(QStringLiteral(" AND ")), binds);
    q.versionSql = version;
    if (CustomerIndexServes(c)) {
        // Name parts and card types are looked up in the customer index, which counts and
        // pages without reading the customers; the statement above stays what the list means.
        q.finder = [c, where = q.where, binds = q.binds](Connection &conn, qint64 page, int rowsPerPage) {
            return FindCustomers(conn, c, where, binds, page, rowsPerPage);
        };
    } else if (c.name.isEmpty() && c.cardType.isEmpty()) {
        // Dates alone, or nothing: the customers kept per day for the all-customers list
        // count the result and find a deep page.
        const QString onDays = days ? QStringLiteral(" AND ") + days->condition.arg(QStringLiteral("day")) : QString();
        q.countSql = QStringLiteral("SELECT coalesce(sum(n), 0) FROM customer_days WHERE list = 1") + onDays;
        q.countBinds = days ? days->binds : QVariantList();
        q.blocksSql = QStringLiteral("SELECT day, n FROM customer_days WHERE list = 1%1 AND n > 0 ORDER BY day").arg(onDays);
        q.blocksBinds = q.countBinds;
    }
    return q;
}

QString CustomerCriteriaText(const TypedCriteria &t)
{
    return QStringList{t.card.trimmed(), t.name.trimmed(), t.cardType.trimmed(),
                       datePart(t.fromYear, t.fromMonth, t.fromDay), datePart(t.toYear, t.toMonth, t.toDay)}
        .join(kSeparator);
}

CustomerCriteria CustomerCriteriaOf(const TypedCriteria &t)
{
    auto date = [](const QString &y, const QString &m, const QString &d) -> std::optional<QDate> {
        if (y.trimmed().isEmpty() && m.trimmed().isEmpty() && d.trimmed().isEmpty())
            return std::nullopt;
        return ComposeTypedDate(y.trimmed(), m.trimmed(), d.trimmed()).date;
    };
    CustomerCriteria c;
    c.card = t.card.trimmed();
    c.name = t.name.trimmed();
    c.cardType = t.cardType.trimmed();
    c.from = date(t.fromYear, t.fromMonth, t.fromDay);
    c.to = date(t.toYear, t.toMonth, t.toDay);
    return c;
}

CustomerCriteria ParseCustomerCriteria(const QString &text)
{
    QStringList f = text.split(kSeparator);
    while (f.size() < 5)
        f << QString();
    CustomerCriteria c;
    c.card = f.first();
    c.to = parseDate(f.takeLast());
    c.from = parseDate(f.takeLast());
    c.cardType = f.takeLast();
    c.name = f.mid(1).join(kSeparator);
    return c;
}

} // namespace db
