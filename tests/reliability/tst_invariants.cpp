#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "data/store/connection.h"
#include "data/search/customerindex.h"
#include "data/shop/demodata.h"
#include "data/search/discindex.h"
#include "data/shop/discrecords.h"
#include "data/safety/invariants.h"
#include "data/shop/lookuplists.h"
#include "data/shop/rentals.h"
#include "data/shop/returns.h"
#include "data/store/schema.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

// A small shop that obeys every rule: disc 1 out to 张三, disc 2 back from 李四 (settled),
// slot 3 free, one value in two lookup lists. The search indexes hold the rows in their
// bitmaps when compacted, else in their change logs only.
void arrangeSoundShop(const ProgramFolder &pf, bool compacted = true)
{
    for (const char *sql : {
             "INSERT INTO table1 (t13, s1, s3, s4) VALUES ('甲', '2026-03-01', '张三', 1)",
             "INSERT INTO table1 (t13, s4) VALUES ('乙', 1)",
             "INSERT INTO table1 DEFAULT VALUES",
             "INSERT INTO table2 (t1, s1, s2) VALUES ('张三', '2026-03-01', 1)",
             "INSERT INTO table2 (t1, s1, s2, s3) VALUES ('李四', '2026-02-01', 1, '√')",
             "INSERT INTO table4 (discid, discname, khid, s1) VALUES (1, '甲', 1, '2026-03-01')",
             "INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES (2, '乙', 2, '2026-02-01', '√', '2026-02-05')",
             "INSERT INTO table3 (s6, s3) VALUES ('中国', '金卡')",
             "INSERT INTO table3 (s11) VALUES ('DVD')",
         })
        pf.exec(QString::fromUtf8(sql));
    if (!compacted)
        return;
    db::Connection c(pf.realFile());
    QVERIFY(db::CompactDiscIndex(c).ok());
    QVERIFY(db::CompactCustomerIndex(c).ok());
    QCOMPARE(c.scalar("SELECT count(*) FROM disc_changes").value().toInt(), 0);
    QVERIFY(c.scalar("SELECT count(*) FROM disc_index_bits").value().toInt() > 0);
}

// A rentable disc, by number and title.
db::PickedDisc rentable(db::Connection &c, int skip)
{
    auto q = c.run("SELECT id, t13 FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL ORDER BY id LIMIT 1 OFFSET ?", {skip});
    if (!q || !q.value().next())
        return {};
    return {q.value().value(0).toLongLong(), q.value().value(1).toString()};
}

QList<qint64> openRecords(db::Connection &c, qint64 customer)
{
    QList<qint64> out;
    auto q = c.run("SELECT id FROM table4 WHERE khid = ? AND s2 IS NULL ORDER BY id", {customer});
    while (q && q.value().next())
        out << q.value().value(0).toLongLong();
    return out;
}

QStringList found(const db::CheckReport &r)
{
    QStringList out;
    for (const auto &b : r.breaches)
        out << b.first + QStringLiteral(": ") + b.second;
    return out;
}

} // namespace

class tst_invariants : public QObject
{
    Q_OBJECT
private slots:
    void soundShopPasses_data();
    void soundShopPasses();
    void generatedShopsPass_data();
    void generatedShopsPass();
    void rentalCircuitKeepsEveryRule();
    void breachReported_data();
    void breachReported();
    void damagedPagesReported();
    void oldLayoutCheckedAsItIs();
    void checkCommand_data();
    void checkCommand();
    void checkTellsEachStep();
};

void tst_invariants::soundShopPasses_data()
{
    QTest::addColumn<bool>("compacted");
    QTest::newRow("indexes in their bitmaps") << true;
    QTest::newRow("indexes in their change logs") << false;
}

void tst_invariants::soundShopPasses()
{
    QFETCH(bool, compacted);
    ProgramFolder pf;
    arrangeSoundShop(pf, compacted);
    QCOMPARE(pf.problems(), QString());
}

