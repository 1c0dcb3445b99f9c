// Paged reads of the disc lists: counts, page bounds, every way of reaching a page, and
// the cells a disc row shows.
#include <QtTest>

#include "data/store/connection.h"
#include "data/shop/disclists.h"
#include "data/store/pagedquery.h"
#include "support/pagewalk.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

// n discs numbered 1..n; every third is out with a customer since `rentedOn`.
void addDiscs(const ProgramFolder &f, int n)
{
    if (n <= 0)
        return;
    f.exec(QStringLiteral(
               "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < ?) "
               "INSERT INTO table1 (t13, t38, t7, t18, t14, t11, t10, t20, s1, s3) "
               "SELECT '碟' || i, 'A1', 1, 'DVD', '主角', '导演', '中国', '动作', "
               "CASE WHEN i % 3 = 0 THEN '2026-03-01' END, CASE WHEN i % 3 = 0 THEN '客户' || i END FROM k"),
           {n});
}

QList<qint64> expectedIds(const ProgramFolder &f, const QString &where)
{
    QList<qint64> ids;
    for (const QVariantList &r : f.rows(QStringLiteral("SELECT id FROM table1 WHERE %1 ORDER BY id DESC").arg(where)))
        ids << r.first().toLongLong();
    return ids;
}

} // namespace

class TestListPages : public QObject
{
    Q_OBJECT
private slots:
    void pageCounts_data();
    void pageCounts();
    void everyWayToAPageAgrees_data();
    void everyWayToAPageAgrees();
    void countersFollowChanges_data();
    void countersFollowChanges();
    void rememberedPagesFollowChanges();
    void pagesOutsideTheListAreClamped_data();
    void pagesOutsideTheListAreClamped();
    void discCells_data();
    void discCells();
};

void TestListPages::pageCounts_data()
{
    QTest::addColumn<int>("discs");
    QTest::addColumn<qint64>("pages");
    QTest::addColumn<int>("rowsOnLastPage");
    QTest::newRow("none") << 0 << qint64(0) << 0;
    QTest::newRow("one") << 1 << qint64(1) << 1;
    QTest::newRow("29") << 29 << qint64(1) << 29;
    QTest::newRow("exactly 30") << 30 << qint64(1) << 30;
    QTest::newRow("31") << 31 << qint64(2) << 1;
    QTest::newRow("60") << 60 << qint64(2) << 30;
    QTest::newRow("61") << 61 << qint64(3) << 1;
}

void TestListPages::pageCounts()
{
    QFETCH(int, discs);
    QFETCH(qint64, pages);
    QFETCH(int, rowsOnLastPage);
    ProgramFolder f;
    addDiscs(f, discs);
    auto first = db::ReadPage(db::AllDiscsQuery(), 1, 30);
    QVERIFY2(first.ok(), qPrintable(first.error()));
    QCOMPARE(first->recordCount, qint64(discs));
    QCOMPARE(first->pageCount, pages);
    auto last = db::ReadPage(db::AllDiscsQuery(), std::max<qint64>(1, pages), 30);
    QVERIFY(last.ok());
    QCOMPARE(last->rows.size(), rowsOnLastPage);
    if (discs > 0) // the oldest disc ends the last page
        QCOMPARE(last->rows.last().first().toLongLong(), qint64(1));
}

// A list read page by page, in whatever order and by whatever way, shows every disc once in
// list order.
void TestListPages::everyWayToAPageAgrees_data()
{
    QTest::addColumn<bool>("rentedList");
    QTest::addColumn<QString>("walk"); // f: first to last with one reader, b: last to first, o: each page alone
    QTest::addColumn<int>("discs");
    for (const int discs : {400, 3500}) { // the larger list spans several blocks of numbers
        for (const bool rented : {false, true}) {
            const QString list = QStringLiteral("%1 %2 ").arg(discs).arg(rented ? "rented" : "all");
            QTest::newRow(qPrintable(list + "forward")) << rented << QStringLiteral("f") << discs;
            QTest::newRow(qPrintable(list + "backward")) << rented << QStringLiteral("b") << discs;
            QTest::newRow(qPrintable(list + "each page alone")) << rented << QStringLiteral("o") << discs;
        }
    }
}

