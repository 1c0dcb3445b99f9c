// Quick returns and their undo, and reading a scanned number, as data operations.
#include <QtTest>

#include "data/shop/quickreturns.h"
#include "data/shop/returns.h"
#include "data/shop/scans.h"
#include "rentals.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;
using namespace rentals;

namespace {

// Every table a return touches, as text.
QString snapshot(const ProgramFolder &f)
{
    QString out;
    for (const char *sql : {"SELECT * FROM table1 ORDER BY id", "SELECT * FROM table2 ORDER BY id",
                            "SELECT * FROM table4 ORDER BY id"}) {
        for (const QVariantList &row : rows(f, QString::fromLatin1(sql))) {
            for (const QVariant &v : row)
                out += (v.isNull() ? QStringLiteral("∅") : v.toString()) + QLatin1Char('|');
            out += QLatin1Char('\n');
        }
    }
    return out;
}

// Two customers: 张三 has discs 1 and 2 out, 李四 disc 3 (two discs in the package) and 4.
struct Shop
{
    ProgramFolder f;
    qint64 r1, r2, r3, r4;
    Shop()
    {
        addCustomer(f, 7, QStringLiteral("张三"));
        addCustomer(f, 8, QStringLiteral("李四"), 50);
        for (int d = 1; d <= 5; ++d)
            addDisc(f, d, QStringLiteral("碟%1").arg(d), d == 3 ? 2 : 1);
        r1 = rent(f, 1, 7, QStringLiteral("2026-03-01"));
        r2 = rent(f, 2, 7, QStringLiteral("2026-03-02"));
        r3 = rent(f, 3, 8, QStringLiteral("2026-03-03"));
        r4 = rent(f, 4, 8, QStringLiteral("2026-03-04"));
    }
};

} // namespace

class TestQuickReturns : public QObject
{
    Q_OBJECT
private slots:
    void sameEffectAsTheStatusWindowsReturn_data();
    void sameEffectAsTheStatusWindowsReturn();
    void undoPutsEverythingBack();
    void undoRefused_data();
    void undoRefused();
    void recordClosedMeanwhileIsLeftOut();
    void parseScanCode_data();
    void parseScanCode();
    void scanDiscStates();
};

void TestQuickReturns::sameEffectAsTheStatusWindowsReturn_data()
{
    QTest::addColumn<QList<int>>("which"); // indexes into r1..r4
    QTest::newRow("one of 张三's") << QList<int>{0};
    QTest::newRow("all of 张三's: settled") << QList<int>{1, 0};
    QTest::newRow("both customers, all") << QList<int>{2, 0, 3, 1};
    QTest::newRow("mixed, one each") << QList<int>{3, 0};
}

void TestQuickReturns::sameEffectAsTheStatusWindowsReturn()
{
    QFETCH(QList<int>, which);
    // The same shop twice, one after the other (a program folder is the program's one).
    QString afterQuick;
    {
        Shop quick;
        const QList<qint64> records = {quick.r1, quick.r2, quick.r3, quick.r4};
        QList<qint64> picked;
        for (int i : which)
            picked << records.at(i);
        auto done = db::QuickReturn(picked);
        QVERIFY2(done.ok(), qPrintable(done.error()));
        QCOMPARE(done->returned.size(), picked.size());
        QCOMPARE(quick.f.problems(), QString());
        afterQuick = snapshot(quick.f);
    }
    Shop status;
    const QList<qint64> records = {status.r1, status.r2, status.r3, status.r4};
    QList<qint64> of7, of8;
    for (int i : which)
        (i < 2 ? of7 : of8) << records.at(i);
    QVERIFY(db::ReturnDiscs(7, of7).ok());
    QVERIFY(db::ReturnDiscs(8, of8).ok());
    QCOMPARE(afterQuick, snapshot(status.f));
}

