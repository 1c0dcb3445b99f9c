// The disc search index against the plain LIKE statement, over a generated shop of mixed
// Chinese, Latin, letter case, blanks and punctuation, before and after every kind of write.
#include <QTest>

#include <random>

#include "data/store/connection.h"
#include "data/search/discfilter.h"
#include "data/search/discindex.h"
#include "data/shop/discrecords.h"
#include "data/store/pagedquery.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

// Characters the generated texts are made of: Chinese, Latin in both cases, digits, blanks,
// the LIKE wildcards and escape, other punctuation, and one character outside the BMP.
const QStringList kPieces = {
    QStringLiteral("传"), QStringLiteral("说"), QStringLiteral("风"), QStringLiteral("云"), QStringLiteral("月"),
    QStringLiteral("光"), QStringLiteral("王"), QStringLiteral("小"), QStringLiteral("明"), QStringLiteral("a"),
    QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("m"), QStringLiteral("M"),
    QStringLiteral("t"), QStringLiteral("x"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral(" "),
    QStringLiteral("%"), QStringLiteral("_"), QStringLiteral("\\"), QStringLiteral("."), QStringLiteral("'"),
    QStringLiteral("é"), QStringLiteral("É"), QString::fromUcs4(U"\U00020000"), QStringLiteral("传说"),
    QStringLiteral("Matrix"), QStringLiteral("STAR"), QStringLiteral("100%")};
const QStringList kMedia = {QStringLiteral("DVD"), QStringLiteral("dvd"), QStringLiteral("VCD"),
                            QStringLiteral("Dvd9"), QStringLiteral(" DVD"), QStringLiteral("")};
const QStringList kCountries = {QStringLiteral("中国"), QStringLiteral("香港"), QStringLiteral("USA"),
                                QStringLiteral("usa"), QStringLiteral("Usa ")};
const QStringList kCategories = {QStringLiteral("动作"), QStringLiteral("喜剧"), QStringLiteral("Sci-Fi"),
                                 QStringLiteral("sci_fi"), QStringLiteral("100%")};

class Shop
{
public:
    explicit Shop(quint32 seed) : m_rng(seed) {}

    int below(int n) { return int(m_rng() % quint32(n)); }
    QString text(int maxPieces)
    {
        QString s;
        const int n = 1 + below(maxPieces);
        for (int i = 0; i < n; ++i)
            s += kPieces.at(below(int(kPieces.size())));
        return s;
    }
    QVariant maybe(const QStringList &values)
    {
        return below(8) == 0 ? QVariant() : QVariant(values.at(below(int(values.size()))));
    }
    QVariant maybeText(int maxPieces) { return below(10) == 0 ? QVariant() : QVariant(text(maxPieces)); }

    // n rows: discs, some out with a customer, some free slots.
    void fill(int n)
    {
        db::Connection c;
        db::Transaction tx(c);
        QVERIFY(tx.ok());
        for (int i = 0; i < n; ++i) {
            const bool free = below(12) == 0;
            const bool out = !free && below(4) == 0;
            QVERIFY(c.exec(QStringLiteral("INSERT INTO table1 (t13, t14, t11, t18, t20, t10, s1, s3) VALUES (?,?,?,?,?,?,?,?)"),
                           {free ? QVariant() : QVariant(text(6)), maybeText(3), maybeText(3), maybe(kMedia),
                            maybe(kCategories), maybe(kCountries), out ? QVariant(QStringLiteral("2026-03-01")) : QVariant(),
                            out ? QVariant(QStringLiteral("客户")) : QVariant()})
                        .ok());
        }
        QVERIFY(tx.commit().ok());
    }

    // A part of a stored text: any length from 1 to 5, letters in any case.
    QString partOf(const ProgramFolder &f, const char *column)
    {
        const QString t = f.scalar(QStringLiteral("SELECT %1 FROM table1 WHERE %1 IS NOT NULL AND length(%1) > 0 "
                                                  "ORDER BY (id * ?) % 1009 LIMIT 1")
                                       .arg(QLatin1String(column)),
                                   {1 + below(1000)})
                              .toString();
        const QList<uint> chars = t.toUcs4();
        if (chars.isEmpty())
            return QStringLiteral("传");
        const int from = below(int(chars.size()));
        const int len = 1 + below(5);
        QString part = QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()) + from,
                                         std::min<qsizetype>(len, chars.size() - from));
        if (below(2))
            part = below(2) ? part.toUpper() : part.toLower();
        return part;
    }