void TestListPages::everyWayToAPageAgrees()
{
    QFETCH(bool, rentedList);
    QFETCH(QString, walk);
    QFETCH(int, discs);
    ProgramFolder f;
    addDiscs(f, discs);
    // Free slots inside the range must not shift the pages.
    f.exec(QStringLiteral("UPDATE table1 SET t13 = NULL, s1 = NULL, s3 = NULL WHERE id IN (5, 6, 90, 91, 92, 300) "
                          "OR id BETWEEN 1020 AND 1100 OR id BETWEEN 2048 AND 2060 OR id % 97 = 0"));
    const db::PagedQuery q = rentedList ? db::RentedDiscsQuery() : db::AllDiscsQuery();
    const QList<qint64> expected = expectedIds(f, q.where);
    const qint64 pages = db::PageCountFor(expected.size(), 30);
    QVERIFY(pages >= 4);

    testsupport::WalkEveryPage(q, expected, walk);
}

void TestListPages::countersFollowChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("new disc") << QStringLiteral("INSERT INTO table1 (t13) VALUES ('新碟')");
    QTest::newRow("blank slot appended") << QStringLiteral("INSERT INTO table1 DEFAULT VALUES");
    QTest::newRow("disc deleted by blanking") << QStringLiteral("UPDATE table1 SET t13 = NULL, s1 = NULL, s3 = NULL WHERE id = 3");
    QTest::newRow("discs deleted in another block") << QStringLiteral("UPDATE table1 SET t13 = NULL WHERE id BETWEEN 1500 AND 1700");
    QTest::newRow("renumbered into another block") << QStringLiteral("UPDATE table1 SET id = id + 5000 WHERE id BETWEEN 100 AND 150");
    QTest::newRow("free slot filled") << QStringLiteral("UPDATE table1 SET t13 = '补' WHERE t13 IS NULL");
    QTest::newRow("disc rented") << QStringLiteral("UPDATE table1 SET s1 = '2026-03-15', s3 = '张三' WHERE id = 4");
    QTest::newRow("disc returned") << QStringLiteral("UPDATE table1 SET s1 = NULL, s3 = NULL WHERE id = 6");
    QTest::newRow("title corrected") << QStringLiteral("UPDATE table1 SET t13 = '改名' WHERE id = 6");
    QTest::newRow("rows removed") << QStringLiteral("DELETE FROM table1 WHERE id > 7");
    QTest::newRow("rows removed across blocks") << QStringLiteral("DELETE FROM table1 WHERE id % 3 = 1");
    QTest::newRow("every row removed") << QStringLiteral("DELETE FROM table1");
}

void TestListPages::countersFollowChanges()
{
    QFETCH(QString, change);
    ProgramFolder f;
    addDiscs(f, 2500);
    f.exec(QStringLiteral("UPDATE table1 SET t13 = NULL WHERE id = 10"));
    f.exec(change);
    for (const db::PagedQuery &q : {db::AllDiscsQuery(), db::RentedDiscsQuery()}) {
        const qint64 counted = f.scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE ") + q.where).toLongLong();
        auto first = db::ReadPage(q, 1, 30);
        QVERIFY2(first.ok(), qPrintable(first.error()));
        QCOMPARE(first->recordCount, counted);
        // Every page read on its own adds up to the whole list in order.
        QList<qint64> all = testsupport::IdsOf(*first);
        for (qint64 page = 2; page <= first->pageCount; ++page)
            all += testsupport::IdsOf(db::ReadPage(q, page, 30).value());
        QCOMPARE(all, expectedIds(f, q.where));
    }
}