// Each step of the rental circuit on a demonstration shop leaves it obeying every rule,
// the search indexes folded in between the steps or not.
void tst_invariants::rentalCircuitKeepsEveryRule()
{
    ProgramFolder pf(ProgramFolder::NoDemoFile);
    {
        db::Connection c(pf.realFile());
        db::DemoSize size;
        size.anchor = testsupport::Today();
        size.coverPercent = 0;
        QVERIFY(db::GenerateDemoData(c, size).ok());
    }
    QVERIFY(db::LoadLookupLists().ok());
    db::Connection c(pf.realFile());
    auto check = [&](const QString &step) {
        const auto report = db::CheckFile(pf.realFile());
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QVERIFY2(report->clean(), qPrintable(step + ":\n" + report->lines().join('\n')));
    };

    // A new customer typing a deposit of 0 and a card type new to the list.
    db::RentalRequest fresh;
    fresh.name = "新顾客";
    fresh.card = "110105198502300017";
    fresh.cardType = "学生卡";
    fresh.deposit = "0";
    for (int i = 0; i < 3; ++i)
        fresh.discs << rentable(c, i);
    auto newcomer = db::CommitRental(fresh);
    QVERIFY2(newcomer.ok(), qPrintable(newcomer.error()));
    check("new customer");

    // A customer with discs out comes back under another name, found by identity card.
    const qint64 regular = c.scalar("SELECT khid FROM table4 WHERE s2 IS NULL ORDER BY id LIMIT 1").value().toLongLong();
    db::RentalRequest again;
    again.name = "改了名的老顾客";
    again.card = c.scalar("SELECT t2 FROM table2 WHERE id = ?", {regular}).value().toString();
    again.discs << rentable(c, 0) << rentable(c, 1);
    QCOMPARE(db::CommitRental(again).value(), regular);
    check("customer renamed");
    QVERIFY(db::CompactDiscIndex(c).ok());
    QVERIFY(db::CompactCustomerIndex(c).ok());
    check("indexes folded");

    // Returns: some of the discs, then the rest.
    QList<qint64> records = openRecords(c, regular);
    QVERIFY(records.size() >= 3);
    QVERIFY(db::ReturnDiscs(regular, records.mid(0, 2)).ok());
    check("some returned");
    QVERIFY(db::ReturnDiscs(regular, openRecords(c, regular)).value().settled);
    check("all returned");

    const qint64 depositor = c.scalar("SELECT min(id) FROM table2 WHERE t4 > 0").value().toLongLong();
    QVERIFY(db::RefundDeposit(depositor).value());
    check("deposit refunded");
    const qint64 carded = c.scalar("SELECT min(id) FROM table2 WHERE t3 IS NOT NULL").value().toLongLong();
    QVERIFY(db::InvalidateCard(carded).value());
    check("card invalidated");

    // Renting again after both: a new deposit and card type; a disc of the newcomer deleted.
    db::RentalRequest back;
    back.name = c.scalar("SELECT t1 FROM table2 WHERE id = ?", {carded}).value().toString();
    back.tagCustomerId = carded;
    back.cardType = "银卡";
    back.deposit = "50";
    back.discs << rentable(c, 5);
    QVERIFY(db::CommitRental(back).ok());
    QVERIFY(db::DeleteDiscs({fresh.discs.first().id}).ok());
    check("rented again, disc deleted");
}

void tst_invariants::generatedShopsPass_data()
{
    QTest::addColumn<int>("discs");
    QTest::addColumn<int>("customers");
    QTest::addColumn<int>("rentals");
    QTest::newRow("demonstration shop") << 160 << 45 << 320;
    QTest::newRow("busy shop over two blocks") << 2500 << 200 << 9000;
    QTest::newRow("few discs, many rentals") << 12 << 30 << 400;
}