private:
    std::mt19937 m_rng;
};

QList<qint64> plainIds(const ProgramFolder &f, const db::PagedQuery &q)
{
    QList<qint64> ids;
    for (const QVariantList &r : f.rows(QStringLiteral("SELECT id FROM table1 WHERE %1 ORDER BY id DESC").arg(q.where), q.binds))
        ids << r.first().toLongLong();
    return ids;
}

QList<qint64> indexIds(const db::PagedQuery &q)
{
    db::Connection c;
    auto found = q.finder(c, 1, 1 << 30);
    if (!found) {
        qWarning("%s", qPrintable(found.error()));
        return {-1};
    }
    QList<qint64> ids;
    for (const QVariant &k : found->keys)
        ids << k.toLongLong();
    if (found->recordCount != ids.size())
        ids << -2; // the count and the keys disagree
    return ids;
}

QString describe(const db::DiscFilter &f)
{
    return QStringLiteral("title[%1] starring[%2] director[%3] media[%4] category[%5] country[%6] state %7")
        .arg(f.title, f.starring, f.director, f.media, f.category, f.country)
        .arg(int(f.state));
}

// Filters of every kind the windows send: parts of stored texts, typed wildcards, values in
// another letter case, combinations, each in the three rental states.
QList<db::DiscFilter> filters(const ProgramFolder &f, Shop &shop)
{
    QList<db::DiscFilter> out;
    auto add = [&](auto set) {
        for (const db::RentalState s : {db::RentalState::Any, db::RentalState::OnShelf, db::RentalState::Out}) {
            db::DiscFilter d;
            set(d);
            d.state = s;
            out << d;
        }
    };
    for (int i = 0; i < 30; ++i)
        add([&](auto &d) { d.title = shop.partOf(f, "t13"); });
    for (int i = 0; i < 12; ++i)
        add([&](auto &d) { d.starring = shop.partOf(f, "t14"); });
    for (int i = 0; i < 12; ++i)
        add([&](auto &d) { d.director = shop.partOf(f, "t11"); });
    for (const QString &t : {QStringLiteral("%"), QStringLiteral("_"), QStringLiteral("\\"), QStringLiteral(" "),
                             QStringLiteral("a_b"), QStringLiteral("100%"), QStringLiteral("%%"), QStringLiteral("\\_"),
                             QStringLiteral("É"), QStringLiteral("é"), QString::fromUcs4(U"\U00020000"),
                             QStringLiteral("matrix"), QStringLiteral("STAR"), QStringLiteral("传说传说传"),
                             QStringLiteral("不存在")})
        add([&](auto &d) { d.title = t; });
    for (const QStringList *values : {&kMedia, &kCountries, &kCategories}) {
        for (const QString &v : *values) {
            if (v.isEmpty())
                continue;
            add([&](auto &d) {
                QString &field = values == &kMedia ? d.media : values == &kCountries ? d.country : d.category;
                field = v;
            });
        }
    }
    add([](auto &d) { d.media = QStringLiteral("dvd"); d.country = QStringLiteral("usa"); });
    add([](auto &d) { d.media = QStringLiteral("DVD"); d.country = QStringLiteral("中国"); d.category = QStringLiteral("动作"); });
    add([](auto &d) { d.media = QStringLiteral("DV"); }); // a part of a value is not the value
    for (int i = 0; i < 10; ++i)
        add([&](auto &d) { d.title = shop.partOf(f, "t13"); d.starring = shop.partOf(f, "t14"); });
    for (int i = 0; i < 10; ++i)
        add([&](auto &d) { d.title = shop.partOf(f, "t13"); d.media = kMedia.at(shop.below(5)); });
    return out;
}

