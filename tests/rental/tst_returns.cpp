// Returns, deposit refunds and card invalidation as data operations, and what the rental
// status window is given to show.
#include <QtTest>

#include "data/store/clock.h"
#include "data/shop/returns.h"
#include "rentals.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;
using namespace rentals;

namespace {

const QString kToday = QStringLiteral("2026-03-15");

QList<qint64> recordsOf(const QList<db::StatusRow> &rows)
{
    QList<qint64> ids;
    for (const db::StatusRow &r : rows)
        ids << r.record;
    return ids;
}

// Every table a return or refund may touch, as text, to see that nothing changed.
QString snapshot(const ProgramFolder &f)
{
    QString out;
    for (const char *sql : {"SELECT * FROM table1 ORDER BY id", "SELECT * FROM table2 ORDER BY id",
                            "SELECT * FROM table4 ORDER BY id", "SELECT * FROM table5 ORDER BY id",
                            "SELECT * FROM table6 ORDER BY id"}) {
        for (const QVariantList &row : rows(f, QString::fromLatin1(sql))) {
            for (const QVariant &v : row)
                out += (v.isNull() ? QStringLiteral("∅") : v.toString()) + QLatin1Char('|');
            out += QLatin1Char('\n');
        }
    }
    return out;
}

void setToday(const QDate &d)
{
    db::Clock::setFixed(QDateTime(d, QTime(9, 0)));
}

} // namespace

class TestReturns : public QObject
{
    Q_OBJECT
private slots:
    void twoOfThreeThenTheThird();
    void nothingTickedChangesNothing();
    void marksAndDays_data();
    void marksAndDays();
    void customerWhoNeverRented();
    void customerDetails();
    void slotNoLongerHoldingTheDisc_data();
    void slotNoLongerHoldingTheDisc();
    void sameDiscTwiceOnOneDay();
    void anotherCustomersRecordIsLeftAlone();
    void twoWindowsReturnOnce();
    void settledByTheLastReturnWhicheverWindow();
    void refund_data();
    void refund();
    void invalidate_data();
    void invalidate();
    void numbersBeyond32Bits();
};

