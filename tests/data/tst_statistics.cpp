// The statistics against a tally kept while a shop is generated through the shop's own
// operations: rentals, returns, refunds, deletes of discs on the shelf and out, corrections;
// on both engines, for periods of several shapes, and on a file upgraded from an earlier layout.
#include <QtTest>

#include <memory>

#include <QMap>
#include <QRandomGenerator>
#include <QSet>

#include "data/shop/discrecords.h"
#include "data/shop/rentals.h"
#include "data/shop/returns.h"
#include "data/shop/statistics.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/pagedquery.h"
#include "data/store/location.h"
#include "data/store/schema.h"
#include "support/programfolder.h"
#include "support/servershop.h"

using testsupport::ProgramFolder;
using testsupport::ServerDatabase;

namespace {

QDate monthOf(const QDate &d) { return QDate(d.year(), d.month(), 1); }

QList<QVariantList> rows(const QString &sql, const QVariantList &binds)
{
    db::Connection c;
    auto q = c.run(sql, binds);
    QList<QVariantList> out;
    while (q && q.value().next())
        out << QVariantList{q.value().value(0), q.value().value(1), q.value().value(2)};
    return out;
}

// The period a test row names, as of `today`.
std::pair<QDate, QDate> periodOf(const QString &name, const QDate &today)
{
    if (name == QLatin1String("last 7 days"))
        return {today.addDays(-6), today};
    if (name == QLatin1String("last 60 days"))
        return {today.addDays(-59), today};
    if (name == QLatin1String("whole months back")) // first day of one month to the last of another
        return {monthOf(today).addMonths(-5), monthOf(today).addMonths(-1).addDays(-1)};
    if (name == QLatin1String("within one year")) // mid-month to mid-month, one year's months
        return {today.addDays(-90), today.addDays(-10)};
    return {today.addDays(-200), today.addDays(-45)}; // "mid-month to mid-month"
}

// What the generator did, counted as it did it.
struct Tally
{
    QMap<QDate, qint64> rentals, returns;          // per day
    QMap<QDate, double> taken, refunded;           // per month
    QMap<qint64, QDate> outSince;                  // disc -> day rented (discs on loan)
    QMap<qint64, std::pair<double, QDate>> held;   // customer -> deposit, day taken
    QList<std::tuple<QDate, QString, qint64>> rented; // day, title at rental, customer
    QMap<qint64, QString> titles;                  // disc -> title now (absent: free slot)
};

} // namespace

class TestStatistics : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (testsupport::TestServer())
            m_server = std::make_unique<ServerDatabase>();
    }
    void cleanupTestCase() { m_server.reset(); }
    void cleanup()
    {
        db::Clock::setFixed({});
        db::Connection::closeServerConnection();
        db::ShopLocation::useFile();
    }
    void figuresEqualTally_data();
    void figuresEqualTally();
    void upgradedFileHasItsFigures_data();
    void upgradedFileHasItsFigures();

private:
    std::unique_ptr<ServerDatabase> m_server;
};

void TestStatistics::figuresEqualTally_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("period");
    for (bool server : {false, true}) {
        const char *engine = server ? "server" : "file";
        QTest::addRow("%s, four months, last 60 days", engine) << server << 7u << 120 << "last 60 days";
        QTest::addRow("%s, four months, last 7 days", engine) << server << 11u << 120 << "last 7 days";
        QTest::addRow("%s, over a year, whole months back", engine) << server << 21u << 400 << "whole months back";
        QTest::addRow("%s, over a year, mid-month to mid-month", engine) << server << 33u << 400 << "mid-month to mid-month";
        QTest::addRow("%s, over a year, within one year", engine) << server << 45u << 400 << "within one year";
    }
}