void compareAll(const ProgramFolder &f, Shop &shop)
{
    int nonEmpty = 0;
    for (const db::DiscFilter &filter : filters(f, shop)) {
        const db::PagedQuery q = db::DiscFilterQuery(filter);
        QVERIFY2(q.finder, qPrintable(describe(filter)));
        const QList<qint64> expected = plainIds(f, q);
        const QList<qint64> got = indexIds(q);
        if (got != expected) {
            qWarning("expected %lld rows, got %lld", qlonglong(expected.size()), qlonglong(got.size()));
            QFAIL(qPrintable(QStringLiteral("index and LIKE differ for ") + describe(filter)));
        }
        nonEmpty += expected.isEmpty() ? 0 : 1;
    }
    QVERIFY(nonEmpty > 100); // the filters really find discs
}

// The writes a shop sees, through the program and directly on the table.
void change(const ProgramFolder &f, Shop &shop, const QString &how)
{
    if (how == QLatin1String("added")) {
        for (int i = 0; i < 20; ++i) {
            db::DiscFields d;
            d.title = shop.text(5);
            d.starring = shop.text(3);
            d.director = shop.text(2);
            d.media = kMedia.at(shop.below(5));
            d.country = kCountries.at(shop.below(5));
            d.category = kCategories.at(shop.below(5));
            QVERIFY(db::AddDisc(d).ok());
        }
    } else if (how == QLatin1String("corrected")) {
        for (int i = 0; i < 20; ++i) {
            db::DiscFields d;
            d.title = shop.text(4);
            if (i % 2)
                d.media = kMedia.at(shop.below(5));
            if (i % 3)
                d.starring = shop.text(2);
            const qint64 id = f.scalar(QStringLiteral("SELECT id FROM table1 WHERE t13 IS NOT NULL ORDER BY (id * ?) % 997 LIMIT 1"),
                                       {1 + shop.below(900)})
                                  .toLongLong();
            QVERIFY(db::UpdateDisc(id, d).ok());
        }
    } else if (how == QLatin1String("deleted")) {
        QList<qint64> ids;
        for (const QVariantList &r : f.rows(QStringLiteral("SELECT id FROM table1 WHERE t13 IS NOT NULL AND id % 17 = ?"),
                                            {shop.below(17)}))
            ids << r.first().toLongLong();
        QVERIFY(db::DeleteDiscs(ids).ok());
    } else if (how == QLatin1String("renamed")) {
        f.exec(QStringLiteral("UPDATE table1 SET t13 = upper(t13) || '·' WHERE t13 IS NOT NULL AND id % 11 = ?"), {shop.below(11)});
        f.exec(QStringLiteral("UPDATE table1 SET t14 = NULL, t18 = 'dVd' WHERE t13 IS NOT NULL AND id % 13 = ?"), {shop.below(13)});
    } else if (how == QLatin1String("rented and returned")) {
        f.exec(QStringLiteral("UPDATE table1 SET s1 = '2026-03-15', s3 = '王' WHERE t13 IS NOT NULL AND s3 IS NULL AND id % 5 = ?"),
               {shop.below(5)});
        f.exec(QStringLiteral("UPDATE table1 SET s1 = NULL, s3 = NULL WHERE s3 IS NOT NULL AND id % 3 = ?"), {shop.below(3)});
        f.exec(QStringLiteral("UPDATE table1 SET s3 = '另一位' WHERE s3 IS NOT NULL")); // still out
    } else if (how == QLatin1String("rows inserted, replaced, moved and removed")) {
        f.exec(QStringLiteral("INSERT INTO table1 (id, t13, t18) VALUES (5000000000, '远号 传说', 'DVD'), (-7, '负号 abc', 'dvd')"));
        f.exec(QStringLiteral("INSERT OR REPLACE INTO table1 (id, t13, t14) SELECT id, 'REPLACED 替换', '新' FROM table1 "
                              "WHERE t13 IS NOT NULL AND id % 19 = 3"));
        f.exec(QStringLiteral("UPDATE table1 SET id = id + 100000 WHERE t13 IS NOT NULL AND id % 23 = 4"));
        f.exec(QStringLiteral("DELETE FROM table1 WHERE id % 29 = 5"));
        f.exec(QStringLiteral("UPDATE table1 SET t13 = 12345 WHERE id % 31 = 6")); // a number where text belongs
    }
}

} // namespace

