// The statistics against a tally kept while a shop is generated through the shop's own
// operations: rentals, returns, refunds, deletes of discs on the shelf and out, corrections.
#include <QtTest>

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
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

QDate monthOf(const QDate &d) { return QDate(d.year(), d.month(), 1); }

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
    void cleanup() { db::Clock::setFixed({}); }
    void figuresEqualTally_data();
    void figuresEqualTally();
};

void TestStatistics::figuresEqualTally_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("days");
    QTest::newRow("four months") << 7u << 120;
    QTest::newRow("over a year") << 21u << 400;
}

void TestStatistics::figuresEqualTally()
{
    QFETCH(quint32, seed);
    QFETCH(int, days);
    ProgramFolder folder;
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
                const int card = int(random.bounded(12));
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
                const qint64 customer = customerOfCard.value(int(random.bounded(12)));
                const QList<QVariantList> open = folder.rows(
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

    const QDate from = today.addDays(-59);
    auto s = db::ReadStatistics(today, from, today);
    QVERIFY2(s.ok(), qPrintable(s.error()));
    QCOMPARE(s->days.size(), 30);
    for (const db::RentalCount &c : s->days) {
        QCOMPARE(c.rentals, t.rentals.value(c.from));
        QCOMPARE(c.returns, t.returns.value(c.from));
    }
    QCOMPARE(s->days.last().from, today);
    QCOMPARE(s->months.size(), 12);
    QCOMPARE(s->months.last().from, monthOf(today));
    for (const db::RentalCount &c : s->months) {
        qint64 rentals = 0, returns = 0;
        for (auto it = t.rentals.cbegin(); it != t.rentals.cend(); ++it)
            rentals += monthOf(it.key()) == c.from ? it.value() : 0;
        for (auto it = t.returns.cbegin(); it != t.returns.cend(); ++it)
            returns += monthOf(it.key()) == c.from ? it.value() : 0;
        QCOMPARE(c.rentals, rentals);
        QCOMPARE(c.returns, returns);
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
    for (const db::DepositMonth &m : s->deposits) {
        QCOMPARE(m.taken, t.taken.value(m.month));
        QCOMPARE(m.refunded, t.refunded.value(m.month));
    }

    QMap<QString, qint64> byTitle;
    QMap<qint64, qint64> byCustomer;
    for (const auto &[day, title, customer] : std::as_const(t.rented)) {
        if (day >= from && day <= today) {
            byTitle[title] += 1;
            byCustomer[customer] += 1;
        }
    }
    QVERIFY(!s->topTitles.isEmpty());
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
    QCOMPARE(s->topCustomers.size(), std::min<qsizetype>(20, byCustomer.size()));
    for (const db::Ranked &r : s->topCustomers) {
        QCOMPARE(r.rentals, byCustomer.value(r.id));
        QVERIFY(r.name.startsWith(QStringLiteral("客户")));
    }
}

QTEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
