// The customer query as data: typed dates and their boxes, the date-box digit check, the
// criteria text, which customers each criterion selects and in what order, paging over a
// larger result, and a file of the first release.
#include <QTest>

#include "data/shop/customerchecks.h"
#include "data/shop/customerquery.h"
#include "data/store/dates.h"
#include "data/store/pagedquery.h"
#include "data/store/schema.h"

#include "support/programfolder.h"

using testsupport::ProgramFolder;

Q_DECLARE_METATYPE(std::optional<QDate>)

namespace {

using Ids = QList<qint64>;

QList<qint64> idsOf(const db::Page &p)
{
    QList<qint64> ids;
    for (const QVariantList &r : p.rows)
        ids << r.first().toLongLong();
    return ids;
}

// Every page of a query, read as a list window reads them: one reader, forward.
Ids wholeList(const db::PagedQuery &q, qint64 *count = nullptr)
{
    db::PageReader reader;
    auto first = reader.read(q, 1, 30);
    if (!first)
        return {-1};
    if (count)
        *count = first->recordCount;
    Ids all = idsOf(*first);
    for (qint64 page = 2; page <= first->pageCount; ++page) {
        auto p = reader.read(q, page, 30);
        if (!p)
            return {-1};
        all += idsOf(*p);
    }
    return all;
}

// A small shop whose customers differ in each criterion.
void addFixture(const ProgramFolder &f)
{
    f.exec(QStringLiteral(
        "INSERT INTO table2 (id, t1, t2, t3, s1, s2) VALUES "
        "(1, '张三', '11010519850203001X', '金卡', '2005-02-03', 1), "
        "(2, '张三丰', '110105198502030022', '银卡', '2005-02-10', 2), "
        "(3, 'Li Si', '110105198502030033', '金卡', '2005-03-01', 1), "
        "(4, '50%_off', '110105198502030044', 'Gold', '2005-01-31', 1), "
        "(5, '李四', '110105198502030055', 'gold', NULL, 0), "
        "(6, NULL, '11010519850203001X', '金卡', '2005-02-03', 0), "
        "(7, '王五', '110105198502030077', NULL, '2005-02-03', 3), "
        "(5000000001, 'ZHANG San', '110105198502030088', '银卡', '2006-01-01', 1)"));
}

} // namespace

class TestCustomerSearch : public QObject
{
    Q_OBJECT
private slots:
    void typedDates_data();
    void typedDates();
    void datePartCheck_data();
    void datePartCheck();
    void criteriaText_data();
    void criteriaText();
    void selectedCustomers_data();
    void selectedCustomers();
    void pagingAgreesWithThePlainStatement_data();
    void pagingAgreesWithThePlainStatement();
    void cardTypeCountsFollowEveryWrite_data();
    void cardTypeCountsFollowEveryWrite();
    void firstReleaseFileIsSearched();
};