void TestReturns::twoOfThreeThenTheThird()
{
    ProgramFolder f;
    addCustomer(f, 3, QStringLiteral("张三"));
    for (int d = 1; d <= 3; ++d)
        addDisc(f, d, QStringLiteral("碟%1").arg(d), d == 2 ? 2 : 1);
    const qint64 r1 = rent(f, 1, 3, QStringLiteral("2026-03-10"));
    const qint64 r2 = rent(f, 2, 3, QStringLiteral("2026-03-12"));
    const qint64 r3 = rent(f, 3, 3, QStringLiteral("2026-03-14"));

    auto before = db::LoadRentalStatus(3);
    QVERIFY(before.ok());
    QCOMPARE(recordsOf(before->out), (QList<qint64>{r3, r2, r1})); // newest first
    QCOMPARE(before->discsOut, qint64(4));
    QCOMPARE(before->discsRented, qint64(4));

    auto first = db::ReturnDiscs(3, {r1, r3});
    QVERIFY2(first.ok(), qPrintable(first.error()));
    QCOMPARE(first->returned, qint64(2));
    QVERIFY(!first->settled);
    const auto records = rows(f, QStringLiteral("SELECT id, s2, s3 FROM table4 ORDER BY id"));
    QCOMPARE(records[0], (QVariantList{r1, QStringLiteral("√"), kToday}));
    QCOMPARE(records[1], (QVariantList{r2, QVariant(), QVariant()}));
    QCOMPARE(records[2], (QVariantList{r3, QStringLiteral("√"), kToday}));
    const auto discs = rows(f, QStringLiteral("SELECT id, s1, s3 FROM table1 ORDER BY id"));
    QCOMPARE(discs[0], (QVariantList{1, QVariant(), QVariant()}));
    QCOMPARE(discs[1], (QVariantList{2, QStringLiteral("2026-03-12"), QStringLiteral("张三")}));
    QCOMPARE(discs[2], (QVariantList{3, QVariant(), QVariant()}));
    QVERIFY(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 3")).isNull());

    auto after = db::LoadRentalStatus(3);
    QCOMPARE(recordsOf(after->out), QList<qint64>{r2});
    QCOMPARE(after->discsOut, qint64(2));
    QCOMPARE(after->history.size(), 3);

    auto last = db::ReturnDiscs(3, {r2});
    QVERIFY(last.ok());
    QCOMPARE(last->returned, qint64(1));
    QVERIFY(last->settled);
    QCOMPARE(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 3")).toString(), QStringLiteral("√"));
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE s3 IS NOT NULL")).toInt(), 0);
}

void TestReturns::nothingTickedChangesNothing()
{
    ProgramFolder f;
    addCustomer(f, 1, QStringLiteral("李四"));
    addDisc(f, 1, QStringLiteral("碟"));
    rent(f, 1, 1, QStringLiteral("2026-03-01"));
    addCustomer(f, 2, QStringLiteral("没有碟在外"));
    const QString before = snapshot(f);
    for (const qint64 customer : {1, 2}) {
        auto r = db::ReturnDiscs(customer, {});
        QVERIFY(r.ok());
        QCOMPARE(r->returned, qint64(0));
        QVERIFY(!r->settled);
    }
    QCOMPARE(snapshot(f), before);
}

void TestReturns::marksAndDays_data()
{
    QTest::addColumn<QString>("rented");
    QTest::addColumn<QVariant>("state");    // table4.s2
    QTest::addColumn<QVariant>("returned"); // table4.s3
    QTest::addColumn<QVariant>("deleted");  // table4.s4
    QTest::addColumn<QString>("days");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<bool>("out");
    const QVariant none;
    QTest::newRow("out 5 days") << "2026-03-10" << none << none << none << "5" << "" << true;
    QTest::newRow("out since today") << kToday << none << none << none << "0" << "" << true;
    QTest::newRow("out since last year") << "2025-12-31" << none << none << none << "74" << "" << true;
    QTest::newRow("returned after 3 days") << "2026-03-01" << QVariant("√") << QVariant("2026-03-04") << none << "3" << "√" << false;
    QTest::newRow("returned the same day") << "2026-03-01" << QVariant("√") << QVariant("2026-03-01") << none << "0" << "√" << false;
    QTest::newRow("deleted while out") << "2026-03-01" << QVariant("已删除") << none << QVariant("2026-03-08") << "7" << "*" << false;
    QTest::newRow("returned, then deleted") << "2026-03-01" << QVariant("已删除") << QVariant("2026-03-03")
                                            << QVariant("2026-03-10") << "2" << "√*" << false;
}

void TestReturns::marksAndDays()
{
    QFETCH(QString, rented);
    QFETCH(QVariant, state);
    QFETCH(QVariant, returned);
    QFETCH(QVariant, deleted);
    QFETCH(QString, days);
    QFETCH(QString, mark);
    QFETCH(bool, out);
    ProgramFolder f;
    addCustomer(f, 4, QStringLiteral("王五"));
    addDisc(f, 9, QStringLiteral("月光传说"), 2);
    const qint64 record = rent(f, 9, 4, rented);
    f.exec(QStringLiteral("UPDATE table4 SET s2 = ?, s3 = ?, s4 = ? WHERE id = ?"), {state, returned, deleted, record});
    if (!out)
        f.exec(QStringLiteral("UPDATE table1 SET s1 = NULL, s3 = NULL WHERE id = 9"));
    if (deleted.isValid())
        f.exec(QStringLiteral("UPDATE table1 SET t13 = NULL, t14 = NULL, t11 = NULL, t7 = NULL, t18 = NULL WHERE id = 9"));

    auto st = db::LoadRentalStatus(4);
    QVERIFY2(st.ok(), qPrintable(st.error()));
    QCOMPARE(st->history.size(), 1);
    const QStringList cells = db::StatusCells(st->history.first());
    const bool gone = deleted.isValid();
    QCOMPARE(cells, (QStringList{"000009", "月光传说", gone ? "" : "主角", gone ? "" : "导演", gone ? "" : "2",
                                 gone ? "" : "DVD", rented, days, mark}));
    QCOMPARE(st->out.size(), out ? 1 : 0);
    QCOMPARE(st->discsOut, out ? qint64(2) : qint64(0));
    if (out)
        QCOMPARE(db::StatusCells(st->out.first()), cells);
}

void TestReturns::customerWhoNeverRented()
{
    ProgramFolder f;
    addCustomer(f, 8, QStringLiteral("新客"));
    f.exec(QStringLiteral("UPDATE table2 SET s2 = 3 WHERE id = 8")); // a total without any record
    for (const qint64 customer : {8, 99}) { // registered; no such customer
        auto st = db::LoadRentalStatus(customer);
        QVERIFY(st.ok());
        QCOMPARE(st->found, customer == 8);
        QVERIFY(st->out.isEmpty());
        QVERIFY(st->history.isEmpty());
        QCOMPARE(st->discsOut, qint64(0));
        QCOMPARE(st->discsRented, qint64(0));
    }
}

void TestReturns::customerDetails()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, t2, t3, t4, t5) VALUES "
                          "(1, '  赵六 ', '110105198502300', '金卡', 100, ' 备注 '), "
                          "(2, '钱七', NULL, '  ', 0, NULL), (3, '孙八', NULL, NULL, NULL, NULL), "
                          "(4, '周九', NULL, NULL, 50.5, NULL)"));
    auto one = db::LoadRentalStatus(1).value();
    QCOMPARE((QStringList{one.name, one.card, one.cardType, one.deposit, one.remark}),
             (QStringList{"赵六", "110105198502300", "金卡", "100", "备注"}));
    QVERIFY(one.hasCardType && one.hasDeposit);
    for (const qint64 id : {2, 3}) {
        auto st = db::LoadRentalStatus(id).value();
        QVERIFY(!st.hasCardType);
        QVERIFY(!st.hasDeposit);
        QCOMPARE(st.deposit, QString());
        QCOMPARE(st.cardType, QString());
    }
    QCOMPARE(db::LoadRentalStatus(4).value().deposit, QStringLiteral("50.5"));
}