void TestQuickReturns::undoPutsEverythingBack()
{
    Shop s;
    const QString before = snapshot(s.f);
    auto done = db::QuickReturn({s.r4, s.r1, s.r2});
    QVERIFY2(done.ok(), qPrintable(done.error()));
    QCOMPARE(s.f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 7")).toString(), QStringLiteral("√"));
    QCOMPARE(s.f.scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE s3 IS NOT NULL")).toInt(), 1);
    QCOMPARE(s.f.problems(), QString());

    auto undone = db::UndoQuickReturn(*done);
    QVERIFY2(undone.ok(), qPrintable(undone.error()));
    QCOMPARE(*undone, 3);
    QCOMPARE(snapshot(s.f), before);
    QCOMPARE(s.f.problems(), QString());
    // A second undo of the same receipt finds the records open: refused.
    QVERIFY(!db::UndoQuickReturn(*done).ok());
    QCOMPARE(snapshot(s.f), before);
}

void TestQuickReturns::undoRefused_data()
{
    QTest::addColumn<QStringList>("meanwhile"); // statements run between return and undo
    QTest::addColumn<QString>("why");
    QTest::newRow("rented again") << QStringList{
        "INSERT INTO table4 (discid, discname, khid, s1) VALUES (2, '碟2', 8, '2026-03-15')",
        "UPDATE table1 SET s1 = '2026-03-15', s3 = '李四', s4 = s4 + 1 WHERE id = 2",
        "UPDATE table2 SET s3 = NULL, s2 = s2 + 1 WHERE id = 8"} << QStringLiteral("再次租出");
    QTest::newRow("rented and returned again") << QStringList{
        "INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES (2, '碟2', 8, '2026-03-15', '√', '2026-03-15')",
        "UPDATE table1 SET s4 = s4 + 1 WHERE id = 2"} << QStringLiteral("再次租出");
    QTest::newRow("slot holds another disc") << QStringList{"UPDATE table1 SET t13 = '新碟' WHERE id = 2"}
                                             << QStringLiteral("柜位");
    QTest::newRow("disc deleted") << QStringList{"UPDATE table1 SET t13 = NULL WHERE id = 2"} << QStringLiteral("柜位");
}

void TestQuickReturns::undoRefused()
{
    QFETCH(QStringList, meanwhile);
    QFETCH(QString, why);
    Shop s;
    auto done = db::QuickReturn({s.r1, s.r2, s.r3});
    QVERIFY(done.ok());
    for (const QString &sql : meanwhile)
        s.f.exec(sql);
    const QString before = snapshot(s.f);
    auto undone = db::UndoQuickReturn(*done);
    QVERIFY(!undone.ok());
    QVERIFY2(undone.error().contains(why), qPrintable(undone.error()));
    QVERIFY(undone.error().contains(QStringLiteral("000002")));
    // Disc 1 and 3 could be undone, but nothing is: all or none.
    QCOMPARE(snapshot(s.f), before);
}

void TestQuickReturns::recordClosedMeanwhileIsLeftOut()
{
    Shop s;
    QVERIFY(db::ReturnDiscs(7, {s.r1}).ok());
    auto done = db::QuickReturn({s.r1, s.r2, s.r2, 999});
    QVERIFY(done.ok());
    QCOMPARE(done->returned.size(), 1);
    QCOMPARE(done->returned.first().record, s.r2);
    QCOMPARE(done->returned.first().disc, 2);
    QCOMPARE(done->returned.first().customer, 7);
    // The undo opens only what this return closed.
    QVERIFY(db::UndoQuickReturn(*done).ok());
    QCOMPARE(s.f.scalar(QStringLiteral("SELECT s2 FROM table4 WHERE id = ?"), {s.r1}).toString(), QStringLiteral("√"));
    QCOMPARE(s.f.problems(), QString());
}

void TestQuickReturns::parseScanCode_data()
{
    using K = db::ScanCode::Kind;
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("number");
    QTest::newRow("disc") << "000123" << int(K::Disc) << qint64(123);
    QTest::newRow("disc, blanks around") << " 42\r" << int(K::Disc) << qint64(42);
    QTest::newRow("seven digits") << "1234567" << int(K::Disc) << qint64(1234567);
    QTest::newRow("largest") << "9223372036854775807" << int(K::Disc) << std::numeric_limits<qint64>::max();
    QTest::newRow("beyond 64 bits") << "9223372036854775808" << int(K::Invalid) << qint64(0);
    QTest::newRow("customer") << "C000012" << int(K::Customer) << qint64(12);
    QTest::newRow("customer, small letter") << "c7" << int(K::Customer) << qint64(7);
    QTest::newRow("letter alone") << "C" << int(K::Invalid) << qint64(0);
    QTest::newRow("zero") << "000000" << int(K::Invalid) << qint64(0);
    QTest::newRow("sign") << "-5" << int(K::Invalid) << qint64(0);
    QTest::newRow("plus") << "+5" << int(K::Invalid) << qint64(0);
    QTest::newRow("other letter") << "D12" << int(K::Invalid) << qint64(0);
    QTest::newRow("full-width digits") << "１２" << int(K::Invalid) << qint64(0);
    QTest::newRow("empty") << "" << int(K::Invalid) << qint64(0);
}

void TestQuickReturns::parseScanCode()
{
    QFETCH(QString, typed);
    QFETCH(int, kind);
    QFETCH(qint64, number);
    const db::ScanCode code = db::ParseScanCode(typed);
    QCOMPARE(int(code.kind), kind);
    QCOMPARE(code.number, number);
    // What a label carries reads back as what it was made from.
    if (code.kind == db::ScanCode::Kind::Disc)
        QCOMPARE(db::ParseScanCode(db::DiscCode(number)).number, number);
    if (code.kind == db::ScanCode::Kind::Customer) {
        QCOMPARE(int(db::ParseScanCode(db::CustomerCode(number)).kind), kind);
        QCOMPARE(db::ParseScanCode(db::CustomerCode(number)).number, number);
    }
}

void TestQuickReturns::scanDiscStates()
{
    using S = db::DiscScan::State;
    Shop s;
    const qint64 big = qint64(1) << 40;
    addDisc(s.f, big, QStringLiteral("远碟"));
    s.f.exec(QStringLiteral("INSERT INTO table1 (id) VALUES (6)")); // a deleted disc's slot
    const QDate today(2026, 3, 15);

    auto rentable = db::ScanDisc(5, today);
    QVERIFY(rentable.ok());
    QCOMPARE(int(rentable->state), int(S::Rentable));
    QCOMPARE(rentable->disc.title, QStringLiteral("碟5"));
    QCOMPARE(int(db::ScanDisc(big, today)->state), int(S::Rentable));
    QCOMPARE(db::ScanDisc(big, today)->disc.id, big);

    auto out = db::ScanDisc(3, today);
    QVERIFY(out.ok());
    QCOMPARE(int(out->state), int(S::Out));
    QCOMPARE(out->renter, QStringLiteral("李四"));
    QVERIFY(out->open.has_value());
    QCOMPARE(out->open->record, s.r3);
    QCOMPARE(out->open->customer, 8);
    QCOMPARE(out->open->customerName, QStringLiteral("李四"));
    QCOMPARE(*out->open->days, 12);
    QVERIFY(db::ScanRefusal(*out).contains(QStringLiteral("李四")));

    QCOMPARE(int(db::ScanDisc(6, today)->state), int(S::Deleted));
    QCOMPARE(int(db::ScanDisc(99, today)->state), int(S::Unknown));
    QCOMPARE(int(db::ScanDisc(big + 1, today)->state), int(S::Unknown));
}

QTEST_GUILESS_MAIN(TestQuickReturns)
#include "tst_quickreturns.moc"