void tst_invariants::generatedShopsPass()
{
    QFETCH(int, discs);
    QFETCH(int, customers);
    QFETCH(int, rentals);
    ProgramFolder pf(ProgramFolder::NoDemoFile);
    db::Connection c(pf.realFile());
    db::DemoSize size;
    size.discs = discs;
    size.customers = customers;
    size.rentals = rentals;
    size.coverPercent = 5;
    size.anchor = testsupport::Today();
    QVERIFY(db::GenerateDemoData(c, size).ok());
    const auto report = db::CheckFile(c);
    QVERIFY(report.ok());
    QVERIFY2(report->clean(), qPrintable(report->lines().join('\n')));
    // The shop is not trivially sound: some discs are out and some customers have settled.
    QVERIFY(c.scalar("SELECT count(*) FROM table1 WHERE s3 IS NOT NULL").value().toInt() > 0);
    QVERIFY(c.scalar("SELECT count(*) FROM table2 WHERE s3 IS NOT NULL").value().toInt() > 0);
}

void tst_invariants::breachReported_data()
{
    QTest::addColumn<QStringList>("breakIt");
    // "rule: words" for every breach expected, in the order the checker reports them.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("disc out without open record")
        << QStringList{"UPDATE table4 SET s2 = '√', s3 = '2026-03-02' WHERE id = 1"}
        << QStringList{"disc-out-has-open-record: 碟片 000001《甲》标记为出租（租给“张三”，租碟日期 2026-03-01），却没有未还的租碟记录。"};
    QTest::newRow("disc out with two open records")
        << QStringList{"INSERT INTO table4 (discid, discname, khid, s1) VALUES (1, '甲', 1, '2026-03-01')"}
        << QStringList{"disc-out-has-open-record: 碟片 000001《甲》标记为出租（租给“张三”，租碟日期 2026-03-01），却有 2 条未还的租碟记录（应为 1 条）。"};
    QTest::newRow("open record of another date")
        << QStringList{"UPDATE table4 SET s1 = '2026-02-28' WHERE id = 1"}
        << QStringList{"disc-out-has-open-record: 碟片 000001《甲》标记为出租（租给“张三”，租碟日期 2026-03-01），其未还租碟记录的租碟日期却是 2026-02-28。"};
    QTest::newRow("free slot marked out")
        << QStringList{"UPDATE table1 SET s3 = '王五' WHERE id = 3"}
        << QStringList{"disc-out-has-open-record: 空位 000003 标记为出租（租给“王五”），却不是碟片。",
                       "disc-rental-date-with-renter: 空位 000003 租给“王五”，却没有租碟日期。"};
    QTest::newRow("open record, disc on the shelf, customer settled")
        << QStringList{"INSERT INTO table4 (discid, discname, khid, s1) VALUES (2, '乙', 2, '2026-03-05')"}
        << QStringList{"open-record-has-disc-out: 未还的租碟记录 3（碟片 000002《乙》，客户 000002，租碟日期 2026-03-05），该碟片却没有标记为出租。",
                       "settled-customer-has-no-open-record: 客户 000002“李四”标记为已还清（√），却还有 1 条未还的租碟记录（记录 3）。"};
    QTest::newRow("disc renamed while out")
        << QStringList{"UPDATE table1 SET t13 = '甲改' WHERE id = 1"}
        << QStringList{"disc-out-has-open-record: 碟片 000001《甲改》标记为出租（租给“张三”，租碟日期 2026-03-01），却没有未还的租碟记录。",
                       "open-record-has-disc-out: 未还的租碟记录 1（碟片 000001《甲》，客户 000001，租碟日期 2026-03-01），碟片 000001 现在却是《甲改》。"};
    QTest::newRow("open record for a freed slot")
        << QStringList{"UPDATE table1 SET t13 = NULL, s1 = NULL, s3 = NULL WHERE id = 1"}
        << QStringList{"open-record-has-disc-out: 未还的租碟记录 1（碟片 000001《甲》，客户 000001，租碟日期 2026-03-01）指向的碟片位已空。"};
    QTest::newRow("open record for a slot that never was")
        << QStringList{"UPDATE table4 SET discid = 99 WHERE id = 1", "INSERT INTO table4 (discid, discname, khid, s1) VALUES (1, '甲', 1, '2026-03-01')"}
        << QStringList{"open-record-has-disc-out: 未还的租碟记录 1（碟片 000099《甲》，客户 000001，租碟日期 2026-03-01）指向的碟片位不存在。"};
    QTest::newRow("disc out to someone else")
        << QStringList{"UPDATE table1 SET s3 = '李四' WHERE id = 1"}
        << QStringList{"open-record-has-disc-out: 未还的租碟记录 1（碟片 000001《甲》，客户 000001，租碟日期 2026-03-01），碟片却租给了“李四”，而客户 000001 是“张三”。"};
    QTest::newRow("name differs in letter case only")
        << QStringList{"UPDATE table1 SET s3 = 'ZHANG' WHERE id = 1", "UPDATE table2 SET t1 = 'zhang' WHERE id = 1"}
        << QStringList{};
    QTest::newRow("customer gone")
        << QStringList{"DELETE FROM table2 WHERE id = 1"}
        << QStringList{"open-record-has-disc-out: 未还的租碟记录 1（碟片 000001《甲》，客户 000001，租碟日期 2026-03-01），客户 000001 却不存在。"};
    QTest::newRow("disc counter off")
        << QStringList{"UPDATE list_counts SET discs = discs + 2"}
        << QStringList{"disc-counters: 碟片总数记为 4 张（list_counts.discs），实际为 2 张。"};
    QTest::newRow("discs-out counter off")
        << QStringList{"UPDATE list_counts SET discs_out = 0"}
        << QStringList{"disc-counters: 出租中的碟片记为 0 张（list_counts.discs_out），实际为 1 张。"};
    QTest::newRow("counter row missing")
        << QStringList{"DELETE FROM list_counts"}
        << QStringList{"disc-counters: 计数表 list_counts 缺少它唯一的一行。"};
    QTest::newRow("block count off")
        << QStringList{"UPDATE list_blocks SET n = n + 1 WHERE list = 1"}
        << QStringList{"disc-blocks: 全部碟片计数第 0 块（碟片编号 000000–001023）记为 3 张，实际为 2 张。"};
    QTest::newRow("block missing")
        << QStringList{"DELETE FROM list_blocks WHERE list = 2"}
        << QStringList{"disc-blocks: 未还碟片计数第 0 块（碟片编号 000000–001023）记为 0 张，实际为 1 张。"};
    QTest::newRow("block without discs")
        << QStringList{"INSERT INTO list_blocks (list, block, n) VALUES (1, 7, 4)"}
        << QStringList{"disc-blocks: 全部碟片计数第 7 块（碟片编号 007168–008191）记为 4 张，实际为 0 张。"};
    QTest::newRow("settled with a disc out")
        << QStringList{"UPDATE table2 SET s3 = '√' WHERE id = 1"}
        << QStringList{"settled-customer-has-no-open-record: 客户 000001“张三”标记为已还清（√），却还有 1 条未还的租碟记录（记录 1）。"};
    QTest::newRow("customer counter off")
        << QStringList{"UPDATE list_counts SET customers = 5"}
        << QStringList{"customer-counters: 客户总数记为 5 位（list_counts.customers），实际为 2 位。"};
    QTest::newRow("customers-out counter off")
        << QStringList{"UPDATE list_counts SET customers_out = 0"}
        << QStringList{"customer-counters: 未还清的客户记为 0 位（list_counts.customers_out），实际为 1 位。"};
    QTest::newRow("customer day count off")
        << QStringList{"UPDATE customer_days SET n = 2 WHERE list = 1 AND day = '2026-03-01'"}
        << QStringList{"customer-days: 全部客户按日计数（customer_days）中租碟日期为 2026-03-01 的客户记为 2 位，实际为 1 位。"};
    QTest::newRow("customer day missing")
        << QStringList{"DELETE FROM customer_days WHERE list = 2"}
        << QStringList{"customer-days: 未还清客户按日计数（customer_days）中租碟日期为 2026-03-01 的客户记为 0 位，实际为 1 位。"};
    QTest::newRow("customer day without customers")
        << QStringList{"INSERT INTO customer_days (list, day, n) VALUES (1, '', 3)"}
        << QStringList{"customer-days: 全部客户按日计数（customer_days）中从未租碟的客户记为 3 位，实际为 0 位。"};
    QTest::newRow("customer day counted twice")
        << QStringList{"DROP TRIGGER table2_counts_update", "UPDATE table2 SET s1 = '2026-03-02' WHERE id = 1"}
        << QStringList{"customer-days: 全部客户按日计数（customer_days）中租碟日期为 2026-03-01 的客户记为 1 位，实际为 0 位。",
                       "customer-days: 全部客户按日计数（customer_days）中租碟日期为 2026-03-02 的客户记为 0 位，实际为 1 位。",
                       "customer-days: 未还清客户按日计数（customer_days）中租碟日期为 2026-03-01 的客户记为 1 位，实际为 0 位。",
                       "customer-days: 未还清客户按日计数（customer_days）中租碟日期为 2026-03-02 的客户记为 0 位，实际为 1 位。"};
    QTest::newRow("customer with records but no rental date")
        << QStringList{"UPDATE table2 SET s1 = NULL WHERE id = 1"}
        << QStringList{"customer-with-records-has-rental-date: 客户 000001“张三”有 1 条租碟记录（最早为记录 1），却没有租碟日期。"};
    QTest::newRow("deposit date without deposit")
        << QStringList{"UPDATE table2 SET s5 = '2026-03-01' WHERE id = 1"}
        << QStringList{"deposit-date-with-deposit: 客户 000001“张三”记有押金日期 2026-03-01，押金却是 0 元。"};
    QTest::newRow("deposit held with its date")
        << QStringList{"UPDATE table2 SET t4 = 100, s5 = '2026-03-01' WHERE id = 1"} << QStringList{};
    QTest::newRow("deposit without a date, as an old file has it")
        << QStringList{"UPDATE table2 SET t4 = 100 WHERE id = 1"} << QStringList{};
    QTest::newRow("card date without card type")
        << QStringList{"UPDATE table2 SET s4 = '2026-01-01' WHERE id = 2"}
        << QStringList{"card-date-with-card: 客户 000002“李四”记有办证日期 2026-01-01，却没有办证类型。"};
    QTest::newRow("card date with a blank card type")
        << QStringList{"UPDATE table2 SET t3 = '  ', s4 = '2026-01-01' WHERE id = 2"}
        << QStringList{"card-date-with-card: 客户 000002“李四”记有办证日期 2026-01-01，却没有办证类型。"};
    QTest::newRow("card type without a date, as an old file has it")
        << QStringList{"UPDATE table2 SET t3 = '金卡' WHERE id = 1"} << QStringList{};
    QTest::newRow("disc index lost a term")
        << QStringList{"DELETE FROM disc_index_bits WHERE term = 'T甲'"}
        << QStringList{"disc-index: 碟片搜索索引中检索项“T甲”与 table1 不符，漏记 1 行：000001。"};
    QTest::newRow("disc change not logged")
        << QStringList{"DROP TRIGGER table1_index_update", "UPDATE table1 SET t13 = '丙' WHERE id = 2"}
        << QStringList{"disc-index: 碟片搜索索引中检索项“T丙”与 table1 不符，漏记 1 行：000002。",
                       "disc-index: 碟片搜索索引中检索项“T乙”与 table1 不符，多记 1 行：000002。"};
    QTest::newRow("disc change log emptied")
        << QStringList{"UPDATE table1 SET t13 = '丙' WHERE id = 2", "DELETE FROM disc_changes"}
        << QStringList{"disc-index: 碟片搜索索引中检索项“T丙”与 table1 不符，漏记 1 行：000002。",
                       "disc-index: 碟片搜索索引中检索项“T乙”与 table1 不符，多记 1 行：000002。"};
    QTest::newRow("disc returned without the index knowing")
        << QStringList{"DROP TRIGGER table1_index_update", "UPDATE table4 SET s2 = '√', s3 = '2026-03-02' WHERE id = 1",
                       "UPDATE table1 SET s1 = NULL, s3 = NULL WHERE id = 1"}
        << QStringList{"disc-index: 碟片搜索索引中检索项“O”与 table1 不符，多记 1 行：000001。"};
    QTest::newRow("disc change logged before the snapshot")
        << QStringList{"INSERT INTO disc_changes (seq, id) VALUES (1, 1)"}
        << QStringList{"disc-index: 碟片搜索索引有 1 条变更已并入快照（第 2 条及以前），却仍留在变更记录里。"};
    QTest::newRow("disc index bitmap unreadable")
        << QStringList{"UPDATE disc_index_bits SET bits = x'00' WHERE term = 'T乙'"}
        << QStringList{"disc-index: 碟片搜索索引中检索项“T乙”的位图无法读取。"};
    QTest::newRow("customer change not logged")
        << QStringList{"DROP TRIGGER table2_index_update", "UPDATE table2 SET t3 = '金卡' WHERE id = 1"}
        << QStringList{"customer-index: 客户搜索索引中检索项“Y金卡”与 table2 不符，漏记 1 行：000001。"};
    QTest::newRow("customer index state missing")
        << QStringList{"DELETE FROM customer_index_state"}
        << QStringList{"customer-index: 客户搜索索引缺少它的状态行（customer_index_state）。"};
    QTest::newRow("disc on the shelf keeps a rental date")
        << QStringList{"UPDATE table1 SET s1 = '2026-02-01' WHERE id = 2"}
        << QStringList{"disc-rental-date-with-renter: 碟片 000002《乙》记有租碟日期 2026-02-01，却没有租给谁。"};
    QTest::newRow("day figure off")
        << QStringList{"UPDATE shop_days SET rentals = 3 WHERE day = '2026-03-01'"}
        << QStringList{"shop-days: 营业统计按日数字（shop_days）中 2026-03-01 记为租出 3 张，实际为 1 张。"};
    QTest::newRow("deposit taken without the figures knowing")
        << QStringList{"DROP TRIGGER table2_figures_update", "UPDATE table2 SET t4 = 50, s5 = '2026-03-01' WHERE id = 1"}
        << QStringList{"shop-days: 营业统计按日数字（shop_days）中 2026-03-01 记为在押押金 0.00 元，实际为 50.00 元。"};
    QTest::newRow("refund without a day figure")
        << QStringList{"INSERT INTO table6 (khid, s1, s2, s3) VALUES (2, 20, NULL, '2026-02-06')",
                       "DELETE FROM shop_days WHERE day IN ('', '2026-02-06')"}
        << QStringList{"shop-days: 营业统计按日数字（shop_days）中 无日期 记为当日收取、后已退还的押金 0.00 元，实际为 20.00 元。",
                       "shop-days: 营业统计按日数字（shop_days）中 2026-02-06 记为退还押金 0.00 元，实际为 20.00 元。"};
    QTest::newRow("title count off")
        << QStringList{"UPDATE title_counts SET n = 5 WHERE per = 2 AND title = '甲'"}
        << QStringList{"title-counts: 营业统计按片名计数（title_counts）中《甲》在 2026-03（整月）记为 5 次，实际为 1 次。"};
    QTest::newRow("title renamed on its record without the figures knowing")
        << QStringList{"DROP TRIGGER table4_figures_update", "UPDATE table4 SET discname = '乙' WHERE id = 1",
                       "UPDATE table1 SET t13 = '乙' WHERE id = 1"}
        << QStringList{"title-counts: 营业统计按片名计数（title_counts）中《乙》在 2026-03-01 记为 0 次，实际为 1 次。",
                       "title-counts: 营业统计按片名计数（title_counts）中《甲》在 2026-03-01 记为 1 次，实际为 0 次。",
                       "title-counts: 营业统计按片名计数（title_counts）中《乙》在 2026-03（整月）记为 0 次，实际为 1 次。",
                       "title-counts: 营业统计按片名计数（title_counts）中《甲》在 2026-03（整月）记为 1 次，实际为 0 次。"};
    QTest::newRow("customer rentals missing")
        << QStringList{"DELETE FROM customer_rentals WHERE khid = 2"}
        << QStringList{"customer-rentals: 营业统计按客户计数（customer_rentals）中客户 000002 的租碟记录记为 0 条，实际为 1 条。"};
    QTest::newRow("customer month off")
        << QStringList{"UPDATE customer_months SET upto03 = 2 WHERE khid = 1"}
        << QStringList{"customer-months: 营业统计按客户按月计数（customer_months）中客户 000001 在“2026”年的租碟记录：1–3 月记为 2 条，实际为 1 条。"};
    QTest::newRow("record of an odd date without the month counts knowing")
        << QStringList{"DROP TRIGGER table4_months_insert",
                       "INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES (2, '乙', 2, '2026-1', '√', '2026-02-06')"}
        << QStringList{"customer-months: 营业统计按客户按月计数（customer_months）中客户 000002 在“2026”年的租碟记录：月份不明的日期记为 0 条，实际为 1 条。"};
    QTest::newRow("lookup value twice")
        << QStringList{"INSERT INTO table3 (s6) VALUES ('中国')"}
        << QStringList{"lookup-no-duplicates: 选择列表“国别”（table3.s6）中“中国”出现 2 次（第 1、3 行）。"};
    QTest::newRow("lookup value twice, blanks around")
        << QStringList{"INSERT INTO table3 (s6) VALUES ('  中国 ')"}
        << QStringList{"lookup-no-duplicates: 选择列表“国别”（table3.s6）中“中国”出现 2 次（第 1、3 行）。"};
    QTest::newRow("card type in other letter case")
        << QStringList{"INSERT INTO table3 (s3) VALUES ('Gold')", "INSERT INTO table3 (s3) VALUES ('GOLD')"}
        << QStringList{"lookup-no-duplicates: 选择列表“办证类型”（table3.s3）中“Gold”出现 2 次（第 3、4 行）。"};
    QTest::newRow("media in other letter case is another entry")
        << QStringList{"INSERT INTO table3 (s11) VALUES ('dvd')"} << QStringList{};
    QTest::newRow("same text in two lists")
        << QStringList{"INSERT INTO table3 (s2) VALUES ('中国')"} << QStringList{};
    QTest::newRow("blank values are no entries")
        << QStringList{"INSERT INTO table3 (s9) VALUES ('  ')", "INSERT INTO table3 (s9) VALUES ('')"} << QStringList{};
}