// A page read again after the list changed shows what an offset count shows now, not the
// rows that were there before.
void TestListPages::rememberedPagesFollowChanges()
{
    ProgramFolder f;
    addDiscs(f, 100);
    db::PageReader reader;
    const db::PagedQuery q = db::AllDiscsQuery();
    QVERIFY(reader.read(q, 1, 30).ok());
    QVERIFY(reader.read(q, 2, 30).ok());
    f.exec(QStringLiteral("UPDATE table1 SET t13 = NULL WHERE id = 95")); // on page 1
    auto page2 = reader.read(q, 2, 30);
    QVERIFY(page2.ok());
    QCOMPARE(testsupport::IdsOf(*page2), expectedIds(f, q.where).mid(30, 30));
    auto page3 = reader.read(q, 3, 30);
    QVERIFY(page3.ok());
    QCOMPARE(testsupport::IdsOf(*page3), expectedIds(f, q.where).mid(60, 30));
}

void TestListPages::pagesOutsideTheListAreClamped_data()
{
    QTest::addColumn<qint64>("asked");
    QTest::addColumn<qint64>("given");
    QTest::newRow("page 0") << qint64(0) << qint64(1);
    QTest::newRow("below 0") << qint64(-3) << qint64(1);
    QTest::newRow("last") << qint64(3) << qint64(3);
    QTest::newRow("one past the last") << qint64(4) << qint64(3);
    QTest::newRow("far past the last") << qint64(1000) << qint64(3);
}

void TestListPages::pagesOutsideTheListAreClamped()
{
    QFETCH(qint64, asked);
    QFETCH(qint64, given);
    ProgramFolder f;
    addDiscs(f, 70);
    db::PageReader reader;
    for (bool remembered : {false, true}) {
        auto p = remembered ? reader.read(db::AllDiscsQuery(), asked, 30) : db::ReadPage(db::AllDiscsQuery(), asked, 30);
        QVERIFY(p.ok());
        QCOMPARE(p->page, given);
        QCOMPARE(testsupport::IdsOf(*p), expectedIds(f, QStringLiteral("t13 IS NOT NULL")).mid(int(given - 1) * 30, 30));
    }
}

void TestListPages::discCells_data()
{
    QTest::addColumn<QVariantList>("row");
    QTest::addColumn<QStringList>("cells");
    const QVariant null;
    QTest::newRow("in the shop")
        << QVariantList{7, QStringLiteral("月光"), QStringLiteral("A1"), 2, QStringLiteral("VCD"), QStringLiteral("王"),
                        QStringLiteral("李"), QStringLiteral("中国"), QStringLiteral("动作"), null, null}
        << QStringList{"000007", "A1", "月光", "王", "李", "2", "中国", "VCD", "动作", "", ""};
    QTest::newRow("rented today")
        << QVariantList{42, "T", "B2", 1, "DVD", "S", "D", "C", "K", "2026-03-15", QStringLiteral("张三")}
        << QStringList{"000042", "B2", "T", "S", "D", "1", "C", "DVD", "K", "0", "张三"};
    QTest::newRow("rented yesterday")
        << QVariantList{1234567, "T", "B2", 1, "DVD", "S", "D", "C", "K", "2026-03-14", "Z"}
        << QStringList{"1234567", "B2", "T", "S", "D", "1", "C", "DVD", "K", "1", "Z"};
    QTest::newRow("rented across a year end")
        << QVariantList{123456, "T", "B2", 1, "DVD", "S", "D", "C", "K", "2025-12-31", "Z"}
        << QStringList{"123456", "B2", "T", "S", "D", "1", "C", "DVD", "K", "74", "Z"};
    QTest::newRow("blanks and empty date")
        << QVariantList{3, "  有空格  ", " ", null, null, null, null, null, null, "", "  "}
        << QStringList{"000003", "", "有空格", "", "", "", "", "", "", "", ""};
}

void TestListPages::discCells()
{
    QFETCH(QVariantList, row);
    QFETCH(QStringList, cells);
    QCOMPARE(db::DiscListCells(row, testsupport::Today()), cells);
}

QTEST_GUILESS_MAIN(TestListPages)
#include "tst_listpages.moc"