void TestStatistics::figuresEqualTally()
{
    QFETCH(bool, server);
    QFETCH(quint32, seed);
    QFETCH(int, days);
    QFETCH(QString, period);
    ProgramFolder folder;
    if (server) {
        if (!m_server)
            QSKIP("no test server (LANLAN_TEST_PG)");
        if (!m_server->ok() || !m_server->reset())
            qFatal("the test server is set (LANLAN_TEST_PG) but cannot be used");
    }
    QRandomGenerator random(seed);
    Tally t;
    const QDate start(2025, 3, 1);
    db::Clock::setFixed(QDateTime(start, QTime(10, 0)));
    for (int i = 1; i <= 40; ++i) {
        // Titles repeat, so the ranking counts titles, not discs.
        const QString title = QStringLiteral("片%1").arg(i % 25);
        auto id = db::AddDisc({title, QStringLiteral("A1"), QStringLiteral("1")});
        QVERIFY2(id.ok(), qPrintable(id.error()));
        t.titles.insert(*id, title);
    }
    QMap<qint64, qint64> customerOfCard;
    QDate today = start;
    for (int d = 0; d < days; ++d) {
        today = start.addDays(d);
        db::Clock::setFixed(QDateTime(today, QTime(10, 0)));
        const int actions = int(random.bounded(4));
        for (int a = 0; a < actions; ++a) {
            const int what = int(random.bounded(10));
            if (what < 5) { // a rental of one or two discs on the shelf
                // More customers than a ranking holds, so that the walk down the totals stops early.
                const int card = int(random.bounded(40));
                db::RentalRequest r;
                r.name = QStringLiteral("客户%1").arg(card);
                r.card = QStringLiteral("ID%1").arg(card);
                r.deposit = random.bounded(3) == 0 ? QStringLiteral("50") : QString();
                for (auto it = t.titles.cbegin(); it != t.titles.cend() && r.discs.size() < 2; ++it) {
                    if (!t.outSince.contains(it.key()) && random.bounded(4) == 0)
                        r.discs << db::PickedDisc{it.key(), it.value()};
                }
                if (r.discs.isEmpty())
                    continue;
                auto customer = db::CommitRental(r);
                QVERIFY2(customer.ok(), qPrintable(customer.error()));
                customerOfCard[card] = *customer;
                if (!r.deposit.isEmpty() && t.held.value(*customer).first == 0) {
                    t.held[*customer] = {50, today};
                    t.taken[monthOf(today)] += 50;
                }
                for (const db::PickedDisc &p : std::as_const(r.discs)) {
                    t.outSince[p.id] = today;
                    t.rentals[today] += 1;
                    t.rented << std::tuple{today, p.title, *customer};
                }
            } else if (what < 8) { // a customer brings back what is open
                if (customerOfCard.isEmpty())
                    continue;
                const qint64 customer = customerOfCard.value(int(random.bounded(40)));
                const QList<QVariantList> open = rows(
                    QStringLiteral("SELECT id, discid, discname, s1 FROM table4 WHERE khid = ? AND s2 IS NULL"), {customer});
                QList<qint64> records;
                for (const QVariantList &row : open) {
                    records << row.at(0).toLongLong();
                    t.returns[today] += 1;
                    // The disc comes back on the shelf when its slot still holds it.
                    if (t.titles.value(row.at(1).toLongLong()) == row.at(2).toString())
                        t.outSince.remove(row.at(1).toLongLong());
                }
                if (records.isEmpty())
                    continue;
                QVERIFY(db::ReturnDiscs(customer, records).ok());
                if (random.bounded(2) == 0) {
                    auto refunded = db::RefundDeposit(customer);
                    QVERIFY(refunded.ok());
                    if (*refunded) {
                        t.refunded[monthOf(today)] += t.held.value(customer).first;
                        t.held.remove(customer);
                    }
                }
            } else if (what == 8) { // a disc deleted, out or not
                const qint64 id = 1 + random.bounded(40);
                if (!t.titles.contains(id))
                    continue;
                QVERIFY(db::DeleteDiscs({id}).ok());
                t.titles.remove(id);
                t.outSince.remove(id);
            } else { // a correction of a disc on the shelf, or a new disc in a free slot
                const qint64 id = 1 + random.bounded(40);
                const QString title = QStringLiteral("改%1").arg(d);
                if (!t.titles.contains(id)) {
                    auto added = db::AddDisc({title, QStringLiteral("B2"), QStringLiteral("2")});
                    QVERIFY(added.ok());
                    t.titles.insert(*added, title);
                } else if (!t.outSince.contains(id)) {
                    QVERIFY(db::UpdateDisc(id, {title}).ok());
                    t.titles[id] = title;
                }
            }
        }
    }

    const auto [from, to] = periodOf(period, today);
    auto s = db::ReadStatistics(today, from, to);
    QVERIFY2(s.ok(), qPrintable(s.error()));
    // Per day: the period's days, at most its last 31.
    QCOMPARE(s->days.first().from, std::max(from, to.addDays(-30)));
    QCOMPARE(s->days.last().from, to);
    QCOMPARE(s->days.size(), s->days.first().from.daysTo(to) + 1);
    for (const db::RentalCount &c : s->days) {
        QCOMPARE(c.rentals, t.rentals.value(c.from));
        QCOMPARE(c.returns, t.returns.value(c.from));
    }
    // Per month: whole months, from the period's first or 12 back from its last.
    QCOMPARE(s->months.last().from, monthOf(to));
    QCOMPARE(s->months.first().from, std::min(monthOf(from), monthOf(to).addMonths(-11)));
    QCOMPARE(s->deposits.size(), s->months.size());
    for (qsizetype i = 0; i < s->months.size(); ++i) {
        const db::RentalCount &c = s->months.at(i);
        QCOMPARE(c.from, s->months.first().from.addMonths(int(i)));
        qint64 rentals = 0, returns = 0;
        for (auto it = t.rentals.cbegin(); it != t.rentals.cend(); ++it)
            rentals += monthOf(it.key()) == c.from ? it.value() : 0;
        for (auto it = t.returns.cbegin(); it != t.returns.cend(); ++it)
            returns += monthOf(it.key()) == c.from ? it.value() : 0;
        QCOMPARE(c.rentals, rentals);
        QCOMPARE(c.returns, returns);
        QCOMPARE(s->deposits.at(i).month, c.from);
        QCOMPARE(s->deposits.at(i).taken, t.taken.value(c.from));
        QCOMPARE(s->deposits.at(i).refunded, t.refunded.value(c.from));
    }

    qint64 out[db::kDaysOutGroups] = {};
    for (const QDate &since : std::as_const(t.outSince)) {
        const qint64 n = since.daysTo(today);
        ++out[n <= 7 ? 0 : n <= 30 ? 1 : n <= 90 ? 2 : 3];
    }
    for (int g = 0; g < db::kDaysOutGroups; ++g) {
        QCOMPARE(s->discsOut[g], out[g]);
        // The list a bar opens holds exactly the discs it counts.
        db::Connection c;
        auto listed = db::CountRows(c, db::DiscsOutQuery(db::DaysOut(g), today));
        QVERIFY(listed.ok());
        QCOMPARE(*listed, out[g]);
    }

    double held = 0;
    for (const auto &h : std::as_const(t.held))
        held += h.first;
    QCOMPARE(s->depositsHeld, held);

    QMap<QString, qint64> byTitle;
    QMap<qint64, qint64> byCustomer;
    for (const auto &[day, title, customer] : std::as_const(t.rented)) {
        if (day >= from && day <= to) {
            byTitle[title] += 1;
            byCustomer[customer] += 1;
        }
    }
    QVERIFY2(!byTitle.isEmpty(), "the period should hold rentals");
    QCOMPARE(s->topTitles.size(), std::min<qsizetype>(20, byTitle.size()));
    for (qsizetype i = 0; i < s->topTitles.size(); ++i) {
        QCOMPARE(s->topTitles.at(i).rentals, byTitle.value(s->topTitles.at(i).name));
        if (i > 0)
            QVERIFY(s->topTitles.at(i - 1).rentals >= s->topTitles.at(i).rentals);
    }
    // Nothing left out ranks above the last one shown.
    for (auto it = byTitle.cbegin(); it != byTitle.cend(); ++it) {
        const bool shown = std::any_of(s->topTitles.cbegin(), s->topTitles.cend(),
                                       [&](const db::Ranked &r) { return r.name == it.key(); });
        QVERIFY(shown || it.value() <= s->topTitles.last().rentals);
    }
    // Customers: the walks down the kept totals and month sums and the count of the period
    // agree with the tally.
    for (db::CustomerRanking way : {db::CustomerRanking::Cheaper, db::CustomerRanking::Walk, db::CustomerRanking::Months,
                                    db::CustomerRanking::Count}) {
        db::ShopStatistics p;
        db::Connection c;
        QVERIFY(db::ReadPeriod(c, from, to, p, way).ok());
        QCOMPARE(p.topCustomers.size(), std::min<qsizetype>(20, byCustomer.size()));
        for (qsizetype i = 0; i < p.topCustomers.size(); ++i) {
            const db::Ranked &r = p.topCustomers.at(i);
            QCOMPARE(r.rentals, byCustomer.value(r.id));
            QVERIFY(r.name.startsWith(QStringLiteral("客户")));
            if (i > 0)
                QVERIFY(p.topCustomers.at(i - 1).rentals >= r.rentals);
        }
        for (auto it = byCustomer.cbegin(); it != byCustomer.cend(); ++it) {
            const bool shown = std::any_of(p.topCustomers.cbegin(), p.topCustomers.cend(),
                                           [&](const db::Ranked &r) { return r.id == it.key(); });
            QVERIFY(shown || it.value() <= p.topCustomers.last().rentals);
        }
    }
    if (!server)
        QCOMPARE(folder.problems(), QString());
}

