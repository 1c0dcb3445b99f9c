// The customer search index against the plain statement: over customers with mixed names,
// every name part (alone, with a card type, with dates) lists exactly what LIKE lists, in
// the customer lists' order and with the same count, as the index is built, while its log
// grows, after it is folded in and when the program starts afresh; also after the rentals,
// returns and other writes the program makes.
#include <QTest>

#include <QRandomGenerator>

#include "data/store/connection.h"
#include "data/search/customerindex.h"
#include "data/search/indexterms.h"
#include "data/shop/customerquery.h"
#include "data/store/pagedquery.h"
#include "data/store/programdir.h"
#include "data/shop/rentals.h"
#include "data/shop/returns.h"
#include "data/search/termindex.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

using Ids = QList<qint64>;

// Pieces customer names are made of: Chinese, Latin in both cases, digits, blanks, the
// characters LIKE gives a meaning to, and letters LIKE does not fold.
const QStringList kPieces = {"张", "王", "李", "明", "海燕", "小", "华", "Li", "li", "LI", "Zhang", "ZHANG", "an", "AN",
                             "Ng", " ", "  ", "·", "%", "_", "\\", "-", "'", "9", "07", "é", "É", "ｚ", "Ｚ", "😀"};

QString generatedName(QRandomGenerator &r)
{
    QString name;
    const int pieces = 1 + r.bounded(4);
    for (int i = 0; i < pieces; ++i)
        name += kPieces.at(r.bounded(int(kPieces.size())));
    return name;
}

Ids idsOf(const db::Page &p)
{
    Ids ids;
    for (const QVariantList &r : p.rows)
        ids << r.first().toLongLong();
    return ids;
}

// Every page of a query, one reader, forward; the count of the first page.
Ids wholeList(const db::PagedQuery &q, qint64 *count)
{
    db::PageReader reader;
    auto first = reader.read(q, 1, 30);
    if (!first)
        return {-1};
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

// What the plain statement lists for a name part, in the customer lists' order.
Ids likeIds(const ProgramFolder &f, const QString &part, const QString &more = {}, const QVariantList &moreBinds = {})
{
    QString pattern = part;
    pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    Ids ids;
    for (const QVariantList &r :
         f.rows(QStringLiteral("SELECT id FROM table2 WHERE t1 IS NOT NULL AND t1 LIKE ? ESCAPE '\\' %1 "
                               "ORDER BY s1 DESC, id DESC")
                    .arg(more),
                QVariantList{QLatin1Char('%') + pattern + QLatin1Char('%')} + moreBinds))
        ids << r.first().toLongLong();
    return ids;
}

// Every part, alone, with a card type, and with dates, listed by the query as by LIKE.
void compareAll(const ProgramFolder &f, const QStringList &parts)
{
    for (const QString &part : parts) {
        db::CustomerCriteria c;
        c.name = part;
        // A part cut inside an emoji is left to the plain statement.
        QVERIFY(db::CustomerIndexServes(c) || !db::index::readsBackAsTyped(part));
        qint64 count = -1;
        Ids expected = likeIds(f, part);
        QCOMPARE(wholeList(db::CustomerCriteriaQuery(c), &count), expected);
        QCOMPARE(count, qint64(expected.size()));
        c.cardType = QStringLiteral("金卡");
        expected = likeIds(f, part, QStringLiteral("AND t3 = ?"), {c.cardType});
        QCOMPARE(wholeList(db::CustomerCriteriaQuery(c), &count), expected);
        QCOMPARE(count, qint64(expected.size()));
        c.cardType.clear();
        c.from = QDate(2026, 1, 15);
        c.to = QDate(2026, 2, 10);
        expected = likeIds(f, part, QStringLiteral("AND s1 BETWEEN ? AND ?"),
                           {QStringLiteral("2026-01-15"), QStringLiteral("2026-02-10")});
        QCOMPARE(wholeList(db::CustomerCriteriaQuery(c), &count), expected);
        QCOMPARE(count, qint64(expected.size()));
        c.from.reset();
        expected = likeIds(f, part, QStringLiteral("AND s1 <= ?"), {QStringLiteral("2026-02-10")});
        QCOMPARE(wholeList(db::CustomerCriteriaQuery(c), &count), expected);
        QCOMPARE(count, qint64(expected.size()));
    }
}

} // namespace