void TestCustomerSearch::typedDates_data()
{
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("day");
    QTest::addColumn<QDate>("date"); // invalid when refused
    QTest::addColumn<int>("wrong");  // DatePart, -1 when the date exists
    const QDate no;
    const int Y = int(db::DatePart::Year), M = int(db::DatePart::Month), D = int(db::DatePart::Day);
    QTest::newRow("2000-2-29, a leap year") << "2000" << "2" << "29" << QDate(2000, 2, 29) << -1;
    QTest::newRow("2001-2-29 rolls into March") << "2001" << "2" << "29" << no << D;
    QTest::newRow("2005-2-30") << "2005" << "2" << "30" << no << D;
    QTest::newRow("2005-4-31") << "2005" << "4" << "31" << no << D;
    QTest::newRow("2005-13-1 rolls into the next year") << "2005" << "13" << "1" << no << M;
    QTest::newRow("month 0 is December before") << "2005" << "0" << "1" << no << M;
    QTest::newRow("day 0 is the last day before") << "2005" << "3" << "0" << no << D;
    QTest::newRow("day 32") << "2005" << "1" << "32" << no << D;
    QTest::newRow("blanks around") << " 2005 " << " 2" << "3 " << QDate(2005, 2, 3) << -1;
    QTest::newRow("leading zeros") << "02005" << "02" << "03" << QDate(2005, 2, 3) << -1;
    QTest::newRow("last day of 9999") << "9999" << "12" << "31" << QDate(9999, 12, 31) << -1;
    QTest::newRow("year 99999, too large") << "99999" << "1" << "1" << no << Y;
    QTest::newRow("month 99999, too large") << "2005" << "99999" << "1" << no << M;
    QTest::newRow("day 99999, too large") << "2005" << "1" << "99999" << no << D;
    QTest::newRow("day 32767 composes far on") << "2005" << "1" << "32767" << no << D;
    QTest::newRow("day 32768") << "2005" << "1" << "32768" << no << D;
    QTest::newRow("year 0") << "0" << "1" << "1" << no << Y;
    QTest::newRow("year 10000") << "10000" << "1" << "1" << no << Y;
    QTest::newRow("full-width digits") << "２００５" << "1" << "1" << no << Y;
    QTest::newRow("minus") << "2005" << "-1" << "1" << no << M;
    QTest::newRow("letter") << "2005" << "1" << "1a" << no << D;
}

void TestCustomerSearch::typedDates()
{
    QFETCH(QString, year);
    QFETCH(QString, month);
    QFETCH(QString, day);
    QFETCH(QDate, date);
    QFETCH(int, wrong);
    const db::TypedDate t = db::ComposeTypedDate(year, month, day);
    QCOMPARE(t.wrong.has_value(), wrong >= 0);
    if (wrong >= 0)
        QCOMPARE(int(*t.wrong), wrong);
    else
        QCOMPARE(t.date, date);
}

void TestCustomerSearch::datePartCheck_data()
{
    QTest::addColumn<int>("part");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString hint = QStringLiteral("\r\n不填请保持空格。");
    const int Y = int(db::DatePart::Year), M = int(db::DatePart::Month), D = int(db::DatePart::Day);
    QTest::newRow("year digits") << Y << "2005" << QString();
    QTest::newRow("year with blanks") << Y << " 2005 " << QString();
    QTest::newRow("year, full-width digit") << Y << "２００５" << "年请填入数字，如2000！" + hint;
    QTest::newRow("year, letter O") << Y << "2OO5" << "年请填入填入数字，如1980！" + hint;
    QTest::newRow("year, minus") << Y << "-2005" << "年请填入数字，如2000！" + hint;
    QTest::newRow("month, full-width digit") << M << "２" << "月请填入数字，如2！" + hint;
    QTest::newRow("month, letter") << M << "a" << "月请填入填入数字，如2！" + hint;
    QTest::newRow("month, full-width letter") << M << "ａ" << "月请填入数字，如2！" + hint;
    QTest::newRow("month, Chinese") << M << "二月" << "月请填入数字，如2！" + hint;
    QTest::newRow("month, colon above 9") << M << "1:" << "月请填入填入数字，如2！" + hint;
    QTest::newRow("day, blank inside") << D << "1 6" << "日请填入数字，如16！" + hint;
    QTest::newRow("day, letter after digits") << D << "16b" << "日请填入填入数字，如16！" + hint;
    QTest::newRow("day, first offender decides") << D << "1-b" << "日请填入数字，如16！" + hint;
    QTest::newRow("day empty") << D << "" << QString();
}

void TestCustomerSearch::datePartCheck()
{
    QFETCH(int, part);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QCOMPARE(db::DatePartProblem(db::DatePart(part), text), message);
}

