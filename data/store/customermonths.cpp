#include "data/store/customermonths.h"

#include <QStringList>

#include <algorithm>

#include "data/store/connection.h"

namespace db {
namespace {

QString monthsUpTo(int last)
{
    QStringList months;
    for (int m = 1; m <= last; ++m)
        months << QStringLiteral("'%1'").arg(m, 2, 10, QLatin1Char('0'));
    return QStringLiteral("(%1)").arg(months.join(QLatin1Char(',')));
}

// 1 when the record of `row` (NEW., OLD. or nothing for the plain column) counts in column
// `m` (MonthColumn).
QString inMonth(const QString &row, int m)
{
    const QString month = QStringLiteral("substr(%1s1, 6, 2)").arg(row);
    if (m == 0)
        return QStringLiteral("CASE WHEN %1 IN %2 THEN 0 ELSE 1 END").arg(month, monthsUpTo(12));
    return QStringLiteral("CASE WHEN %1 IN %2 THEN 1 ELSE 0 END").arg(month, monthsUpTo(m));
}

QString columns()
{
    QStringList out;
    for (int m = 0; m < kMonthColumns; ++m)
        out << MonthColumn(m);
    return out.join(QStringLiteral(", "));
}

// What a record adds (`row` NEW) or takes away (`row` OLD).
QString join(const QString &row)
{
    QStringList values, sums;
    for (int m = 0; m < kMonthColumns; ++m) {
        values << inMonth(row + QLatin1Char('.'), m);
        sums << QStringLiteral("%1 = customer_months.%1 + excluded.%1").arg(MonthColumn(m));
    }
    return QStringLiteral("INSERT INTO customer_months (year, khid, %1) SELECT substr(%2.s1, 1, 4), %2.khid, %3 "
                          "WHERE %2.s1 IS NOT NULL AND %2.khid IS NOT NULL "
                          "ON CONFLICT (year, khid) DO UPDATE SET %4;")
        .arg(columns(), row, values.join(QStringLiteral(", ")), sums.join(QStringLiteral(", ")));
}

QString leave(const QString &row)
{
    QStringList sets;
    for (int m = 0; m < kMonthColumns; ++m)
        sets << QStringLiteral("%1 = %1 - %2").arg(MonthColumn(m), inMonth(row + QLatin1Char('.'), m));
    return QStringLiteral("UPDATE customer_months SET %1 WHERE year = substr(%2.s1, 1, 4) AND khid = %2.khid;")
        .arg(sets.join(QStringLiteral(", ")), row);
}

QStringList fileStatements()
{
    QStringList zeros;
    for (int m = 0; m < kMonthColumns; ++m)
        zeros << QStringLiteral("%1 INTEGER NOT NULL DEFAULT 0").arg(MonthColumn(m));
    return {
        QStringLiteral("CREATE TABLE customer_months (year TEXT NOT NULL, khid INTEGER NOT NULL, %1, "
                       "PRIMARY KEY (year, khid)) WITHOUT ROWID").arg(zeros.join(QStringLiteral(", "))),
        QStringLiteral("CREATE TRIGGER table4_months_insert AFTER INSERT ON table4 BEGIN\n%1\nEND").arg(join(QStringLiteral("NEW"))),
        QStringLiteral("CREATE TRIGGER table4_months_delete AFTER DELETE ON table4 BEGIN\n%1\nEND").arg(leave(QStringLiteral("OLD"))),
        QStringLiteral("CREATE TRIGGER table4_months_update AFTER UPDATE OF s1, khid ON table4 "
                       "WHEN OLD.s1 IS NOT NEW.s1 OR OLD.khid IS NOT NEW.khid BEGIN\n%1\n%2\nEND")
            .arg(leave(QStringLiteral("OLD")), join(QStringLiteral("NEW"))),
    };
}

QStringList serverStatements()
{
    QStringList zeros;
    for (int m = 0; m < kMonthColumns; ++m)
        zeros << QStringLiteral("%1 bigint NOT NULL DEFAULT 0").arg(MonthColumn(m));
    return {
        QStringLiteral("CREATE TABLE customer_months (year text NOT NULL, khid bigint NOT NULL, %1, "
                       "PRIMARY KEY (year, khid))").arg(zeros.join(QStringLiteral(", "))),
        QStringLiteral(R"(CREATE FUNCTION table4_months() RETURNS trigger LANGUAGE plpgsql AS $$
    BEGIN
        IF TG_OP = 'UPDATE' AND OLD.s1 IS NOT DISTINCT FROM NEW.s1 AND OLD.khid IS NOT DISTINCT FROM NEW.khid THEN
            RETURN NULL;
        END IF;
        IF TG_OP <> 'INSERT' THEN
            %1
        END IF;
        IF TG_OP <> 'DELETE' THEN
            %2
        END IF;
        RETURN NULL;
    END $$)").arg(leave(QStringLiteral("OLD")), join(QStringLiteral("NEW"))),
        QStringLiteral("CREATE TRIGGER table4_months AFTER INSERT OR DELETE OR UPDATE OF s1, khid ON table4 "
                       "FOR EACH ROW EXECUTE FUNCTION table4_months()"),
    };
}

} // namespace

QString MonthColumn(int m)
{
    return m == 0 ? QStringLiteral("odd") : QStringLiteral("upto%1").arg(m, 2, 10, QLatin1Char('0'));
}

QString FillCustomerMonths(const QString &also)
{
    return QStringLiteral("INSERT INTO customer_months (year, khid, %1) %2").arg(columns(), CountedCustomerMonths(also));
}

QString CountedCustomerMonths(const QString &also)
{
    QStringList sums;
    for (int m = 0; m < kMonthColumns; ++m)
        sums << QStringLiteral("sum(%1)").arg(inMonth(QString(), m));
    return QStringLiteral("SELECT substr(s1, 1, 4) AS year, khid, %1 FROM table4 "
                          "WHERE s1 IS NOT NULL AND khid IS NOT NULL%2 GROUP BY substr(s1, 1, 4), khid")
        .arg(sums.join(QStringLiteral(", ")), also.isEmpty() ? QString() : QStringLiteral(" AND ") + also);
}

Status AddCustomerMonths(Connection &c, const PartDone &partDone)
{
    const QStringList sql = c.onServer() ? serverStatements() : fileStatements();
    if (Status s = c.exec(sql.first()); !s)
        return s;
    // The count is nearly all of the time: it runs in parts of the customer numbers, each
    // found by the index on (khid, s1), so that the progress moves.
    auto range = c.run(QStringLiteral("SELECT min(khid), max(khid) FROM table4"));
    if (!range)
        return range.status();
    const bool any = range.value().next() && !range.value().value(0).isNull();
    const qint64 low = any ? range.value().value(0).toLongLong() : 0, high = any ? range.value().value(1).toLongLong() : -1;
    // Offsets from the lowest number, unsigned: any two 64-bit numbers are that far apart.
    constexpr quint64 kParts = 10;
    const quint64 span = quint64(high) - quint64(low), width = span / kParts + 1;
    for (quint64 part = 0; any && part < kParts && part * width <= span; ++part) {
        if (partDone)
            partDone(int(part), int(kParts) + 1);
        const quint64 first = part * width, last = std::min(span, first + (width - 1));
        if (Status s = c.exec(FillCustomerMonths(QStringLiteral("khid >= ? AND khid <= ?")),
                              {qint64(quint64(low) + first), qint64(quint64(low) + last)});
            !s)
            return s;
    }
    if (partDone)
        partDone(kParts, kParts + 1);
    for (qsizetype i = 1; i < sql.size(); ++i) {
        if (Status s = c.exec(sql.at(i)); !s)
            return s;
    }
    return {};
}

} // namespace db