class TestCustomerIndex : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        db::index::SetCompactAt(1000);
        db::index::ForgetMemory();
    }
    void agreesWithLike_data();
    void agreesWithLike();
    void partsSharingTheirRuns();
    void nulInANamePart();
    void demonstrationDataIsFiled();
};

void TestCustomerIndex::agreesWithLike_data()
{
    QTest::addColumn<int>("stages"); // 0 generated, 1 rentals, 2 returns, 3 other writes
    QTest::addColumn<QString>("memory"); // warm: kept between changes; cold: dropped; folded: log folded in at once
    QTest::newRow("generated customers") << 0 << "warm";
    QTest::newRow("rentals add and rename customers") << 1 << "warm";
    QTest::newRow("returns") << 2 << "warm";
    QTest::newRow("names changed, cleared, removed and renumbered") << 3 << "warm";
    QTest::newRow("everything in turn, cold") << 3 << "cold";
    QTest::newRow("everything in turn, folded") << 3 << "folded";
}

void TestCustomerIndex::agreesWithLike()
{
    QFETCH(int, stages);
    QFETCH(QString, memory);
    ProgramFolder f;
    QRandomGenerator r(20260315);
    f.exec(QStringLiteral("INSERT INTO table1 (t13, t7) SELECT '碟' || value, 1 FROM json_each('[1,2,3,4,5,6,7,8,9,10]')"));
    for (int i = 1; i <= 300; ++i) {
        f.exec(QStringLiteral("INSERT INTO table2 (id, t1, t2, t3, s1, s2) VALUES (?, ?, ?, ?, ?, 1)"),
               {i, i % 23 == 0 ? QVariant() : QVariant(generatedName(r)), QStringLiteral("card%1").arg(i),
                i % 3 == 0 ? QStringLiteral("金卡") : i % 3 == 1 ? QStringLiteral("银卡") : QVariant(),
                i % 29 == 0 ? QVariant() : QVariant(QDate(2026, 1, 1).addDays(r.bounded(60)).toString(Qt::ISODate))});
    }
    if (memory != QLatin1String("warm")) {
        // Rows written straight into the table are only logged; file them as a bulk load would.
        db::Connection c;
        QVERIFY(db::RebuildCustomerIndex(c).ok());
    }
    if (memory == QLatin1String("folded"))
        db::index::SetCompactAt(1);

    // Name parts: every piece in both letter cases, a few across pieces, parts cut out of
    // stored names, and parts nobody has.
    QStringList parts;
    for (const QString &p : kPieces)
        parts << p << p.toUpper() << p.toLower();
    parts << "张王" << "海燕小" << "i L" << "%_" << "_\\" << "no such part" << "zz" << "ZZ" << "明华";
    const QList<QVariantList> names = f.rows(QStringLiteral("SELECT t1 FROM table2 WHERE t1 IS NOT NULL"));
    for (int i = 0; i < 40; ++i) {
        const QString name = names.at(r.bounded(int(names.size()))).first().toString();
        parts << name.mid(r.bounded(int(name.size())), 1 + r.bounded(5));
    }
    parts.removeDuplicates();
    parts.removeAll(QString());

    auto check = [&](int stage) {
        if (memory == QLatin1String("cold"))
            db::index::ForgetMemory();
        if (memory != QLatin1String("warm") || stage == stages)
            compareAll(f, parts);
        if (memory == QLatin1String("folded"))
            QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM customer_changes")).toInt(), 0);
    };
    check(0);
    if (stages >= 1) {
        // New customers, and customers found by identity card and renamed.
        const struct
        {
            const char *name, *card;
        } renters[] = {{"新 客Li", "newcard1"}, {"王%_小", "newcard2"}, {"ZHANG 海燕", "card5"}, {"li明", "card17"}, {"É·é", "card40"}};
        qint64 disc = 1;
        for (const auto &k : renters) {
            db::RentalRequest q;
            q.name = QString::fromUtf8(k.name);
            q.card = QString::fromUtf8(k.card);
            q.cardType = QStringLiteral("金卡");
            q.discs = {{disc, QStringLiteral("碟%1").arg(disc)}, {disc + 1, QStringLiteral("碟%1").arg(disc + 1)}};
            disc += 2;
            auto id = db::CommitRental(q);
            QVERIFY2(id.ok(), qPrintable(id.error()));
        }
        parts << "新" << "客l" << "ZHANG 海燕" << "é·" << "%_小";
        check(1);
    }
    if (stages >= 2) {
        for (const QVariantList &row : f.rows(QStringLiteral("SELECT khid, group_concat(id) FROM table4 GROUP BY khid"))) {
            Ids records;
            for (const QString &n : row.at(1).toString().split(QLatin1Char(',')))
                records << n.toLongLong();
            auto back = db::ReturnDiscs(row.at(0).toLongLong(), records);
            QVERIFY2(back.ok() && back->settled, qPrintable(back.error()));
        }
        check(2);
    }
    if (stages >= 3) {
        f.exec(QStringLiteral("UPDATE table2 SET t1 = t1 || 'Zz' WHERE id % 7 = 0"));
        f.exec(QStringLiteral("UPDATE table2 SET t1 = NULL WHERE id % 11 = 0"));
        f.exec(QStringLiteral("UPDATE table2 SET t1 = '明华', t3 = '金卡' WHERE id % 23 = 0"));
        f.exec(QStringLiteral("UPDATE table2 SET t3 = 'GOLD' WHERE id % 5 = 0"));
        f.exec(QStringLiteral("UPDATE table2 SET s1 = '2026-02-01' WHERE id % 6 = 0"));
        f.exec(QStringLiteral("DELETE FROM table2 WHERE id % 13 = 0"));
        f.exec(QStringLiteral("UPDATE table2 SET id = id + 5000000000 WHERE id BETWEEN 200 AND 220"));
        f.exec(QStringLiteral("INSERT OR REPLACE INTO table2 (id, t1, t3, s1) VALUES (3, '替换Li', '金卡', '2026-02-02')"));
        check(3);
    }
    // What was folded into the stored bitmaps is what a fresh program run reads.
    db::index::ForgetMemory();
    compareAll(f, parts);
}