void TestCustomerSearch::criteriaText_data()
{
    QTest::addColumn<QStringList>("typed"); // card, name, type, from y m d, to y m d
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cardType");
    QTest::addColumn<std::optional<QDate>>("from");
    QTest::addColumn<std::optional<QDate>>("to");
    const std::optional<QDate> none;
    QTest::newRow("nothing") << QStringList{"", "", "", "", "", "", "", "", ""} << "@@@@@@@@@--@@@--" << ""
                             << "" << "" << none << none;
    QTest::newRow("trimmed, one-sided date")
        << QStringList{" 110105 ", " 张 ", " 金卡 ", " 2005", "2 ", " 3 ", "", "", ""}
        << "110105@@@张@@@金卡@@@2005-2-3@@@--" << "110105" << "张" << "金卡" << std::optional(QDate(2005, 2, 3)) << none;
    QTest::newRow("both dates") << QStringList{"", "", "", "2005", "1", "1", "2005", "12", "31"}
                                << "@@@@@@@@@2005-1-1@@@2005-12-31" << "" << "" << "" << std::optional(QDate(2005, 1, 1))
                                << std::optional(QDate(2005, 12, 31));
    QTest::newRow("a name holding the separator")
        << QStringList{"", "a@@@b", "", "", "", "", "2005", "2", "3"} << "@@@a@@@b@@@@@@--@@@2005-2-3" << "" << "a@@@b"
        << "" << none << std::optional(QDate(2005, 2, 3));
    QTest::newRow("a date that does not exist selects nobody")
        << QStringList{"", "", "", "2001", "2", "29", "", "", ""} << "@@@@@@@@@2001-2-29@@@--" << "" << "" << ""
        << std::optional(QDate()) << none;
}

void TestCustomerSearch::criteriaText()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, text);
    QFETCH(QString, card);
    QFETCH(QString, name);
    QFETCH(QString, cardType);
    QFETCH(std::optional<QDate>, from);
    QFETCH(std::optional<QDate>, to);
    const db::TypedCriteria t{typed[0], typed[1], typed[2], typed[3], typed[4], typed[5], typed[6], typed[7], typed[8]};
    QCOMPARE(db::CustomerCriteriaText(t), text);
    const db::CustomerCriteria c = db::ParseCustomerCriteria(text);
    QCOMPARE(c.card, card);
    QCOMPARE(c.name, name);
    QCOMPARE(c.cardType, cardType);
    QCOMPARE(c.from, from);
    QCOMPARE(c.to, to);
}

void TestCustomerSearch::selectedCustomers_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cardType");
    QTest::addColumn<QDate>("from"); // invalid: not given
    QTest::addColumn<QDate>("to");
    QTest::addColumn<Ids>("ids");
    const QDate no;
    const QDate feb3(2005, 2, 3), feb10(2005, 2, 10);
    QTest::newRow("nothing: every customer, last rental first")
        << "" << "" << "" << no << no << Ids{5000000001, 3, 2, 7, 1, 4, 5};
    QTest::newRow("identity card, letter case ignored") << "11010519850203001x" << "" << "" << no << no << Ids{1};
    QTest::newRow("identity card wins over name, type and dates")
        << "110105198502030022" << "李四" << "金卡" << QDate(2006, 1, 1) << no << Ids{2};
    QTest::newRow("identity card of nobody") << "999" << "张" << "" << no << no << Ids{};
    QTest::newRow("name part") << "" << "三" << "" << no << no << Ids{2, 1};
    QTest::newRow("name, letter case ignored") << "" << "zhang" << "" << no << no << Ids{5000000001};
    QTest::newRow("name with a blank") << "" << "i S" << "" << no << no << Ids{3};
    QTest::newRow("% is not a wildcard") << "" << "0%" << "" << no << no << Ids{4};
    QTest::newRow("_ is not a wildcard") << "" << "%_o" << "" << no << no << Ids{4};
    QTest::newRow("_ alone") << "" << "_" << "" << no << no << Ids{4};
    QTest::newRow("card type, letter case ignored") << "" << "" << "GOLD" << no << no << Ids{4, 5};
    QTest::newRow("card type is the whole value") << "" << "" << "金" << no << no << Ids{};
    QTest::newRow("name and card type") << "" << "张" << "银卡" << no << no << Ids{2};
    QTest::newRow("name and card type, one fails") << "" << "李" << "银卡" << no << no << Ids{};
    QTest::newRow("between two dates, ends included") << "" << "" << "" << feb3 << feb10 << Ids{2, 7, 1};
    QTest::newRow("from a date") << "" << "" << "" << feb3 << no << Ids{5000000001, 3, 2, 7, 1};
    QTest::newRow("up to a date, never rented left out") << "" << "" << "" << no << feb3 << Ids{7, 1, 4};
    QTest::newRow("from after to") << "" << "" << "" << feb10 << feb3 << Ids{};
    QTest::newRow("one day") << "" << "" << "" << feb3 << feb3 << Ids{7, 1};
    QTest::newRow("name and dates") << "" << "三" << "" << QDate(2005, 2, 4) << QDate(2006, 12, 31) << Ids{2};
    QTest::newRow("card type and a date") << "" << "" << "金卡" << QDate(2005, 3, 1) << no << Ids{3};
    QTest::newRow("everything but the card") << "" << "三" << "银卡" << feb3 << feb10 << Ids{2};
}