void tst_invariants::breachReported()
{
    QFETCH(QStringList, breakIt);
    QFETCH(QStringList, expected);
    ProgramFolder pf;
    arrangeSoundShop(pf);
    for (const QString &sql : breakIt)
        pf.exec(sql);
    const auto report = db::CheckFile(pf.realFile());
    QVERIFY2(report.ok(), qPrintable(report.error()));
    QVERIFY(report->integrity.isEmpty());
    QCOMPARE(found(report.value()), expected);
}

void tst_invariants::damagedPagesReported()
{
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    const int page = pf.scalar("PRAGMA page_size", {}, true).toInt();
    const int root = pf.scalar("SELECT rootpage FROM sqlite_master WHERE name = 'table4_disc'", {}, true).toInt();
    QFile f(pf.demoFile());
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(qint64(root - 1) * page + 200));
    f.write(QByteArray(400, '\x5a'));
    f.close();
    const auto report = db::CheckFile(pf.demoFile());
    QVERIFY2(report.ok(), qPrintable(report.error()));
    QVERIFY(!report->integrity.isEmpty());
    QVERIFY(report->lines().first().startsWith(QStringLiteral("完整性检查：")));
}

void tst_invariants::oldLayoutCheckedAsItIs()
{
    ProgramFolder pf;
    pf.writeOldFile(1, {"INSERT INTO table1 (t13, s3, s1) VALUES ('旧', '某人', '2020-01-01')"});
    const auto report = db::CheckFile(pf.realFile());
    QVERIFY(report.ok());
    QCOMPARE(report->version, 1);
    QCOMPARE(report->breaches.size(), 1);
    // Checking never upgrades or otherwise writes the file.
    db::Connection raw(pf.realFile(), db::Connection::Mode::Inspect);
    QCOMPARE(raw.scalar("PRAGMA user_version").value().toInt(), 1);
}

