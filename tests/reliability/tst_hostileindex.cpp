// The disc and customer search indexes given hostile stored texts and search texts: NUL
// characters, lone halves of surrogate pairs, control characters, very long values. Every
// search through an index finds exactly what the filter's plain statement selects, on the
// file and on a server shop (the test server, LANLAN_TEST_PG; skipped without it).
#include <QtTest>

#include <memory>

#include "data/store/connection.h"
#include "data/store/schema.h"
#include "data/search/customerindex.h"
#include "data/shop/customerquery.h"
#include "data/search/discfilter.h"
#include "data/search/discindex.h"
#include "data/search/termindex.h"
#include "support/programfolder.h"
#include "support/servershop.h"

using testsupport::ProgramFolder;

namespace {

QString withNul(const char16_t *a, const char16_t *b)
{
    return QString::fromUtf16(a) + QChar(0) + QString::fromUtf16(b);
}

// Stored texts: pairs that the database compares as equal or as a part of each other only
// by what follows a NUL, halves of pairs, and texts far longer than the index's runs.
QStringList storedTexts()
{
    QStringList t = {
        withNul(u"a", u"b"),     withNul(u"A", u"c"),  withNul(u"a", u"bc"),  withNul(u"", u"head"),
        withNul(u"tail", u""),   withNul(u"x", u"") + QChar(0) + QStringLiteral("y"),        withNul(u"碟", u"片"),
        withNul(u"DVD", u"x"),   withNul(u"dvd", u"y"),                       QStringLiteral("DVD"),
        QStringLiteral("dvd"),   QStringLiteral("ab"),  QStringLiteral("head"),
        QString(QChar(0xD800)),  QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b"),  QStringLiteral("a") + QChar(0xDC00) + QStringLiteral("b"),
        QStringLiteral("end") + QChar(0xD83D),        QString(QChar(0xDBFF)) + QChar(0xDBFF) + QStringLiteral("x"),
        QString(QChar(0xFFFD)),  QStringLiteral("a\uFFFDb"),
        QStringLiteral("a\tb\u0001c\u007f\u001bd"),   QStringLiteral("\r\n"),  QStringLiteral("100%_\\"),
        QStringLiteral("😀e\u0301"),
        QString(5000, QChar(u'长')) + QStringLiteral("尾"),          QString(20000, QChar(u'满')),
    };
    QString mixed;
    while (mixed.size() < 12000)
        mixed += QStringLiteral("长文本Long😀段落e\u0301 ");
    t << mixed;
    return t;
}

// Search texts: every stored text, its pieces around the NUL and the halves, and parts
// longer than any run of the index.
QStringList searchTexts()
{
    QStringList s = storedTexts();
    s << QStringLiteral("a") << QStringLiteral("b") << QStringLiteral("B") << QString(QChar(0))
      << withNul(u"", u"b") << withNul(u"a", u"") << withNul(u"A", u"B") << withNul(u"a", u"x")
      << QString(QChar(0xD800)) + QStringLiteral("b") << QString(QChar(0xDC00)) << QString(QChar(0xD83D))
      << QStringLiteral("\u0001c\u007f") << QStringLiteral("\t") << QString(4, QChar(u'满'))
      << QString(20001, QChar(u'满')) << QString(3000, QChar(u'长')) + QStringLiteral("尾") << QStringLiteral("\\")
      << QStringLiteral("%") << QStringLiteral("_") << QStringLiteral("Long😀段落");
    s.removeDuplicates();
    return s;
}

QString shown(const QString &text)
{
    QString out;
    for (QChar ch : text.left(12)) {
        if (ch.unicode() < 0x20 || ch.isSurrogate() || ch.unicode() == 0x7f)
            out += QStringLiteral("\\u%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += ch;
    }
    return text.size() > 12 ? out + QStringLiteral("…(%1)").arg(text.size()) : out;
}

QString joined(const QList<qint64> &ids)
{
    QStringList out;
    for (qint64 id : ids)
        out << QString::number(id);
    return out.join(u',');
}

// The ids the plain statement selects, sorted; {-1} when it fails.
QList<qint64> plainIds(const ProgramFolder &f, const QString &table, const db::PagedQuery &q)
{
    db::Connection c;
    auto rows = c.run(QStringLiteral("SELECT id FROM %1 WHERE %2").arg(table, q.where), q.binds);
    if (!rows) {
        qWarning("plain statement: %s", qPrintable(rows.error()));
        return {-1};
    }
    QList<qint64> ids;
    while (rows.value().next())
        ids << rows.value().value(0).toLongLong();
    std::sort(ids.begin(), ids.end());
    Q_UNUSED(f);
    return ids;
}

// What the list shows: every page read the way the windows read it, sorted; {-1} on failure.
QList<qint64> listedIds(const db::PagedQuery &q, qint64 *count)
{
    auto page = db::ReadPage(q, 1, 1 << 20);
    if (!page) {
        qWarning("list: %s", qPrintable(page.error()));
        return {-1};
    }
    *count = page->recordCount;
    QList<qint64> ids;
    for (const QVariantList &r : page->rows)
        ids << r.first().toLongLong();
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Stores a row in the shop in use. A server holds no NUL: what it is given stops before one.
void storeRow(ProgramFolder &f, bool server, const QString &sql, QVariantList values)
{
    if (!server) {
        f.exec(sql, values);
        return;
    }
    for (QVariant &v : values) {
        if (v.typeId() == QMetaType::QString)
            v = v.toString().remove(QChar(0));
    }
    db::Connection c;
    const db::Status s = c.exec(sql, values);
    if (!s)
        qWarning("%s", qPrintable(s.error()));
}

// Files the rows of the shop in use into an index anew, in one transaction.
bool rebuild(db::Status (*rebuildIndex)(db::Connection &))
{
    db::Connection c;
    db::Transaction tx(c);
    return tx.ok() && rebuildIndex(c).ok() && tx.commit().ok();
}

// What the check of an index finds on the shop in use: nothing when it agrees with its table.
QString indexProblems(db::Status (*check)(db::Connection &, QStringList &))
{
    db::Connection c;
    QStringList lines;
    const db::Status s = check(c, lines);
    return s ? lines.join(QLatin1Char('\n')) : s.error();
}

} // namespace

class tst_hostileindex : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void discs_data();
    void discs();
    void customers_data();
    void customers();
    void previousVersionIsRefiled();
    void runsOfFourAreFiledOnUpgrade();

private:
    int m_searches = 0;
    std::unique_ptr<testsupport::ServerDatabase> m_server;
};

void tst_hostileindex::initTestCase()
{
    if (testsupport::TestServer())
        m_server = std::make_unique<testsupport::ServerDatabase>();
}

void tst_hostileindex::cleanupTestCase()
{
    m_server.reset();
}

void tst_hostileindex::init()
{
    db::ShopLocation::useFile();
}

void tst_hostileindex::cleanup()
{
    db::Connection::closeServerConnection();
    db::ShopLocation::useFile();
    db::index::SetCompactAt(1000);
    db::index::ForgetMemory();
}

void tst_hostileindex::discs_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("memory");
    // filed: bitmaps built from the rows; logged: rows only in the change log; folded: the
    // log folded into the bitmaps by the searches themselves.
    for (bool server : {false, true}) {
        for (const char *memory : {"filed", "logged", "folded"})
            QTest::addRow("%s %s", server ? "server" : "file", memory) << server << QString::fromLatin1(memory);
    }
}