void TestReturns::slotNoLongerHoldingTheDisc_data()
{
    QTest::addColumn<QString>("slotChange");
    QTest::newRow("another disc in the slot, out with someone else")
        << QStringLiteral("UPDATE table1 SET t13 = '江湖往事', s1 = '2026-03-12', s3 = '别人' WHERE id = 5");
    QTest::newRow("same title again, rented on another day")
        << QStringLiteral("UPDATE table1 SET s1 = '2026-03-12', s3 = '别人' WHERE id = 5");
}

// Only the disc the record was for goes back on the shelf; a slot reused meanwhile stays.
void TestReturns::slotNoLongerHoldingTheDisc()
{
    QFETCH(QString, slotChange);
    ProgramFolder f;
    addCustomer(f, 1, QStringLiteral("张三"));
    addDisc(f, 5, QStringLiteral("月光传说"));
    const qint64 record = rent(f, 5, 1, QStringLiteral("2026-03-01"));
    f.exec(slotChange);
    const auto slot = rows(f, QStringLiteral("SELECT * FROM table1 WHERE id = 5"));
    auto r = db::ReturnDiscs(1, {record});
    QVERIFY(r.ok());
    QCOMPARE(r->returned, qint64(1));
    QCOMPARE(f.scalar(QStringLiteral("SELECT s2 FROM table4 WHERE id = ?"), {record}).toString(), QStringLiteral("√"));
    QCOMPARE(rows(f, QStringLiteral("SELECT * FROM table1 WHERE id = 5")), slot);
}