void TestStatistics::upgradedFileHasItsFigures_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("version 7") << 7;
    QTest::newRow("version 6") << 6;
    QTest::newRow("version 5") << 5;
    QTest::newRow("first release") << 1;
}

// A file of an earlier layout gets its figures counted from its rows when first opened.
void TestStatistics::upgradedFileHasItsFigures()
{
    QFETCH(int, version);
    ProgramFolder folder;
    db::Clock::setFixed(QDateTime(QDate(2026, 6, 15), QTime(9, 0)));
    folder.writeOldFile(version, {
        "INSERT INTO table2 (t1, t4, s5, s1) VALUES ('张三', 100, '2026-06-01', '2026-06-14'), "
        "('李四', 0, NULL, '2026-06-10'), ('王五', 50.5, NULL, NULL)",
        "INSERT INTO table6 (khid, s1, s2, s3) VALUES (2, 30, '2026-05-05', '2026-06-02'), (2, 20, NULL, '2026-06-03')",
        "INSERT INTO table1 (t13, t7, s1, s3) VALUES ('甲', 1, '2026-06-12', '张三'), ('乙', 1, NULL, NULL)",
        "INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES "
        "(1, '甲', 1, '2026-06-12', NULL, NULL), (2, '乙', 2, '2026-06-10', '√', '2026-06-14'), "
        "(2, '乙', 1, '2026-06-14 10:30:00', '√', '2026-06-15'), (2, '乙', 2, '2026-04-30', '√', '2026-05-02')",
        // A date with no plain month falls between September and October.
        "INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES (2, '乙', 2, '2026-1', '√', '2026-10-01')",
    });
    auto s = db::ReadStatistics(QDate(2026, 6, 15), QDate(2026, 6, 1), QDate(2026, 6, 15));
    QVERIFY2(s.ok(), qPrintable(s.error()));
    QCOMPARE(folder.scalar("PRAGMA user_version").toInt(), db::SchemaVersion());
    const auto day = [&](int d) { return s->days.at(d - 1); };
    QCOMPARE(s->days.size(), 15);
    QCOMPARE(day(12).rentals, qint64(1));
    QCOMPARE(day(14).rentals, qint64(1));
    QCOMPARE(day(14).returns, qint64(1));
    QCOMPARE(day(15).returns, qint64(1));
    QCOMPARE(s->months.last().rentals, qint64(3));
    QCOMPARE(s->months.at(s->months.size() - 2).rentals, qint64(0));
    QCOMPARE(s->months.at(s->months.size() - 2).returns, qint64(1));
    QCOMPARE(s->depositsHeld, 150.5);
    QCOMPARE(s->deposits.last().taken, 100.0);
    QCOMPARE(s->deposits.last().refunded, 50.0);
    QCOMPARE(s->deposits.at(s->deposits.size() - 2).taken, 30.0);
    QCOMPARE(s->topTitles.size(), 2);
    QCOMPARE(s->topTitles.first().name, QStringLiteral("乙"));
    QCOMPARE(s->topTitles.first().rentals, qint64(2));
    QCOMPARE(s->topCustomers.size(), 2);
    QCOMPARE(s->topCustomers.first().name, QStringLiteral("张三"));
    QCOMPARE(s->topCustomers.first().rentals, qint64(2));
    QCOMPARE(s->discsOut[0], qint64(1));
    for (db::CustomerRanking way : {db::CustomerRanking::Months, db::CustomerRanking::Count}) {
        db::ShopStatistics p;
        db::Connection c;
        QVERIFY(db::ReadPeriod(c, QDate(2026, 9, 20), QDate(2026, 10, 10), p, way).ok());
        QCOMPARE(p.topCustomers.size(), 1);
        QCOMPARE(p.topCustomers.first().name, QStringLiteral("李四"));
        QCOMPARE(p.topCustomers.first().rentals, qint64(1));
    }
    QCOMPARE(folder.problems(), QString());
}

QTEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
