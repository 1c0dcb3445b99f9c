#include "data/safety/invariants.h"

#include <QHash>
#include <QSqlQuery>
#include <QSqlRecord>

#include "data/store/connection.h"
#include "data/store/serverschema.h"
#include "data/search/customerindex.h"
#include "data/search/discindex.h"
#include "data/store/customermonths.h"
#include "data/store/figures.h"
#include "data/store/formatting.h"
#include "data/shop/lookuplists.h"

namespace db {
namespace {

// A badly damaged file could breach a rule on every row; the first ones tell the story.
constexpr int kMaxPerRule = 200;

QString text(const QVariant &v)
{
    return v.isNull() ? QStringLiteral("（空）") : v.toString();
}

QString number(const QVariant &v)
{
    return v.isNull() ? QStringLiteral("（空）") : FormatRecordNumber(v.toLongLong());
}

QString disc(const QVariant &id, const QVariant &title)
{
    return QStringLiteral("碟片 %1《%2》").arg(number(id), text(title));
}

Status rows(Connection &c, const QString &sql, QList<QVariantList> &out)
{
    auto q = c.run(sql);
    if (!q)
        return q.status();
    while (q.value().next()) {
        QVariantList row;
        const int n = q.value().record().count();
        for (int i = 0; i < n; ++i)
            row << q.value().value(i);
        out << row;
    }
    return {};
}

// A disc marked out has exactly one open rental record, under its title and rental date.
QString describeDiscOut(const QVariantList &r)
{
    const QVariant &id = r[0], &title = r[1], &customer = r[2], &date = r[3];
    const qint64 open = r[4].toLongLong(), matching = r[5].toLongLong();
    if (title.isNull())
        return QStringLiteral("空位 %1 标记为出租（租给“%2”），却不是碟片。").arg(number(id), text(customer));
    const QString head = QStringLiteral("%1标记为出租（租给“%2”，租碟日期 %3）").arg(disc(id, title), text(customer), text(date));
    if (open == 0)
        return head + QStringLiteral("，却没有未还的租碟记录。");
    if (open > 1)
        return head + QStringLiteral("，却有 %1 条未还的租碟记录（应为 1 条）。").arg(open);
    if (matching == 0)
        return head + QStringLiteral("，其未还租碟记录的租碟日期却是 %1。").arg(text(r[6]));
    return head + QStringLiteral("，租碟记录不符。");
}

// An open rental record belongs to a disc marked out to the customer it names.
QString describeOpenRecord(const QVariantList &r)
{
    const QVariant &record = r[0], &discId = r[1], &discName = r[2], &customer = r[3], &date = r[4];
    const QString head = QStringLiteral("未还的租碟记录 %1（%2，客户 %3，租碟日期 %4）")
                             .arg(text(record), disc(discId, discName), number(customer), text(date));
    const bool hasDisc = r[5].toBool(), hasCustomer = r[8].toBool();
    const QVariant &title = r[6], &rentedTo = r[7], &name = r[9];
    if (!hasDisc)
        return head + QStringLiteral("指向的碟片位不存在。");
    if (title.isNull())
        return head + QStringLiteral("指向的碟片位已空。");
    if (title.toString().compare(discName.toString(), Qt::CaseInsensitive) != 0)
        return head + QStringLiteral("，碟片 %1 现在却是《%2》。").arg(number(discId), text(title));
    if (rentedTo.isNull())
        return head + QStringLiteral("，该碟片却没有标记为出租。");
    if (!hasCustomer)
        return head + QStringLiteral("，客户 %1 却不存在。").arg(number(customer));
    return head + QStringLiteral("，碟片却租给了“%1”，而客户 %2 是“%3”。").arg(text(rentedTo), number(customer), text(name));
}

QString describeSettled(const QVariantList &r)
{
    return QStringLiteral("客户 %1“%2”标记为已还清（%3），却还有 %4 条未还的租碟记录（记录 %5）。")
        .arg(number(r[0]), text(r[1]), text(r[2]), r[3].toString(), r[4].toString());
}

QString describeBlock(const QVariantList &r)
{
    const qint64 list = r[0].toLongLong(), block = r[1].toLongLong();
    const QString name = list == 1 ? QStringLiteral("全部碟片") : QStringLiteral("未还碟片");
    const qint64 first = block << 10;
    return QStringLiteral("%1计数第 %2 块（碟片编号 %3–%4）记为 %5 张，实际为 %6 张。")
        .arg(name)
        .arg(block)
        .arg(FormatRecordNumber(first), FormatRecordNumber(first + 1023))
        .arg(r[2].toLongLong())
        .arg(r[3].toLongLong());
}

Status findCounterBreaches(Connection &c, QStringList &out)
{
    QList<QVariantList> found;
    if (Status s = rows(c, QStringLiteral(
            "SELECT c.discs, (SELECT count(*) FROM table1 WHERE t13 IS NOT NULL), "
            "c.discs_out, (SELECT count(*) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NOT NULL) "
            "FROM list_counts c WHERE c.id = 1"), found);
        !s)
        return s;
    if (found.isEmpty()) {
        out << QStringLiteral("计数表 list_counts 缺少它唯一的一行。");
        return {};
    }
    const QVariantList &r = found.first();
    if (r[0].toLongLong() != r[1].toLongLong())
        out << QStringLiteral("碟片总数记为 %1 张（list_counts.discs），实际为 %2 张。").arg(r[0].toLongLong()).arg(r[1].toLongLong());
    if (r[2].toLongLong() != r[3].toLongLong())
        out << QStringLiteral("出租中的碟片记为 %1 张（list_counts.discs_out），实际为 %2 张。").arg(r[2].toLongLong()).arg(r[3].toLongLong());
    return {};
}

Status findCustomerCounterBreaches(Connection &c, QStringList &out)
{
    QList<QVariantList> found;
    if (Status s = rows(c, QStringLiteral(
            "SELECT c.customers, (SELECT count(*) FROM table2 WHERE t1 IS NOT NULL), "
            "c.customers_out, (SELECT count(*) FROM table2 WHERE t1 IS NOT NULL AND s3 IS NULL AND s2 > 0) "
            "FROM list_counts c WHERE c.id = 1"), found);
        !s)
        return s;
    if (found.isEmpty())
        return {}; // the disc counters say the row is missing
    const QVariantList &r = found.first();
    if (r[0].toLongLong() != r[1].toLongLong())
        out << QStringLiteral("客户总数记为 %1 位（list_counts.customers），实际为 %2 位。").arg(r[0].toLongLong()).arg(r[1].toLongLong());
    if (r[2].toLongLong() != r[3].toLongLong())
        out << QStringLiteral("未还清的客户记为 %1 位（list_counts.customers_out），实际为 %2 位。").arg(r[2].toLongLong()).arg(r[3].toLongLong());
    return {};
}

QString describeCustomerDay(const QVariantList &r)
{
    const QString list = r[0].toLongLong() == 1 ? QStringLiteral("全部客户") : QStringLiteral("未还清客户");
    const QString day = r[1].toString().isEmpty() ? QStringLiteral("从未租碟的") : QStringLiteral("租碟日期为 %1 的").arg(r[1].toString());
    return QStringLiteral("%1按日计数（customer_days）中%2客户记为 %3 位，实际为 %4 位。")
        .arg(list, day)
        .arg(r[2].toLongLong())
        .arg(r[3].toLongLong());
}

QString customer(const QVariant &id, const QVariant &name)
{
    return QStringLiteral("客户 %1“%2”").arg(number(id), text(name));
}

// Two entries of one list that the shop keeper cannot tell apart: the same text once the
// blanks around it are removed (the lists show values trimmed), compared the way add-if-new
// compares (card types without regard to letter case). Blank values are not entries.
Status findLookupDuplicates(Connection &c, QStringList &out)
{
    for (Lookup which : AllLookups) {
        const QString col = LookupColumn(which);
        QList<QVariantList> values;
        if (Status s = rows(c, QStringLiteral("SELECT id, %1 FROM table3 WHERE %1 IS NOT NULL ORDER BY id").arg(col), values); !s)
            return s;
        QHash<QString, QList<qint64>> seen;
        QHash<QString, QString> shown; // the text as first stored
        QStringList order;
        for (const QVariantList &v : values) {
            const QString value = v[1].toString().trimmed();
            if (value.isEmpty())
                continue;
            const QString key = LookupCase(which) == Qt::CaseInsensitive ? value.toCaseFolded() : value;
            if (!seen.contains(key)) {
                order << key;
                shown.insert(key, value);
            }
            seen[key] << v[0].toLongLong();
        }
        for (const QString &key : std::as_const(order)) {
            const QList<qint64> &ids = seen[key];
            if (ids.size() < 2)
                continue;
            QStringList idText;
            for (qint64 id : ids)
                idText << QString::number(id);
            out << QStringLiteral("选择列表“%1”（table3.%2）中“%3”出现 %4 次（第 %5 行）。")
                       .arg(LookupName(which), col, shown.value(key))
                       .arg(ids.size())
                       .arg(idText.join(QStringLiteral("、")));
        }
    }
    return {};
}

// The kept figures of the statistics (figures.h) against the same figures counted anew.
QString money(const QVariant &cents) { return QString::number(cents.toLongLong() / 100.0, 'f', 2); }

QString describeShopDay(const QVariantList &r)
{
    static const char *const what[][2] = {{"租出", "张"}, {"归还", "张"}, {"在押押金", "元"},
                                          {"当日收取、后已退还的押金", "元"}, {"退还押金", "元"}};
    QStringList wrong;
    for (int i = 0; i < 5; ++i) {
        const QVariant &kept = r[1 + 2 * i], &actual = r[2 + 2 * i];
        if (kept.toLongLong() == actual.toLongLong())
            continue;
        const auto shown = [&](const QVariant &v) {
            return (i >= 2 ? money(v) : QString::number(v.toLongLong())) + QLatin1Char(' ') + QString::fromUtf8(what[i][1]);
        };
        wrong << QStringLiteral("%1 %2，实际为 %3").arg(QString::fromUtf8(what[i][0]), shown(kept), shown(actual));
    }
    const QString day = r[0].toString().isEmpty() ? QStringLiteral("无日期") : r[0].toString();
    return QStringLiteral("营业统计按日数字（shop_days）中 %1 记为%2。").arg(day, wrong.join(QStringLiteral("；")));
}

const QString kShopDaysRule = QStringLiteral(R"(
    WITH actual (day, rentals, returns, held, taken_back, refunded) AS (%1)
    SELECT * FROM (
      SELECT a.day, coalesce(k.rentals, 0) AS kr, a.rentals AS ar, coalesce(k.returns, 0) AS kb, a.returns AS ab,
             coalesce(k.held, 0) AS kh, a.held AS ah, coalesce(k.taken_back, 0) AS kt, a.taken_back AS ta,
             coalesce(k.refunded, 0) AS kf, a.refunded AS af
      FROM actual a LEFT JOIN shop_days k ON k.day = a.day
      UNION ALL
      SELECT k.day, k.rentals, 0, k.returns, 0, k.held, 0, k.taken_back, 0, k.refunded, 0 FROM shop_days k
      WHERE NOT EXISTS (SELECT 1 FROM actual a WHERE a.day = k.day)) AS compared
    WHERE kr <> ar OR kb <> ab OR kh <> ah OR kt <> ta OR kf <> af ORDER BY day)").arg(CountedShopDays());

const QString kTitleCountsRule = QStringLiteral(R"(
    WITH actual (per, span, title, n) AS (%1)
    SELECT * FROM (
      SELECT a.per, a.span, a.title, coalesce(k.n, 0) AS kept, a.n AS actual_n
      FROM actual a LEFT JOIN title_counts k ON k.per = a.per AND k.span = a.span AND k.title = a.title
      UNION ALL
      SELECT k.per, k.span, k.title, k.n, 0 FROM title_counts k
      WHERE NOT EXISTS (SELECT 1 FROM actual a WHERE k.per = a.per AND k.span = a.span AND k.title = a.title)) AS compared
    WHERE kept <> actual_n ORDER BY per, span, title)").arg(CountedTitleCounts());

const QString kCustomerRentalsRule = QStringLiteral(R"(
    WITH actual (khid, n) AS (%1)
    SELECT * FROM (
      SELECT a.khid, coalesce(k.n, 0) AS kept, a.n AS actual_n FROM actual a LEFT JOIN customer_rentals k ON k.khid = a.khid
      UNION ALL
      SELECT k.khid, k.n, 0 FROM customer_rentals k WHERE NOT EXISTS (SELECT 1 FROM actual a WHERE a.khid = k.khid)) AS compared
    WHERE kept <> actual_n ORDER BY khid)").arg(CountedCustomerRentals());

// The kept columns (kept0..kept12) beside the counted ones (actual0..actual12).
QString customerMonthsRule()
{
    QStringList names, kept, counted, zeros, differs;
    for (int m = 0; m < kMonthColumns; ++m) {
        const QString col = MonthColumn(m), k = QStringLiteral("kept%1").arg(m), a = QStringLiteral("actual%1").arg(m);
        names << col;
        kept << QStringLiteral("coalesce(k.%1, 0) AS %2").arg(col, k);
        counted << QStringLiteral("a.%1 AS %2").arg(col, a);
        zeros << QStringLiteral("k.%1").arg(col);
        differs << QStringLiteral("%1 <> %2").arg(k, a);
    }
    QStringList naught(kMonthColumns, QStringLiteral("0"));
    return QStringLiteral(R"(
    WITH actual (year, khid, %1) AS (%2)
    SELECT * FROM (
      SELECT a.year, a.khid, %3, %4
      FROM actual a LEFT JOIN customer_months k ON k.year = a.year AND k.khid = a.khid
      UNION ALL
      SELECT k.year, k.khid, %5, %6 FROM customer_months k
      WHERE NOT EXISTS (SELECT 1 FROM actual a WHERE a.year = k.year AND a.khid = k.khid)) AS compared
    WHERE %7 ORDER BY year, khid)")
        .arg(names.join(QStringLiteral(", ")), CountedCustomerMonths(), kept.join(QStringLiteral(", ")),
             counted.join(QStringLiteral(", ")), zeros.join(QStringLiteral(", ")), naught.join(QStringLiteral(", ")),
             differs.join(QStringLiteral(" OR ")));
}

QString describeCustomerMonths(const QVariantList &r)
{
    QStringList wrong;
    for (int m = 0; m < kMonthColumns; ++m) {
        const qint64 kept = r[2 + m].toLongLong(), actual = r[2 + kMonthColumns + m].toLongLong();
        if (kept != actual)
            wrong << QStringLiteral("%1记为 %2 条，实际为 %3 条")
                         .arg(m == 0 ? QStringLiteral("月份不明的日期") : QStringLiteral("1–%1 月").arg(m))
                         .arg(kept).arg(actual);
    }
    return QStringLiteral("营业统计按客户按月计数（customer_months）中客户 %1 在“%2”年的租碟记录：%3。")
        .arg(number(r[1]), text(r[0]), wrong.join(QStringLiteral("；")));
}

// An index check that a server shop runs from the layout that has the index on.
std::function<Status(Connection &, QStringList &)> serverIndexRule(Status (*check)(Connection &, QStringList &))
{
    return [check](Connection &c, QStringList &out) -> Status {
        if (c.onServer()) {
            auto version = ServerLayoutVersion(c);
            if (!version)
                return version.status();
            if (*version < ServerIndexVersion())
                return {};
        }
        return check(c, out);
    };
}

QList<Invariant> makeInvariants()
{
    return {
        RowInvariant(QStringLiteral("disc-out-has-open-record"), 1, QStringLiteral(R"(
            SELECT id, t13, s3, s1, open, matching, open_date FROM (
              SELECT d.id, d.t13, d.s3, d.s1,
                (SELECT count(*) FROM table4 r WHERE r.discid = d.id AND r.discname = d.t13 AND r.s2 IS NULL) AS open,
                (SELECT count(*) FROM table4 r WHERE r.discid = d.id AND r.discname = d.t13 AND r.s2 IS NULL
                   AND r.s1 = d.s1) AS matching,
                (SELECT r.s1 FROM table4 r WHERE r.discid = d.id AND r.discname = d.t13 AND r.s2 IS NULL
                   ORDER BY r.id DESC LIMIT 1) AS open_date
              FROM table1 d WHERE d.s3 IS NOT NULL) x
            WHERE t13 IS NULL OR open <> 1 OR matching <> 1 ORDER BY id)"),
                     describeDiscOut),
        // The server's text columns compare without regard to letter case by their type.
        RowInvariant(QStringLiteral("open-record-has-disc-out"), 1, QStringLiteral(R"(
            SELECT r.id, r.discid, r.discname, r.khid, r.s1, d.id IS NOT NULL, d.t13, d.s3, k.id IS NOT NULL, k.t1
            FROM table4 r LEFT JOIN table1 d ON d.id = r.discid LEFT JOIN table2 k ON k.id = r.khid
            WHERE r.s2 IS NULL AND (d.id IS NULL OR d.t13 IS NULL OR d.t13 <> r.discname OR d.s3 IS NULL
                OR k.id IS NULL OR k.t1 IS NULL OR k.t1 <> d.s3 %1)
            ORDER BY r.id)"),
                     describeOpenRecord, {"COLLATE NOCASE", ""}),
        {QStringLiteral("disc-counters"), 1, findCounterBreaches},
        RowInvariant(QStringLiteral("disc-blocks"), 1, QStringLiteral(R"(
            WITH actual AS (
              SELECT 1 AS list, id >> 10 AS block, count(*) AS n FROM table1 WHERE t13 IS NOT NULL GROUP BY id >> 10
              UNION ALL
              SELECT 2, id >> 10, count(*) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NOT NULL GROUP BY id >> 10)
            SELECT list, block, kept, actual_n FROM (
              SELECT a.list, a.block, coalesce(b.n, 0) AS kept, a.n AS actual_n
              FROM actual a LEFT JOIN list_blocks b ON b.list = a.list AND b.block = a.block
              UNION ALL
              SELECT b.list, b.block, b.n, 0 FROM list_blocks b
              WHERE NOT EXISTS (SELECT 1 FROM actual a WHERE a.list = b.list AND a.block = b.block)) x
            WHERE kept <> actual_n ORDER BY list, block)"),
                     describeBlock),
        RowInvariant(QStringLiteral("settled-customer-has-no-open-record"), 1, QStringLiteral(R"(
            SELECT k.id, k.t1, k.s3, count(r.id), %1
            FROM table2 k JOIN table4 r ON r.khid = k.id AND r.s2 IS NULL
            WHERE k.s3 IS NOT NULL GROUP BY k.id ORDER BY k.id)"),
                     describeSettled, {"group_concat(r.id, '、')", "string_agg(r.id::text, '、' ORDER BY r.id)"}),
        {QStringLiteral("lookup-no-duplicates"), 1, findLookupDuplicates},
        {QStringLiteral("customer-counters"), 2, findCustomerCounterBreaches},
        RowInvariant(QStringLiteral("customer-days"), 2, QStringLiteral(R"(
            WITH actual AS (
              SELECT 1 AS list, coalesce(s1, '') AS day, count(*) AS n FROM table2 WHERE t1 IS NOT NULL GROUP BY 2
              UNION ALL
              SELECT 2, coalesce(s1, ''), count(*) FROM table2 WHERE t1 IS NOT NULL AND s3 IS NULL AND s2 > 0 GROUP BY 2)
            SELECT list, day, kept, actual_n FROM (
              SELECT a.list, a.day, coalesce(d.n, 0) AS kept, a.n AS actual_n
              FROM actual a LEFT JOIN customer_days d ON d.list = a.list AND d.day = a.day
              UNION ALL
              SELECT d.list, d.day, d.n, 0 FROM customer_days d
              WHERE NOT EXISTS (SELECT 1 FROM actual a WHERE a.list = d.list AND a.day = d.day)) x
            WHERE kept <> actual_n ORDER BY list, day)"),
                     describeCustomerDay),
        // Renting a disc sets its rental date and renter, returning or deleting it clears both.
        RowInvariant(QStringLiteral("disc-rental-date-with-renter"), 1, QStringLiteral(R"(
            SELECT id, t13, s1, s3 FROM table1 WHERE (s1 IS NULL) <> (s3 IS NULL) ORDER BY id)"),
                     [](const QVariantList &r) {
                         const QString which = r[1].isNull() ? QStringLiteral("空位 %1 ").arg(number(r[0])) : disc(r[0], r[1]);
                         return r[2].isNull() ? QStringLiteral("%1租给“%2”，却没有租碟日期。").arg(which, text(r[3]))
                                              : QStringLiteral("%1记有租碟日期 %2，却没有租给谁。").arg(which, text(r[2]));
                     }),
        // Every rental stamps the customer's last rental date; nothing clears it.
        RowInvariant(QStringLiteral("customer-with-records-has-rental-date"), 1, QStringLiteral(R"(
            SELECT k.id, k.t1, count(r.id), min(r.id) FROM table2 k JOIN table4 r ON r.khid = k.id
            WHERE k.s1 IS NULL GROUP BY k.id ORDER BY k.id)"),
                     [](const QVariantList &r) {
                         return QStringLiteral("%1有 %2 条租碟记录（最早为记录 %3），却没有租碟日期。")
                             .arg(customer(r[0], r[1]), r[2].toString(), r[3].toString());
                     }),
        // A deposit date is stored with a deposit and cleared when it is returned.
        RowInvariant(QStringLiteral("deposit-date-with-deposit"), 1, QStringLiteral(R"(
            SELECT id, t1, s5, t4 FROM table2 WHERE s5 IS NOT NULL AND NOT (coalesce(t4, 0) > 0) ORDER BY id)"),
                     [](const QVariantList &r) {
                         return QStringLiteral("%1记有押金日期 %2，押金却是 %3 元。")
                             .arg(customer(r[0], r[1]), text(r[2]), text(r[3]));
                     }),
        // A card date is stored with a card type and cleared when the card is invalidated.
        RowInvariant(QStringLiteral("card-date-with-card"), 1, QStringLiteral(R"(
            SELECT id, t1, s4 FROM table2 WHERE s4 IS NOT NULL AND (t3 IS NULL OR trim(t3) = '') ORDER BY id)"),
                     [](const QVariantList &r) {
                         return QStringLiteral("%1记有办证日期 %2，却没有办证类型。").arg(customer(r[0], r[1]), text(r[2]));
                     }),
        {QStringLiteral("disc-index"), 3, serverIndexRule(CheckDiscIndex)},
        {QStringLiteral("customer-index"), 4, serverIndexRule(CheckCustomerIndex)},
        RowInvariant(QStringLiteral("shop-days"), 7, kShopDaysRule, describeShopDay),
        RowInvariant(QStringLiteral("title-counts"), 7, kTitleCountsRule,
                     [](const QVariantList &r) {
                         const QString span = r[0].toLongLong() == 1 ? r[1].toString() + QLatin1Char(' ')
                                                                     : QStringLiteral("%1（整月）").arg(r[1].toString());
                         return QStringLiteral("营业统计按片名计数（title_counts）中《%1》在 %2记为 %3 次，实际为 %4 次。")
                             .arg(text(r[2]), span, r[3].toString(), r[4].toString());
                     }),
        RowInvariant(QStringLiteral("customer-rentals"), 7, kCustomerRentalsRule,
                     [](const QVariantList &r) {
                         return QStringLiteral("营业统计按客户计数（customer_rentals）中客户 %1 的租碟记录记为 %2 条，实际为 %3 条。")
                             .arg(number(r[0]), r[1].toString(), r[2].toString());
                     }),
        RowInvariant(QStringLiteral("customer-months"), 8, customerMonthsRule(), describeCustomerMonths),
    };
}

} // namespace

Invariant RowInvariant(const QString &name, int sinceVersion, const QString &sql,
                       std::function<QString(const QVariantList &row)> describe, EngineText differs)
{
    return {name, sinceVersion, [sql, describe, differs](Connection &c, QStringList &out) -> Status {
                auto q = c.run(differs.file ? sql.arg(c.pick(differs.file, differs.server)) : sql);
                if (!q)
                    return q.status();
                qint64 more = 0;
                int found = 0;
                while (q.value().next()) {
                    if (found >= kMaxPerRule) {
                        ++more;
                        continue;
                    }
                    QVariantList row;
                    const int n = q.value().record().count();
                    for (int i = 0; i < n; ++i)
                        row << q.value().value(i);
                    out << describe(row);
                    ++found;
                }
                if (more > 0)
                    out << QStringLiteral("……另有 %1 处同类问题。").arg(more);
                return {};
            }};
}

namespace {

// The server keeps its own pages whole; the shop's rules are what is left to check. Its
// layout counts its own steps, and its first holds everything the file's rules read.
Result<CheckReport> checkServer(Connection &c)
{
    auto version = ServerLayoutVersion(c);
    if (!version)
        return version.status();
    if (*version == ServerLayout::Empty)
        return Status::failure(QStringLiteral("数据库中还没有店铺数据。\n（%1）").arg(c.path()), Fault::Missing);
    if (*version == ServerLayout::Foreign)
        return Status::failure(QStringLiteral("数据库中存放的是别的内容，不是本程序的数据。\n（%1）").arg(c.path()),
                               Fault::Damaged);
    CheckReport report;
    report.version = *version;
    for (const Invariant &rule : Invariants()) {
        if (!rule.onServer)
            continue;
        QStringList found;
        if (Status s = rule.find(c, found); !s)
            found << QStringLiteral("无法检查“%1”：%2").arg(rule.name, s.error());
        for (const QString &f : std::as_const(found))
            report.breaches << qMakePair(rule.name, f);
    }
    return report;
}

} // namespace

const QList<Invariant> &Invariants()
{
    static const QList<Invariant> all = makeInvariants();
    return all;
}

QStringList CheckReport::lines() const
{
    QStringList out;
    for (const QString &i : integrity)
        out << QStringLiteral("完整性检查：%1").arg(i);
    for (const auto &b : breaches)
        out << b.second;
    return out;
}

namespace {

// What a rule checks, in words for the progress dialog; a rule not named here shows its name.
QString ruleTitle(const QString &name)
{
    static const QHash<QString, QString> titles = {
        {QStringLiteral("disc-out-has-open-record"), QStringLiteral("出租的碟片都有未还的租碟记录")},
        {QStringLiteral("open-record-has-disc-out"), QStringLiteral("未还的租碟记录都有出租的碟片")},
        {QStringLiteral("disc-counters"), QStringLiteral("碟片列表的计数")},
        {QStringLiteral("disc-blocks"), QStringLiteral("碟片列表的分段计数")},
        {QStringLiteral("settled-customer-has-no-open-record"), QStringLiteral("还清的客户没有未还的碟片")},
        {QStringLiteral("lookup-no-duplicates"), QStringLiteral("选择列表没有重复的值")},
        {QStringLiteral("customer-counters"), QStringLiteral("客户列表的计数")},
        {QStringLiteral("customer-days"), QStringLiteral("每天的客户数")},
        {QStringLiteral("disc-rental-date-with-renter"), QStringLiteral("碟片的租碟日期与租给谁")},
        {QStringLiteral("customer-with-records-has-rental-date"), QStringLiteral("有租碟记录的客户都有租碟日期")},
        {QStringLiteral("deposit-date-with-deposit"), QStringLiteral("押金日期与押金")},
        {QStringLiteral("card-date-with-card"), QStringLiteral("办证日期与办证类型")},
        {QStringLiteral("disc-index"), QStringLiteral("碟片搜索索引")},
        {QStringLiteral("customer-index"), QStringLiteral("客户搜索索引")},
        {QStringLiteral("shop-days"), QStringLiteral("营业统计的每日数字")},
        {QStringLiteral("title-counts"), QStringLiteral("营业统计的片名计数")},
        {QStringLiteral("customer-rentals"), QStringLiteral("营业统计的客户计数")},
        {QStringLiteral("customer-months"), QStringLiteral("营业统计的客户按月计数")},
    };
    return titles.value(name, name);
}

} // namespace

QString CheckCancelled()
{
    return QStringLiteral("检查已取消。");
}

Result<CheckReport> CheckFile(Connection &c, Progress &progress)
{
    if (!c.ok())
        return c.status();
    if (c.onServer())
        return checkServer(c);
    CheckReport report;
    auto version = c.scalar(QStringLiteral("PRAGMA user_version"));
    if (!version)
        return version.status();
    report.version = version->toInt();
    qint64 steps = 1;
    for (const Invariant &rule : Invariants())
        steps += rule.sinceVersion <= report.version ? 1 : 0;
    qint64 step = 0;
    // One step is the integrity check, then one per rule; each is told before it runs.
    const auto tell = [&](const QString &what) {
        progress.stage(QStringLiteral("（%1/%2）%3").arg(step + 1).arg(steps).arg(what), steps);
        return progress.advance(step++);
    };
    if (!tell(QStringLiteral("正在检查数据文件的完整性…")))
        return Status::failure(CheckCancelled());
    auto q = c.run(QStringLiteral("PRAGMA integrity_check"));
    if (!q)
        return q.status();
    while (q.value().next()) {
        const QString line = q.value().value(0).toString();
        if (line != QLatin1String("ok"))
            report.integrity << line;
    }
    q.value().finish();
    for (const Invariant &rule : Invariants()) {
        if (rule.sinceVersion > report.version)
            continue;
        if (!tell(QStringLiteral("正在检查：%1").arg(ruleTitle(rule.name))))
            return Status::failure(CheckCancelled());
        QStringList found;
        if (Status s = rule.find(c, found); !s)
            found << QStringLiteral("无法检查“%1”：%2").arg(rule.name, s.error());
        for (const QString &f : std::as_const(found))
            report.breaches << qMakePair(rule.name, f);
    }
    progress.advance(step);
    return report;
}

Result<CheckReport> CheckFile(const QString &path, Progress &progress)
{
    Connection c(path, Connection::Mode::Inspect);
    return CheckFile(c, progress);
}

Result<CheckReport> CheckServerShop(const ServerShop &shop)
{
    Connection c(shop, Connection::Mode::Inspect);
    return CheckFile(c);
}

} // namespace db