void tst_invariants::checkCommand_data()
{
    QTest::addColumn<QString>("fileState");
    QTest::addColumn<bool>("namedOnCommandLine");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("printed");
    QTest::newRow("sound file in the program folder") << "sound" << false << 0 << QStringList{"未发现问题。"};
    QTest::newRow("sound file named") << "sound" << true << 0 << QStringList{"未发现问题。"};
    QTest::newRow("broken file in the program folder")
        << "broken" << false << 1
        << QStringList{"碟片总数记为 5 张（list_counts.discs），实际为 2 张。", "共发现 1 处问题。"};
    QTest::newRow("not a database") << "garbage" << true << 2 << QStringList{"无法检查：数据库文件已损坏或不是数据库文件。"};
    QTest::newRow("missing") << "missing" << true << 2 << QStringList{"无法检查：找不到数据库文件。"};
}

void tst_invariants::checkCommand()
{
    QFETCH(QString, fileState);
    QFETCH(bool, namedOnCommandLine);
    QFETCH(int, exitCode);
    QFETCH(QStringList, printed);
    ProgramFolder pf;
    arrangeSoundShop(pf);
    if (fileState == "broken")
        pf.exec("UPDATE list_counts SET discs = 5");
    QTemporaryDir dir;
    const QString exe = dir.filePath("lanlan");
    QVERIFY(QFile::copy(QStringLiteral(LANLAN_BINARY), exe));
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString file = namedOnCommandLine ? pf.path() + "/named.sqlite" : dir.filePath("db.sqlite");
    if (fileState == "garbage") {
        QFile g(file);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("this is a shopping list, not a shop");
    } else if (fileState != "missing") {
        QVERIFY(QFile::copy(pf.realFile(), file));
    }
    const QByteArray before = [&] { QFile f(file); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }();

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY"); // needs no display
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(exe, namedOnCommandLine ? QStringList{"--check", file} : QStringList{"--check"});
    QVERIFY(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY2(out.startsWith(QStringLiteral("检查数据文件：") + file), qPrintable(out));
    for (const QString &line : printed)
        QVERIFY2(out.contains(line), qPrintable(out));
    // The check leaves the file exactly as it was.
    const QByteArray after = [&] { QFile f(file); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }();
    QCOMPARE(after, before);
}

namespace {
// Writes down what the check tells; stops at the step asked for (never at -1).
class StepRecorder final : public db::Progress
{
public:
    explicit StepRecorder(int stopAt = -1) : m_stopAt(stopAt) {}
    void stage(const QString &what, qint64 steps) override { stages << what; total = steps; }
    bool advance(qint64 done) override { return done != m_stopAt; }
    QStringList stages;
    qint64 total = 0;

private:
    int m_stopAt;
};
} // namespace

// The integrity check first, then every rule, each told before it runs; a stop asked for
// between them ends the check without a report.
void tst_invariants::checkTellsEachStep()
{
    ProgramFolder pf;
    arrangeSoundShop(pf);
    StepRecorder steps;
    const auto report = db::CheckFile(pf.realFile(), steps);
    QVERIFY2(report.ok(), qPrintable(report.error()));
    QCOMPARE(steps.total, qint64(1 + db::Invariants().size()));
    QCOMPARE(steps.stages.size(), 1 + db::Invariants().size());
    QVERIFY2(steps.stages.first().contains(QStringLiteral("完整性")), qPrintable(steps.stages.first()));
    for (const QString &s : std::as_const(steps.stages))
        QVERIFY2(s.startsWith(QStringLiteral("（")) && !s.contains(QLatin1Char('-')), qPrintable(s));

    StepRecorder stopper(2);
    const auto stopped = db::CheckFile(pf.realFile(), stopper);
    QVERIFY(!stopped.ok());
    QCOMPARE(stopped.error(), db::CheckCancelled());
    QCOMPARE(stopper.stages.size(), 3);
}

QTEST_GUILESS_MAIN(tst_invariants)
#include "tst_invariants.moc"