class TestDiscIndex : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        db::SetDiscIndexCompactAt(1000);
        db::ForgetDiscIndexMemory();
    }
    void agreesWithLike_data();
    void agreesWithLike();
    void pagesComeFromTheIndex();
    void firstReleaseFileIsUpgraded();
    void indexFollowsTheDataSwitch();
};

void TestDiscIndex::agreesWithLike_data()
{
    QTest::addColumn<QStringList>("changes");
    // warm: kept between changes; cold: dropped; folded: log folded in at once; warmed up:
    // dropped, then readied (the log folded in) as at the start of a program run
    QTest::addColumn<QString>("memory");
    const QStringList all = {QStringLiteral("added"), QStringLiteral("corrected"), QStringLiteral("deleted"),
                             QStringLiteral("renamed"), QStringLiteral("rented and returned"),
                             QStringLiteral("rows inserted, replaced, moved and removed")};
    QTest::newRow("as built") << QStringList{} << QStringLiteral("warm");
    for (const QString &c : all)
        QTest::newRow(qPrintable(c)) << QStringList{c} << QStringLiteral("warm");
    for (const QString &memory :
         {QStringLiteral("warm"), QStringLiteral("cold"), QStringLiteral("folded"), QStringLiteral("warmed up")})
        QTest::newRow(qPrintable(QStringLiteral("everything in turn, ") + memory)) << all << memory;
}

void TestDiscIndex::agreesWithLike()
{
    QFETCH(QStringList, changes);
    QFETCH(QString, memory);
    ProgramFolder f;
    Shop shop(20260315);
    shop.fill(700);
    {
        // Rows written straight into the table are only logged; file them as a bulk load would.
        db::Connection c;
        QVERIFY(db::RebuildDiscIndex(c).ok());
    }
    if (memory == QLatin1String("folded"))
        db::SetDiscIndexCompactAt(1);
    compareAll(f, shop);
    for (const QString &how : changes) {
        change(f, shop, how);
        if (memory == QLatin1String("cold"))
            db::ForgetDiscIndexMemory();
        if (memory == QLatin1String("warmed up")) {
            db::ForgetDiscIndexMemory();
            db::SetDiscIndexCompactAt(1);
            QVERIFY(db::WarmDiscIndex(db::DiscValueTerms(kMedia, kCategories, kCountries)).ok());
            QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM disc_changes")).toInt(), 0);
            db::SetDiscIndexCompactAt(1000);
        }
        compareAll(f, shop);
        if (memory == QLatin1String("folded"))
            QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM disc_changes")).toInt(), 0);
    }
    // What was folded into the stored bitmaps is what a fresh program run reads.
    db::ForgetDiscIndexMemory();
    compareAll(f, shop);
}