// Two parts longer than three characters can be made of the same runs of three; each lists
// only the customers holding it, whichever was searched first.
void TestCustomerIndex::partsSharingTheirRuns()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, s1) VALUES (1, 'xabcabx', '2026-01-01'), (2, 'abcabc', '2026-01-02'), "
                          "(3, 'abcab·abc', '2026-01-03')"));
    for (const QString &part : {QStringLiteral("abcab"), QStringLiteral("abcabc"), QStringLiteral("ABCAB")}) {
        db::CustomerCriteria c;
        c.name = part;
        qint64 count = -1;
        QCOMPARE(wholeList(db::CustomerCriteriaQuery(c), &count), likeIds(f, part));
        QCOMPARE(count, qint64(likeIds(f, part).size()));
    }
}

// A NUL typed into a name part is left to the plain statement, count included.
void TestCustomerIndex::nulInANamePart()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, s1) VALUES (1, '张三', '2026-01-01'), (2, '李四', '2026-01-02')"));
    db::CustomerCriteria c;
    c.name = QStringLiteral("张") + QChar(0) + QStringLiteral("x");
    QVERIFY(!db::CustomerIndexServes(c));
    qint64 count = -1;
    const Ids expected = likeIds(f, c.name);
    QCOMPARE(wholeList(db::CustomerCriteriaQuery(c), &count), expected);
    QCOMPARE(count, qint64(expected.size()));
}

// A new file's demonstration customers are filed when it is made, not left in the log.
void TestCustomerIndex::demonstrationDataIsFiled()
{
    ProgramFolder f(ProgramFolder::GeneratedDemoFile);
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM customer_changes"), {}, true).toInt(), 0);
    QVERIFY(f.scalar(QStringLiteral("SELECT count(*) FROM customer_index_bits"), {}, true).toInt() > 0);
    const QString name = f.scalar(QStringLiteral("SELECT t1 FROM table2 WHERE t1 IS NOT NULL LIMIT 1"), {}, true).toString();
    QVERIFY(!name.isEmpty());
    db::DemoData::setEnabled(true);
    db::CustomerCriteria c;
    c.name = name.left(1);
    qint64 count = -1;
    const Ids listed = wholeList(db::CustomerCriteriaQuery(c), &count);
    db::DemoData::setEnabled(false);
    Ids expected;
    for (const QVariantList &r : f.rows(QStringLiteral("SELECT id FROM table2 WHERE t1 LIKE ? ORDER BY s1 DESC, id DESC"),
                                        {QStringLiteral("%%1%").arg(name.left(1))}, true))
        expected << r.first().toLongLong();
    QCOMPARE(listed, expected);
    QCOMPARE(count, qint64(expected.size()));
}

QTEST_GUILESS_MAIN(TestCustomerIndex)
#include "tst_customerindex.moc"
