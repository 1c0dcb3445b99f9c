#include "data/store/figures.h"

#include <QStringList>

#include "data/store/connection.h"

namespace db {
namespace {

// What one row of a table adds to the figures; a trigger adds the new row's part and takes
// away the old row's. %1 is the row (NEW or OLD).
const char *const kRentalJoins[] = {
    R"(INSERT INTO shop_days (day, rentals) SELECT substr(%1.s1, 1, 10), 1 WHERE %1.s1 IS NOT NULL
        ON CONFLICT (day) DO UPDATE SET rentals = rentals + 1)",
    R"(INSERT INTO shop_days (day, returns) SELECT substr(%1.s3, 1, 10), 1 WHERE %1.s3 IS NOT NULL
        ON CONFLICT (day) DO UPDATE SET returns = returns + 1)",
    R"(INSERT INTO title_counts (per, span, title, n) SELECT 1, substr(%1.s1, 1, 10), %1.discname, 1
        WHERE %1.s1 IS NOT NULL AND %1.discname IS NOT NULL ON CONFLICT (per, span, title) DO UPDATE SET n = n + 1)",
    R"(INSERT INTO title_counts (per, span, title, n) SELECT 2, substr(%1.s1, 1, 7), %1.discname, 1
        WHERE %1.s1 IS NOT NULL AND %1.discname IS NOT NULL ON CONFLICT (per, span, title) DO UPDATE SET n = n + 1)",
    R"(INSERT INTO customer_rentals (khid, n) SELECT %1.khid, 1 WHERE %1.khid IS NOT NULL
        ON CONFLICT (khid) DO UPDATE SET n = n + 1)",
};
const char *const kRentalLeaves[] = {
    "UPDATE shop_days SET rentals = rentals - 1 WHERE day = substr(%1.s1, 1, 10)",
    "UPDATE shop_days SET returns = returns - 1 WHERE day = substr(%1.s3, 1, 10)",
    "UPDATE title_counts SET n = n - 1 WHERE per = 1 AND span = substr(%1.s1, 1, 10) AND title = %1.discname",
    "UPDATE title_counts SET n = n - 1 WHERE per = 2 AND span = substr(%1.s1, 1, 7) AND title = %1.discname",
    "UPDATE customer_rentals SET n = n - 1 WHERE khid = %1.khid",
};
// A deposit is held while the customer is named and it is above 0.
const char *const kDepositJoins[] = {
    R"(INSERT INTO shop_days (day, held) SELECT coalesce(substr(%1.s5, 1, 10), ''), CAST(round(%1.t4 * 100) AS BIGINT)
        WHERE %1.t1 IS NOT NULL AND %1.t4 > 0 ON CONFLICT (day) DO UPDATE SET held = held + excluded.held)",
};
const char *const kDepositLeaves[] = {
    R"(UPDATE shop_days SET held = held - CAST(round(%1.t4 * 100) AS BIGINT)
        WHERE day = coalesce(substr(%1.s5, 1, 10), '') AND %1.t1 IS NOT NULL AND %1.t4 > 0)",
};
const char *const kRefundJoins[] = {
    R"(INSERT INTO shop_days (day, taken_back) SELECT coalesce(substr(%1.s2, 1, 10), ''),
        coalesce(CAST(round(%1.s1 * 100) AS BIGINT), 0) WHERE 1
        ON CONFLICT (day) DO UPDATE SET taken_back = taken_back + excluded.taken_back)",
    R"(INSERT INTO shop_days (day, refunded) SELECT substr(%1.s3, 1, 10), coalesce(CAST(round(%1.s1 * 100) AS BIGINT), 0)
        WHERE %1.s3 IS NOT NULL ON CONFLICT (day) DO UPDATE SET refunded = refunded + excluded.refunded)",
};
const char *const kRefundLeaves[] = {
    R"(UPDATE shop_days SET taken_back = taken_back - coalesce(CAST(round(%1.s1 * 100) AS BIGINT), 0)
        WHERE day = coalesce(substr(%1.s2, 1, 10), ''))",
    R"(UPDATE shop_days SET refunded = refunded - coalesce(CAST(round(%1.s1 * 100) AS BIGINT), 0)
        WHERE day = substr(%1.s3, 1, 10))",
};

template <size_t J, size_t L>
struct Keeper
{
    const char *table;
    const char *columns;  // the columns the figures read
    const char *changed;  // WHEN of the update trigger
    const char *const (&joins)[J];
    const char *const (&leaves)[L];
};

template <size_t N>
QString body(const char *const (&statements)[N], const char *row)
{
    QStringList out;
    for (const char *s : statements)
        out << QString::fromUtf8(s).arg(QLatin1String(row)) + QLatin1Char(';');
    return out.join(QLatin1Char('\n'));
}

template <size_t J, size_t L>
Status createTriggers(Connection &c, const Keeper<J, L> &k)
{
    const QString t = QLatin1String(k.table);
    const QStringList sql = {
        QStringLiteral("CREATE TRIGGER %1_figures_insert AFTER INSERT ON %1 BEGIN\n%2\nEND").arg(t, body(k.joins, "NEW")),
        QStringLiteral("CREATE TRIGGER %1_figures_delete AFTER DELETE ON %1 BEGIN\n%2\nEND").arg(t, body(k.leaves, "OLD")),
        QStringLiteral("CREATE TRIGGER %1_figures_update AFTER UPDATE OF %2 ON %1 WHEN %3 BEGIN\n%4\n%5\nEND")
            .arg(t, QLatin1String(k.columns), QLatin1String(k.changed), body(k.leaves, "OLD"), body(k.joins, "NEW")),
    };
    for (const QString &s : sql) {
        if (Status st = c.exec(s); !st)
            return st;
    }
    return {};
}

} // namespace