void tst_hostileindex::discs()
{
    QFETCH(bool, server);
    QFETCH(QString, memory);
    ProgramFolder f;
    if (!testsupport::ReadyForEngine(server, m_server.get()))
        QSKIP("no test server (LANLAN_TEST_PG)");
    const QStringList stored = storedTexts();
    for (int i = 0; i < stored.size(); ++i) {
        const QString &t = stored.at(i);
        const QString other = stored.at((i + 7) % stored.size());
        storeRow(f, server, QStringLiteral("INSERT INTO table1 (t13, t14, t11, t18, t20, t10, s3) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                 {t, other, t, t, other, t, i % 3 == 0 ? QVariant(QStringLiteral("王")) : QVariant()});
    }
    if (memory == QLatin1String("filed"))
        QVERIFY(rebuild(db::RebuildDiscIndex));
    if (memory == QLatin1String("folded"))
        db::SetDiscIndexCompactAt(1);

    int wrong = 0;
    for (const QString &text : searchTexts()) {
        for (int field = 0; field < 6; ++field) {
            for (db::RentalState state : {db::RentalState::Any, db::RentalState::OnShelf}) {
                db::DiscFilter filter;
                QString *const fields[] = {&filter.title, &filter.starring, &filter.director,
                                           &filter.media, &filter.category, &filter.country};
                *fields[field] = text;
                filter.state = state;
                const db::PagedQuery q = db::DiscFilterQuery(filter);
                const QList<qint64> plain = plainIds(f, QStringLiteral("table1"), q);
                qint64 count = -1;
                const QList<qint64> listed = listedIds(q, &count);
                ++m_searches;
                if (plain == QList<qint64>{-1} || listed != plain || count != plain.size()) {
                    ++wrong;
                    qWarning("field %d [%s] state %d: index %s (count %lld), statement %s", field, qPrintable(shown(text)),
                             int(state), qPrintable(joined(listed)), count, qPrintable(joined(plain)));
                }
            }
        }
    }
    // Discs are marked out without rental records here: the shop's other rules are not checked.
    QCOMPARE(wrong, 0);
    QCOMPARE(indexProblems(db::CheckDiscIndex), QString());
}

// A file of the previous version filed a value holding a NUL under the whole value; opening
// it files the value again the way NOCASE compares it.
void tst_hostileindex::previousVersionIsRefiled()
{
    ProgramFolder f;
    f.writeOldFile(4, {"INSERT INTO table1 (t13, t18) VALUES ('x', 'a' || char(0) || 'b'), ('y', 'A' || char(0) || 'c'), "
                       "('z', 'a' || char(0) || 'bc'), ('w', 'DVD')"});
    {
        // Read and written as it is, not upgraded.
        db::Connection c(f.realFile(), db::Connection::Mode::Inspect);
        QVERIFY(db::RebuildDiscIndex(c).ok());
        // What the previous version stored: the term of the whole first value.
        QString media;
        auto terms = c.run(QStringLiteral("SELECT term FROM disc_index_bits"));
        QVERIFY(terms.ok());
        while (terms.value().next()) {
            const QString term = terms.value().value(0).toString();
            if (term.contains(QChar(0)) && term.endsWith(u'3'))
                media = term;
        }
        terms.value().finish();
        QVERIFY(!media.isEmpty());
        QVERIFY(c.exec(QStringLiteral("UPDATE disc_index_bits SET term = ? WHERE term = ?"),
                       {media.left(1) + withNul(u"a", u"b"), media}));
    }
    db::index::ForgetMemory();
    db::DiscFilter filter;
    filter.media = withNul(u"a", u"c");
    qint64 count = 0;
    QCOMPARE(listedIds(db::DiscFilterQuery(filter), &count), (QList<qint64>{1, 2}));
    QCOMPARE(count, qint64(2));
    QCOMPARE(f.scalar("PRAGMA user_version").toInt(), db::SchemaVersion());
    QCOMPARE(f.problems(), QString());
}

// A file of the previous version filed texts under runs of up to three characters; opening
// it files them again with runs of four, which a part of four characters is looked up by.
void tst_hostileindex::runsOfFourAreFiledOnUpgrade()
{
    ProgramFolder f;
    f.writeOldFile(5, {"INSERT INTO table1 (t13, t14) VALUES ('月光传说', 'a'), ('月光传奇说', 'b'), ('传说月光', 'c'), "
                       "('新月光传说3', 'd'), ('月光传 光传说', 'e')",
                       "INSERT INTO table2 (t1, t2, s2) VALUES ('欧阳娜娜', 'c1', 1), ('欧阳娜', 'c2', 1), ('Anna Lee', 'c3', 1)"});
    {
        db::Connection c(f.realFile(), db::Connection::Mode::Inspect);
        QVERIFY(db::RebuildDiscIndex(c).ok());
        QVERIFY(db::RebuildCustomerIndex(c).ok());
        // What the previous version stored: no runs of four.
        for (const char *table : {"disc_index_bits", "customer_index_bits"})
            QVERIFY(c.exec(QStringLiteral("DELETE FROM %1 WHERE length(term) = 5").arg(QLatin1String(table))));
    }
    db::index::ForgetMemory();
    db::DiscFilter disc;
    disc.title = QStringLiteral("月光传说");
    qint64 count = 0;
    QCOMPARE(listedIds(db::DiscFilterQuery(disc), &count), (QList<qint64>{1, 4}));
    QCOMPARE(count, qint64(2));
    QCOMPARE(f.scalar("PRAGMA user_version").toInt(), db::SchemaVersion());
    QVERIFY(f.scalar("SELECT count(*) FROM disc_index_bits WHERE length(term) = 5").toInt() > 0);
    for (const auto &[name, ids] : {std::pair{QStringLiteral("欧阳娜娜"), QList<qint64>{1}},
                                    std::pair{QStringLiteral("na l"), QList<qint64>{3}}}) {
        db::CustomerCriteria c;
        c.name = name;
        QCOMPARE(listedIds(db::CustomerCriteriaQuery(c), &count), ids);
    }
    QCOMPARE(f.problems(), QString());
}

void tst_hostileindex::customers_data()
{
    discs_data();
}

void tst_hostileindex::customers()
{
    QFETCH(bool, server);
    QFETCH(QString, memory);
    ProgramFolder f;
    if (!testsupport::ReadyForEngine(server, m_server.get()))
        QSKIP("no test server (LANLAN_TEST_PG)");
    const QStringList stored = storedTexts();
    for (int i = 0; i < stored.size(); ++i) {
        storeRow(f, server, QStringLiteral("INSERT INTO table2 (t1, t2, t3, s1, s2) VALUES (?, ?, ?, ?, 1)"),
                 {stored.at(i), QStringLiteral("card%1").arg(i), stored.at((i + 5) % stored.size()),
                  i % 4 == 0 ? QVariant() : QVariant(QDate(2026, 1, 1).addDays(i % 9).toString(Qt::ISODate))});
    }
    if (memory == QLatin1String("filed"))
        QVERIFY(rebuild(db::RebuildCustomerIndex));
    if (memory == QLatin1String("folded"))
        db::index::SetCompactAt(1);

    int wrong = 0;
    for (const QString &text : searchTexts()) {
        for (int field = 0; field < 2; ++field) {
            db::CustomerCriteria c;
            (field == 0 ? c.name : c.cardType) = text;
            const db::PagedQuery q = db::CustomerCriteriaQuery(c);
            const QList<qint64> plain = plainIds(f, QStringLiteral("table2"), q);
            qint64 count = -1;
            const QList<qint64> listed = listedIds(q, &count);
            ++m_searches;
            if (plain == QList<qint64>{-1} || listed != plain || count != plain.size()) {
                ++wrong;
                qWarning("%s [%s]: index %s (count %lld), statement %s", field == 0 ? "name" : "card type",
                         qPrintable(shown(text)), qPrintable(joined(listed)), count, qPrintable(joined(plain)));
            }
        }
    }
    QCOMPARE(wrong, 0);
    QCOMPARE(indexProblems(db::CheckCustomerIndex), QString());
    if (!server)
        QCOMPARE(f.problems(), QString());
}

QTEST_GUILESS_MAIN(tst_hostileindex)
#include "tst_hostileindex.moc"