void TestCustomerSearch::selectedCustomers()
{
    QFETCH(QString, card);
    QFETCH(QString, name);
    QFETCH(QString, cardType);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(Ids, ids);
    ProgramFolder f;
    addFixture(f);
    db::CustomerCriteria c;
    c.card = card;
    c.name = name;
    c.cardType = cardType;
    if (from.isValid())
        c.from = from;
    if (to.isValid())
        c.to = to;
    qint64 count = -1;
    QCOMPARE(wholeList(db::CustomerCriteriaQuery(c), &count), ids);
    QCOMPARE(count, qint64(ids.size()));
}

void TestCustomerSearch::pagingAgreesWithThePlainStatement_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cardType");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("plain"); // the same selection, written plainly
    QTest::newRow("everyone") << "" << "" << "" << "" << "1";
    QTest::newRow("dates") << "" << "" << "2026-01-10" << "2026-02-20" << "s1 BETWEEN '2026-01-10' AND '2026-02-20'";
    QTest::newRow("from a date") << "" << "" << "2026-02-01" << "" << "s1 >= '2026-02-01'";
    QTest::newRow("up to a date") << "" << "" << "" << "2026-01-05" << "s1 <= '2026-01-05'";
    QTest::newRow("card type") << "" << "银卡" << "" << "" << "t3 = '银卡'";
    QTest::newRow("card type and dates") << "" << "金卡" << "2026-01-10" << "2026-02-20"
                                        << "t3 = '金卡' AND s1 BETWEEN '2026-01-10' AND '2026-02-20'";
    QTest::newRow("name part") << "7" << "" << "" << "" << "t1 LIKE '%7%'";
    QTest::newRow("name part and card type") << "1" << "普通卡" << "" << "" << "t1 LIKE '%1%' AND t3 = '普通卡'";
    QTest::newRow("name part and dates") << "客户2" << "" << "2026-01-01" << "2026-03-01"
                                       << "t1 LIKE '%客户2%' AND s1 BETWEEN '2026-01-01' AND '2026-03-01'";
}