// A searched page is read through the index: its rows, the count and the clamped page are
// those of the plain statement.
void TestDiscIndex::pagesComeFromTheIndex()
{
    ProgramFolder f;
    f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 100) "
                          "INSERT INTO table1 (t13, t18, s3) SELECT CASE WHEN i % 2 = 0 THEN '传说' || i ELSE '其他' || i END, "
                          "'DVD', CASE WHEN i % 4 = 0 THEN '王' END FROM k"));
    db::DiscFilter filter;
    filter.title = QStringLiteral("传");
    filter.state = db::RentalState::OnShelf;
    const db::PagedQuery q = db::DiscFilterQuery(filter);
    QVERIFY(q.finder);
    for (const qint64 page : {qint64(0), qint64(1), qint64(2), qint64(9)}) {
        auto got = db::ReadPage(q, page, 10);
        QVERIFY2(got.ok(), qPrintable(got.error()));
        QCOMPARE(got->recordCount, qint64(25));
        QCOMPARE(got->pageCount, qint64(3));
        const qint64 shown = std::clamp<qint64>(page, 1, 3);
        QCOMPARE(got->page, shown);
        QList<qint64> ids;
        for (const QVariantList &r : got->rows)
            ids << r.first().toLongLong();
        QList<qint64> expected;
        for (const QVariantList &r : f.rows(QStringLiteral("SELECT id FROM table1 WHERE t13 LIKE '%传%' AND s3 IS NULL "
                                                           "ORDER BY id DESC LIMIT 10 OFFSET ?"),
                                            {(shown - 1) * 10}))
            expected << r.first().toLongLong();
        QCOMPARE(ids, expected);
        QCOMPARE(got->rows.first().size(), 11); // the disc list columns
    }
}

// A file of the first release gets the index on its first open, in the same transaction as
// the version, and its discs are found.
void TestDiscIndex::firstReleaseFileIsUpgraded()
{
    ProgramFolder f;
    f.writeOldFile(1, {QStringLiteral("INSERT INTO table1 (t13, t14, t18, s3) VALUES ('风云传说', '王小明', 'DVD', NULL), "
                                      "('The Matrix', 'Keanu', 'dvd', '李'), (NULL, NULL, NULL, NULL), ('传奇', '张', 'VCD', NULL)")});
    QCOMPARE(f.scalar(QStringLiteral("PRAGMA user_version")).toInt(), db::SchemaVersion());
    auto find = [](auto set) {
        db::DiscFilter d;
        set(d);
        auto p = db::ReadPage(db::DiscFilterQuery(d), 1, 30);
        QList<qint64> ids;
        for (const QVariantList &r : p.value().rows)
            ids << r.first().toLongLong();
        return ids;
    };
    QCOMPARE(find([](auto &d) { d.title = QStringLiteral("传"); }), (QList<qint64>{4, 1}));
    QCOMPARE(find([](auto &d) { d.title = QStringLiteral("MAT"); }), (QList<qint64>{2}));
    QCOMPARE(find([](auto &d) { d.media = QStringLiteral("dVd"); d.state = db::RentalState::OnShelf; }), (QList<qint64>{1}));
    QCOMPARE(find([](auto &d) { d.starring = QStringLiteral("小明"); }), (QList<qint64>{1}));
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM disc_changes")).toInt(), 0);
    // Changes after the upgrade are logged and found.
    f.exec(QStringLiteral("UPDATE table1 SET t13 = '新传' WHERE id = 2"));
    QCOMPARE(find([](auto &d) { d.title = QStringLiteral("传"); }), (QList<qint64>{4, 2, 1}));
}

// The memory of one file's index never answers for the other file.
void TestDiscIndex::indexFollowsTheDataSwitch()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table1 (t13) VALUES ('真实传说')"));
    f.exec(QStringLiteral("INSERT INTO table1 (t13) VALUES ('演示一'), ('演示传说')"), {}, true);
    db::DiscFilter d;
    d.title = QStringLiteral("传");
    auto count = [&] { return db::ReadPage(db::DiscFilterQuery(d), 1, 30).value().recordCount; };
    QCOMPARE(count(), qint64(1));
    db::DemoData::setEnabled(true);
    QCOMPARE(count(), qint64(1));
    QCOMPARE(db::ReadPage(db::DiscFilterQuery(d), 1, 30).value().rows.first().first().toLongLong(), qint64(2));
    db::DemoData::setEnabled(false);
    f.exec(QStringLiteral("INSERT INTO table1 (t13) VALUES ('又一传说')"));
    QCOMPARE(count(), qint64(2));
}

QTEST_GUILESS_MAIN(TestDiscIndex)
#include "tst_discindex.moc"