// A disc rented, returned and rented again by the same customer on one day: returning the
// second record leaves the first with its own return date.
void TestReturns::sameDiscTwiceOnOneDay()
{
    ProgramFolder f;
    addCustomer(f, 2, QStringLiteral("李四"));
    addDisc(f, 7, QStringLiteral("风云"));
    setToday(QDate(2026, 3, 10));
    const qint64 first = rent(f, 7, 2, QStringLiteral("2026-03-10"));
    QVERIFY(db::ReturnDiscs(2, {first}).ok());
    const qint64 second = rent(f, 7, 2, QStringLiteral("2026-03-10"));
    setToday(testsupport::Today());

    auto st = db::LoadRentalStatus(2);
    QCOMPARE(recordsOf(st->out), QList<qint64>{second});
    auto r = db::ReturnDiscs(2, recordsOf(st->out));
    QVERIFY(r.ok());
    QCOMPARE(r->returned, qint64(1));
    QVERIFY(r->settled);
    const auto records = rows(f, QStringLiteral("SELECT id, s2, s3 FROM table4 ORDER BY id"));
    QCOMPARE(records, (QList<QVariantList>{{first, QStringLiteral("√"), QStringLiteral("2026-03-10")},
                                           {second, QStringLiteral("√"), kToday}}));
    QVERIFY(f.scalar(QStringLiteral("SELECT s3 FROM table1 WHERE id = 7")).isNull());
}

void TestReturns::anotherCustomersRecordIsLeftAlone()
{
    ProgramFolder f;
    addCustomer(f, 1, QStringLiteral("甲"));
    addCustomer(f, 2, QStringLiteral("乙"));
    addDisc(f, 1, QStringLiteral("碟"));
    const qint64 record = rent(f, 1, 2, QStringLiteral("2026-03-01"));
    const QString before = snapshot(f);
    auto r = db::ReturnDiscs(1, {record, 12345});
    QVERIFY(r.ok());
    QCOMPARE(r->returned, qint64(0));
    QCOMPARE(snapshot(f), before);
}

// Two windows showed the same discs out; the second submit finds them returned and leaves
// their return date as the first one wrote it.
void TestReturns::twoWindowsReturnOnce()
{
    ProgramFolder f;
    addCustomer(f, 1, QStringLiteral("张三"));
    addDisc(f, 1, QStringLiteral("碟1"));
    addDisc(f, 2, QStringLiteral("碟2"));
    const QList<qint64> shown = {rent(f, 1, 1, QStringLiteral("2026-03-01")), rent(f, 2, 1, QStringLiteral("2026-03-01"))};
    QCOMPARE(db::ReturnDiscs(1, shown)->returned, qint64(2));
    // The disc goes out again to someone else before the second window submits.
    addCustomer(f, 2, QStringLiteral("李四"));
    rent(f, 1, 2, QStringLiteral("2026-03-15"));
    setToday(QDate(2026, 3, 16));
    const QString before = snapshot(f);
    auto again = db::ReturnDiscs(1, shown);
    QVERIFY(again.ok());
    QCOMPARE(again->returned, qint64(0));
    QCOMPARE(snapshot(f), before);
}

void TestReturns::settledByTheLastReturnWhicheverWindow()
{
    ProgramFolder f;
    addCustomer(f, 1, QStringLiteral("张三"));
    for (int d = 1; d <= 3; ++d)
        addDisc(f, d, QStringLiteral("碟%1").arg(d));
    QList<qint64> records;
    for (int d = 1; d <= 3; ++d)
        records << rent(f, d, 1, QStringLiteral("2026-03-01"));
    QVERIFY(!db::ReturnDiscs(1, records.mid(0, 2))->settled); // window A: two of three
    auto b = db::ReturnDiscs(1, {records[2]});                // window B, opened before, ticks the third
    QVERIFY(b->settled);
    QCOMPARE(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 1")).toString(), QStringLiteral("√"));
}

void TestReturns::refund_data()
{
    QTest::addColumn<QVariant>("deposit");
    QTest::addColumn<QVariant>("taken");
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("written");
    QTest::newRow("100 yuan") << QVariant(100) << QVariant("2025-07-01") << 1 << true;
    QTest::newRow("pressed again in another window") << QVariant(100) << QVariant("2025-07-01") << 2 << true;
    QTest::newRow("no date taken") << QVariant(200) << QVariant() << 1 << true;
    QTest::newRow("no deposit") << QVariant(0) << QVariant() << 1 << false;
    QTest::newRow("deposit NULL") << QVariant() << QVariant() << 1 << false;
}

void TestReturns::refund()
{
    QFETCH(QVariant, deposit);
    QFETCH(QVariant, taken);
    QFETCH(int, presses);
    QFETCH(bool, written);
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, t4, s5) VALUES (6, '王五', ?, ?)"), {deposit, taken});
    QList<bool> results;
    for (int i = 0; i < presses; ++i) {
        auto r = db::RefundDeposit(6);
        QVERIFY2(r.ok(), qPrintable(r.error()));
        results << *r;
    }
    QCOMPARE(results.first(), written);
    QCOMPARE(results.count(true), written ? 1 : 0);
    const auto history = rows(f, QStringLiteral("SELECT khid, s1, s2, s3 FROM table6"));
    if (written)
        QCOMPARE(history, (QList<QVariantList>{{6, deposit, taken, kToday}}));
    else
        QVERIFY(history.isEmpty());
    const auto customer = rows(f, QStringLiteral("SELECT t4, s5 FROM table2 WHERE id = 6")).first();
    QCOMPARE(customer.at(0), written ? QVariant(0) : deposit);
    QVERIFY(customer.at(1).isNull());
}