// Three thousand customers on ninety days: each page read forward, backward and alone gives
// the rows and the count of the plain statement, in the customer lists' order.
void TestCustomerSearch::pagingAgreesWithThePlainStatement()
{
    QFETCH(QString, name);
    QFETCH(QString, cardType);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, plain);
    ProgramFolder f;
    f.exec(QStringLiteral(
        "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 3000) "
        "INSERT INTO table2 (id, t1, t2, t3, s1, s2) "
        "SELECT i, CASE WHEN i % 13 = 0 THEN NULL ELSE '客户' || i END, 'card' || i, "
        "CASE i % 4 WHEN 0 THEN '金卡' WHEN 1 THEN '银卡' WHEN 2 THEN '普通卡' END, "
        "CASE WHEN i % 40 = 0 THEN NULL ELSE date('2026-03-15', '-' || (i * 7 % 90) || ' days') END, 1 FROM k"));
    db::CustomerCriteria c;
    c.name = name;
    c.cardType = cardType;
    if (!from.isEmpty())
        c.from = QDate::fromString(from, Qt::ISODate);
    if (!to.isEmpty())
        c.to = QDate::fromString(to, Qt::ISODate);
    const db::PagedQuery q = db::CustomerCriteriaQuery(c);
    Ids expected;
    for (const QVariantList &r :
         f.rows(QStringLiteral("SELECT id FROM table2 WHERE t1 IS NOT NULL AND %1 ORDER BY s1 DESC, id DESC").arg(plain)))
        expected << r.first().toLongLong();
    QVERIFY(expected.size() > 60);
    const qint64 pages = db::PageCountFor(expected.size(), 30);
    db::PageReader forward, backward;
    QMap<qint64, Ids> seen;
    for (qint64 i = 1; i <= pages; ++i) {
        auto p = forward.read(q, i, 30);
        QVERIFY2(p.ok(), qPrintable(p.error()));
        QCOMPARE(p->recordCount, qint64(expected.size()));
        seen[i] = idsOf(*p);
        QCOMPARE(idsOf(backward.read(q, pages + 1 - i, 30).value()), expected.mid((pages - i) * 30, 30));
        QCOMPARE(idsOf(db::ReadPage(q, i, 30).value()), seen[i]);
    }
    Ids listed;
    for (const Ids &ids : std::as_const(seen))
        listed += ids;
    QCOMPARE(listed, expected);
}

void TestCustomerSearch::cardTypeCountsFollowEveryWrite_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("nothing changed") << "SELECT 1";
    QTest::newRow("new customer") << "INSERT INTO table2 (t1, t3, s1) VALUES ('新客', '金卡', '2026-02-01')";
    QTest::newRow("new customer, other letter case") << "INSERT INTO table2 (t1, t3, s1) VALUES ('新客', 'GOLD', '2026-02-01')";
    QTest::newRow("blank row filled by a rental")
        << "INSERT INTO table2 DEFAULT VALUES; UPDATE table2 SET t1 = '新客', t3 = 'gold', s1 = '2026-03-15' "
           "WHERE id = (SELECT max(id) FROM table2)";
    QTest::newRow("card invalidated") << "UPDATE table2 SET t3 = NULL WHERE id % 10 = 0";
    QTest::newRow("card type changed") << "UPDATE table2 SET t3 = '金卡' WHERE t3 = 'Gold' AND id % 3 = 0";
    QTest::newRow("letter case changed") << "UPDATE table2 SET t3 = 'GOLD' WHERE t3 = 'gold'";
    QTest::newRow("rented again") << "UPDATE table2 SET s1 = '2026-03-15' WHERE id % 7 = 0";
    QTest::newRow("date cleared") << "UPDATE table2 SET s1 = NULL WHERE id BETWEEN 10 AND 40";
    QTest::newRow("name cleared") << "UPDATE table2 SET t1 = NULL WHERE id % 4 = 0";
    QTest::newRow("renumbered") << "UPDATE table2 SET id = id + 100000 WHERE id BETWEEN 100 AND 150";
    QTest::newRow("rows removed") << "DELETE FROM table2 WHERE id % 3 = 1";
}