QStringList FillShopFigures()
{
    return {QStringLiteral("INSERT INTO shop_days (day, rentals, returns, held, taken_back, refunded) ") + CountedShopDays(),
            QStringLiteral("INSERT INTO title_counts (per, span, title, n) ") + CountedTitleCounts(),
            QStringLiteral("INSERT INTO customer_rentals (khid, n) ") + CountedCustomerRentals()};
}

QString CountedShopDays()
{
    return QStringLiteral(R"(
        SELECT day, sum(rentals), sum(returns), sum(held), sum(taken_back), sum(refunded) FROM (
          SELECT substr(s1, 1, 10) AS day, 1 AS rentals, 0 AS returns, 0 AS held, 0 AS taken_back, 0 AS refunded
            FROM table4 WHERE s1 IS NOT NULL
          UNION ALL SELECT substr(s3, 1, 10), 0, 1, 0, 0, 0 FROM table4 WHERE s3 IS NOT NULL
          UNION ALL SELECT coalesce(substr(s5, 1, 10), ''), 0, 0, CAST(round(t4 * 100) AS BIGINT), 0, 0
            FROM table2 WHERE t1 IS NOT NULL AND t4 > 0
          UNION ALL SELECT coalesce(substr(s2, 1, 10), ''), 0, 0, 0, coalesce(CAST(round(s1 * 100) AS BIGINT), 0), 0
            FROM table6
          UNION ALL SELECT substr(s3, 1, 10), 0, 0, 0, 0, coalesce(CAST(round(s1 * 100) AS BIGINT), 0)
            FROM table6 WHERE s3 IS NOT NULL) AS f
        GROUP BY day)");
}

QString CountedTitleCounts()
{
    return QStringLiteral(R"(
        SELECT 1 AS per, substr(s1, 1, 10) AS span, discname AS title, count(*) AS n FROM table4
          WHERE s1 IS NOT NULL AND discname IS NOT NULL GROUP BY 2, 3
        UNION ALL
        SELECT 2, substr(s1, 1, 7), discname, count(*) FROM table4
          WHERE s1 IS NOT NULL AND discname IS NOT NULL GROUP BY 2, 3)");
}

QString CountedCustomerRentals()
{
    return QStringLiteral("SELECT khid, count(*) AS n FROM table4 WHERE khid IS NOT NULL GROUP BY khid");
}

Status AddShopFigures(Connection &c, const PartDone &partDone)
{
    QStringList sql = {
        QStringLiteral(R"(CREATE TABLE shop_days (
            day TEXT PRIMARY KEY, rentals INTEGER NOT NULL DEFAULT 0, returns INTEGER NOT NULL DEFAULT 0,
            held INTEGER NOT NULL DEFAULT 0, taken_back INTEGER NOT NULL DEFAULT 0,
            refunded INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID)"),
        QStringLiteral(R"(CREATE TABLE title_counts (
            per INTEGER NOT NULL, span TEXT NOT NULL, title TEXT NOT NULL COLLATE NOCASE, n INTEGER NOT NULL,
            PRIMARY KEY (per, span, title)) WITHOUT ROWID)"),
        QStringLiteral("CREATE TABLE customer_rentals (khid INTEGER PRIMARY KEY, n INTEGER NOT NULL)"),
    };
    sql << FillShopFigures();
    sql << QStringList{
        QStringLiteral("CREATE INDEX customer_rentals_most ON customer_rentals(n, khid)"),
        // The customers of a short period are counted from its rentals; the discs out are
        // grouped by the day they went out.
        QStringLiteral("CREATE INDEX table4_rented ON table4(s1, khid)"),
        QStringLiteral("CREATE INDEX table1_out_since ON table1(substr(s1, 1, 10)) WHERE t13 IS NOT NULL AND s3 IS NOT NULL"),
    };
    // Each statement reads every rental record once or so: the parts take about as long.
    for (qsizetype i = 0; i < sql.size(); ++i) {
        if (partDone)
            partDone(int(i), int(sql.size()));
        if (Status s = c.exec(sql.at(i)); !s)
            return s;
    }
    if (Status s = createTriggers(c, Keeper<5, 5>{"table4", "s1, s3, discname, khid",
                                                   "OLD.s1 IS NOT NEW.s1 OR OLD.s3 IS NOT NEW.s3 OR "
                                                   "OLD.discname IS NOT NEW.discname OR OLD.khid IS NOT NEW.khid",
                                                   kRentalJoins, kRentalLeaves});
        !s)
        return s;
    if (Status s = createTriggers(c, Keeper<1, 1>{"table2", "t1, t4, s5",
                                                   "(OLD.t1 IS NULL) <> (NEW.t1 IS NULL) OR OLD.t4 IS NOT NEW.t4 "
                                                   "OR OLD.s5 IS NOT NEW.s5",
                                                   kDepositJoins, kDepositLeaves});
        !s)
        return s;
    return createTriggers(c, Keeper<2, 2>{"table6", "s1, s2, s3",
                                          "OLD.s1 IS NOT NEW.s1 OR OLD.s2 IS NOT NEW.s2 OR OLD.s3 IS NOT NEW.s3",
                                          kRefundJoins, kRefundLeaves});
}

} // namespace db