void TestReturns::invalidate_data()
{
    QTest::addColumn<QVariant>("cardType");
    QTest::addColumn<QVariant>("since");
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("written");
    QTest::newRow("金卡") << QVariant("金卡") << QVariant("2025-06-01") << 1 << true;
    QTest::newRow("pressed twice") << QVariant("金卡") << QVariant("2025-06-01") << 2 << true;
    QTest::newRow("no date set") << QVariant("银卡") << QVariant() << 1 << true;
    QTest::newRow("no card type") << QVariant() << QVariant() << 1 << false;
    QTest::newRow("blank card type") << QVariant("  ") << QVariant() << 1 << false;
}

void TestReturns::invalidate()
{
    QFETCH(QVariant, cardType);
    QFETCH(QVariant, since);
    QFETCH(int, presses);
    QFETCH(bool, written);
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, t3, s4, t4) VALUES (6, '王五', ?, ?, 100)"), {cardType, since});
    QList<bool> results;
    for (int i = 0; i < presses; ++i) {
        auto r = db::InvalidateCard(6);
        QVERIFY2(r.ok(), qPrintable(r.error()));
        results << *r;
    }
    QCOMPARE(results.count(true), written ? 1 : 0);
    const auto history = rows(f, QStringLiteral("SELECT khid, s1, s2, s3 FROM table5"));
    if (written) {
        QCOMPARE(history, (QList<QVariantList>{{6, cardType, since, kToday}}));
        QCOMPARE(rows(f, QStringLiteral("SELECT t3, s4, t4 FROM table2 WHERE id = 6")).first(),
                 (QVariantList{QVariant(), QVariant(), 100}));
    } else {
        QVERIFY(history.isEmpty());
    }
}

// Numbers past 32 bits reach the right customer, disc and record.
void TestReturns::numbersBeyond32Bits()
{
    ProgramFolder f;
    const qint64 customer = 5000000001, disc = 4300000007;
    addCustomer(f, customer, QStringLiteral("远号"));
    addCustomer(f, customer % 65536, QStringLiteral("近号")); // where a truncated number would land
    addDisc(f, disc, QStringLiteral("大号碟"));
    addDisc(f, disc % 65536, QStringLiteral("小号碟"));
    const qint64 near = rent(f, disc % 65536, customer % 65536, QStringLiteral("2026-03-01"));
    const qint64 record = rent(f, disc, customer, QStringLiteral("2026-03-02"));
    auto st = db::LoadRentalStatus(customer);
    QCOMPARE(st->name, QStringLiteral("远号"));
    QCOMPARE(recordsOf(st->out), QList<qint64>{record});
    QCOMPARE(db::StatusCells(st->out.first()).first(), QStringLiteral("4300000007"));
    QVERIFY(db::ReturnDiscs(customer, {record})->settled);
    QVERIFY(f.scalar(QStringLiteral("SELECT s3 FROM table1 WHERE id = ?"), {disc}).isNull());
    QVERIFY(f.scalar(QStringLiteral("SELECT s2 FROM table4 WHERE id = ?"), {near}).isNull());
    QCOMPARE(f.scalar(QStringLiteral("SELECT s3 FROM table1 WHERE id = ?"), {disc % 65536}).toString(), QStringLiteral("近号"));
}

QTEST_GUILESS_MAIN(TestReturns)
#include "tst_returns.moc"