// The customers kept per card type and day agree with the table whatever writes it.
void TestCustomerSearch::cardTypeCountsFollowEveryWrite()
{
    QFETCH(QString, change);
    ProgramFolder f;
    f.exec(QStringLiteral(
        "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 1500) "
        "INSERT INTO table2 (id, t1, t3, s1) SELECT i, CASE WHEN i % 17 = 0 THEN NULL ELSE '客户' || i END, "
        "CASE i % 5 WHEN 0 THEN '金卡' WHEN 1 THEN 'gold' WHEN 2 THEN 'Gold' WHEN 3 THEN '银卡' END, "
        "CASE WHEN i % 30 = 0 THEN NULL ELSE date('2026-03-15', '-' || (i % 40) || ' days') END FROM k"));
    for (const QString &sql : change.split(QStringLiteral("; ")))
        f.exec(sql);
    const struct
    {
        const char *type, *from, *to;
    } cases[] = {{"金卡", nullptr, nullptr}, {"GOLD", nullptr, nullptr}, {"gold", "2026-02-20", "2026-03-10"},
                 {"银卡", "2026-03-01", nullptr}, {"金卡", nullptr, "2026-02-28"}};
    for (const auto &k : cases) {
        db::CustomerCriteria c;
        c.cardType = QString::fromUtf8(k.type);
        QString plain = QStringLiteral("t3 = ?");
        QVariantList binds{c.cardType};
        if (k.from) {
            c.from = QDate::fromString(QString::fromLatin1(k.from), Qt::ISODate);
            plain += QStringLiteral(" AND s1 >= ?");
            binds << QString::fromLatin1(k.from);
        }
        if (k.to) {
            c.to = QDate::fromString(QString::fromLatin1(k.to), Qt::ISODate);
            plain += QStringLiteral(" AND s1 <= ?");
            binds << QString::fromLatin1(k.to);
        }
        Ids expected;
        for (const QVariantList &r : f.rows(
                 QStringLiteral("SELECT id FROM table2 WHERE t1 IS NOT NULL AND %1 ORDER BY s1 DESC, id DESC").arg(plain), binds))
            expected << r.first().toLongLong();
        QVERIFY(!expected.isEmpty());
        qint64 count = -1;
        QCOMPARE(wholeList(db::CustomerCriteriaQuery(c), &count), expected);
        QCOMPARE(count, qint64(expected.size()));
    }
}

// A file of the first release is upgraded when first opened, and its customers are found by
// card type and dates, also when written afterwards.
void TestCustomerSearch::firstReleaseFileIsSearched()
{
    ProgramFolder f;
    f.writeOldFile(1, {QStringLiteral("INSERT INTO table2 (id, t1, t2, t3, s1, s2) VALUES "
                                      "(1, '甲', '1', '金卡', '2026-03-01', 1), (2, '乙', '2', '银卡', '2026-03-05', 1), "
                                      "(3, '丙', '3', '金卡', '2026-03-09', 2), (4, NULL, NULL, '金卡', NULL, 0)")});
    db::CustomerCriteria gold;
    gold.cardType = QStringLiteral("金卡");
    QCOMPARE(wholeList(db::CustomerCriteriaQuery(gold)), (Ids{3, 1}));
    QCOMPARE(f.scalar(QStringLiteral("PRAGMA user_version")).toInt(), db::SchemaVersion());
    db::CustomerCriteria march;
    march.from = QDate(2026, 3, 2);
    march.to = QDate(2026, 3, 9);
    QCOMPARE(wholeList(db::CustomerCriteriaQuery(march)), (Ids{3, 2}));
    f.exec(QStringLiteral("UPDATE table2 SET t1 = '丁', s1 = '2026-03-06' WHERE id = 4"));
    QCOMPARE(wholeList(db::CustomerCriteriaQuery(gold)), (Ids{3, 4, 1}));
    QCOMPARE(wholeList(db::CustomerCriteriaQuery(march)), (Ids{3, 4, 2}));
    gold.name = QStringLiteral("丁");
    QCOMPARE(wholeList(db::CustomerCriteriaQuery(gold)), (Ids{4}));
}

QTEST_GUILESS_MAIN(TestCustomerSearch)
#include "tst_customersearch.moc"
