// The rental commit and the reads behind the rental window, without windows: what is
// stored for the customer, the discs and the rental records, and that a refused or failed
// commit leaves the file exactly as it was.
#include <QCryptographicHash>
#include <QFile>
#include <QTest>

#include "data/store/clock.h"
#include "data/shop/lookuplists.h"
#include "data/shop/rentals.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;
using testsupport::Today;

namespace {

const QString kToday = QStringLiteral("2026-03-15");

// Discs 1..n, titled 碟<id>, one disc each unless `counts` says otherwise.
void addDiscs(const ProgramFolder &f, int n)
{
    f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < ?) "
                          "INSERT INTO table1 (t13, t38, t7, t18) SELECT '碟' || i, 'A1', 1, 'DVD' FROM k"),
           {n});
}

db::RentalRequest request(const QString &name, QList<qint64> discIds = {})
{
    db::RentalRequest r;
    r.name = name;
    for (qint64 id : discIds)
        r.discs << db::PickedDisc{id, QStringLiteral("碟%1").arg(id)};
    return r;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Every row of the tables a rental touches, as text.
QStringList contents(const ProgramFolder &f)
{
    QStringList out;
    for (const char *table : {"table1", "table2", "table3", "table4", "list_counts", "list_blocks"}) {
        for (const QVariantList &row : f.rows(QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table)))) {
            QStringList cells;
            for (const QVariant &v : row)
                cells << (v.isNull() ? QStringLiteral("∅") : v.toString());
            out << QLatin1String(table) + QLatin1Char(':') + cells.join(QLatin1Char('|'));
        }
    }
    return out;
}

} // namespace

class TestRentals : public QObject
{
    Q_OBJECT
private slots:
    void newCustomerWithDiscs();
    void emptyListStillSavesTheCustomer_data();
    void emptyListStillSavesTheCustomer();
    void identityCardWinsOverTheTag();
    void heldDepositAndCardTypeAreKept();
    void depositOfNothingStoresNoDate_data();
    void depositOfNothingStoresNoDate();
    void renamedCustomerTakesDiscsOutAlong_data();
    void renamedCustomerTakesDiscsOutAlong();
    void cardTypeAddedOnce_data();
    void cardTypeAddedOnce();
    void refusedInput_data();
    void refusedInput();
    void staleDiscRefusesEverything_data();
    void staleDiscRefusesEverything();
    void failureHalfWayLeavesTheFileAsItWas_data();
    void failureHalfWayLeavesTheFileAsItWas();
    void numbersBeyond32Bits();
    void readForPreRentList();
    void loadCustomer_data();
    void loadCustomer();
};

void TestRentals::newCustomerWithDiscs()
{
    ProgramFolder f;
    addDiscs(f, 5);
    f.exec("UPDATE table1 SET t7 = 2, s4 = 3 WHERE id = 2");
    db::RentalRequest r = request("张三", {4, 2});
    r.card = "110101850230123";
    r.cardType = "VIP卡";
    r.deposit = "100";
    r.remark = "老顾客介绍";
    auto id = db::CommitRental(r);
    QVERIFY2(id.ok(), qPrintable(id.error()));

    const auto customer = f.rows("SELECT id, t1, t2, t3, s4, t4, s5, t5, s1, s2, s3 FROM table2");
    QCOMPARE(customer.size(), 1);
    QCOMPARE(customer[0][0].toLongLong(), *id);
    const QVariantList expected = {"张三", "110101850230123", "VIP卡", kToday, 100, kToday, "老顾客介绍", kToday, 3};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(customer[0][i + 1].toString(), expected[i].toString());
    QVERIFY(customer[0][10].isNull());

    const auto records = f.rows("SELECT discid, discname, khid, s1, s2, s3 FROM table4 ORDER BY id");
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0][0].toLongLong(), 4);
    QCOMPARE(records[0][1].toString(), QString("碟4"));
    QCOMPARE(records[1][0].toLongLong(), 2);
    for (const QVariantList &rec : records) {
        QCOMPARE(rec[2].toLongLong(), *id);
        QCOMPARE(rec[3].toString(), kToday);
        QVERIFY(rec[4].isNull() && rec[5].isNull());
    }
    const auto discs = f.rows("SELECT id, s1, s3, s4 FROM table1 WHERE s3 IS NOT NULL ORDER BY id");
    QCOMPARE(discs.size(), 2);
    QCOMPARE(discs[0], (QVariantList{2, kToday, "张三", 4}));
    QCOMPARE(discs[1], (QVariantList{4, kToday, "张三", 1}));
    QCOMPARE(f.scalar("SELECT discs_out FROM list_counts").toInt(), 2);
    QCOMPARE(f.scalar("SELECT count(*) FROM table3 WHERE s3 = 'VIP卡'").toInt(), 1);
    QCOMPARE(db::Lookups().CardTypeList.entries(), QStringList{"VIP卡"});
}

void TestRentals::emptyListStillSavesTheCustomer_data()
{
    QTest::addColumn<bool>("existing");
    QTest::newRow("new customer") << false;
    QTest::newRow("loaded customer") << true;
}

void TestRentals::emptyListStillSavesTheCustomer()
{
    QFETCH(bool, existing);
    ProgramFolder f;
    if (existing)
        f.exec("INSERT INTO table2 (id, t1, s1, s2, s3) VALUES (7, '李四', '2026-01-02', 5, '√')");
    db::RentalRequest r = request("李四");
    r.tagCustomerId = existing ? 7 : 0;
    auto id = db::CommitRental(r);
    QVERIFY2(id.ok(), qPrintable(id.error()));
    QCOMPARE(*id, existing ? qint64(7) : qint64(1)); // a new file numbers from 1
    const auto rows = f.rows("SELECT t1, s1, s2, s3 FROM table2");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toString(), QString("李四"));
    QCOMPARE(rows[0][1].toString(), kToday);
    QCOMPARE(rows[0][2].toInt(), existing ? 5 : 0);
    QVERIFY(rows[0][3].isNull());
    QCOMPARE(f.scalar("SELECT count(*) FROM table4").toInt(), 0);
}

void TestRentals::identityCardWinsOverTheTag()
{
    ProgramFolder f;
    addDiscs(f, 1);
    f.exec("INSERT INTO table2 (id, t1, t2) VALUES (1, '甲', '110101850230123'), (2, '乙', NULL)");
    db::RentalRequest r = request("甲某", {1});
    r.card = "110101850230123";
    r.tagCustomerId = 2;
    auto id = db::CommitRental(r);
    QVERIFY2(id.ok(), qPrintable(id.error()));
    QCOMPARE(*id, qint64(1));
    QCOMPARE(f.scalar("SELECT t1 FROM table2 WHERE id = 1").toString(), QString("甲某"));
    QCOMPARE(f.scalar("SELECT t1 FROM table2 WHERE id = 2").toString(), QString("乙"));
    QCOMPARE(f.scalar("SELECT khid FROM table4").toInt(), 1);
    QCOMPARE(f.scalar("SELECT count(*) FROM table2").toInt(), 2);
}

void TestRentals::heldDepositAndCardTypeAreKept()
{
    ProgramFolder f;
    f.exec("INSERT INTO table2 (id, t1, t3, s4, t4, s5, t5) "
           "VALUES (3, '王五', '金卡', '2025-01-01', 200, '2025-01-02', '旧备注')");
    db::RentalRequest r = request("王五");
    r.cardType = "银卡";
    r.deposit = "50";
    r.remark = "";
    r.tagCustomerId = 3;
    QVERIFY(db::CommitRental(r).ok());
    const auto row = f.rows("SELECT t3, s4, t4, s5, t5 FROM table2 WHERE id = 3").value(0);
    QCOMPARE(row, (QVariantList{"金卡", "2025-01-01", 200, "2025-01-02", "旧备注"}));
    // A card type the customer does not get is not offered to the list either.
    QCOMPARE(f.scalar("SELECT count(*) FROM table3").toInt(), 0);
}

void TestRentals::depositOfNothingStoresNoDate_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("held");
    QTest::addColumn<QVariant>("dateTaken");
    QTest::newRow("0") << "0" << 0 << QVariant();
    QTest::newRow("000") << "000" << 0 << QVariant();
    QTest::newRow("0 with blanks") << " 0 " << 0 << QVariant();
    QTest::newRow("nothing typed") << "" << 0 << QVariant();
    QTest::newRow("100") << "100" << 100 << QVariant(kToday);
    QTest::newRow("0100") << "0100" << 100 << QVariant(kToday);
}

// A deposit date is the day a deposit was taken: a deposit of 0 is none.
void TestRentals::depositOfNothingStoresNoDate()
{
    QFETCH(QString, typed);
    QFETCH(int, held);
    QFETCH(QVariant, dateTaken);
    ProgramFolder f;
    addDiscs(f, 1);
    db::RentalRequest r = request("张三", {1});
    r.deposit = typed;
    auto id = db::CommitRental(r);
    QVERIFY2(id.ok(), qPrintable(id.error()));
    const auto row = f.rows("SELECT t4, s5 FROM table2 WHERE id = ?", {*id}).value(0);
    QCOMPARE(row.value(0).toInt(), held);
    QCOMPARE(row.value(1).isNull(), dateTaken.isNull());
    if (!dateTaken.isNull())
        QCOMPARE(row.value(1).toString(), dateTaken.toString());
    QCOMPARE(f.problems(), QString());
}

void TestRentals::renamedCustomerTakesDiscsOutAlong_data()
{
    QTest::addColumn<QString>("newName");
    QTest::newRow("another name") << "甲某";
    QTest::newRow("letter case only") << "ZHANG";
    QTest::newRow("same name") << "zhang";
}

// Found by identity card under another name, a customer takes along the discs already out:
// a disc out names the customer its open rental record belongs to.
void TestRentals::renamedCustomerTakesDiscsOutAlong()
{
    QFETCH(QString, newName);
    ProgramFolder f;
    addDiscs(f, 5);
    f.exec("INSERT INTO table2 (id, t1, t2) VALUES (1, 'zhang', '110101850230123'), (2, '乙', NULL)");
    auto rent = [&](qint64 disc, qint64 customer, const QString &on) {
        f.exec("INSERT INTO table4 (discid, discname, khid, s1) SELECT id, t13, ?, ? FROM table1 WHERE id = ?",
               {customer, on, disc});
        f.exec("UPDATE table1 SET s1 = ?, s3 = (SELECT t1 FROM table2 WHERE id = ?) WHERE id = ?", {on, customer, disc});
        f.exec("UPDATE table2 SET s1 = ?, s2 = s2 + 1 WHERE id = ?", {on, customer});
    };
    rent(1, 1, "2026-03-01");
    rent(2, 1, "2026-03-02");
    rent(3, 2, "2026-03-02");
    rent(4, 1, "2026-02-01");
    f.exec("UPDATE table4 SET s2 = '√', s3 = '2026-02-03' WHERE discid = 4");
    f.exec("UPDATE table1 SET s1 = NULL, s3 = NULL WHERE id = 4");
    QCOMPARE(f.problems(), QString());

    db::RentalRequest r = request(newName, {5});
    r.card = "110101850230123";
    auto id = db::CommitRental(r);
    QVERIFY2(id.ok(), qPrintable(id.error()));
    QCOMPARE(*id, qint64(1));
    const QList<QVariantList> out = f.rows("SELECT id, s3 FROM table1 WHERE s3 IS NOT NULL ORDER BY id");
    QCOMPARE(out, (QList<QVariantList>{{1, newName}, {2, newName}, {3, "乙"}, {5, newName}}));
    QCOMPARE(f.scalar("SELECT t1 FROM table2 WHERE id = 1").toString(), newName);
    QCOMPARE(f.problems(), QString());
}

void TestRentals::cardTypeAddedOnce_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("listAfter");
    QTest::newRow("new type") << "金卡" << QStringList{"VIP卡", "金卡"};
    QTest::newRow("letter case only") << "vip卡" << QStringList{"VIP卡"};
    QTest::newRow("same type") << "VIP卡" << QStringList{"VIP卡"};
}

void TestRentals::cardTypeAddedOnce()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, listAfter);
    ProgramFolder f;
    f.exec("INSERT INTO table3 (s3) VALUES ('VIP卡')");
    QVERIFY(db::LoadLookupLists().ok());
    for (const QString &name : {"甲", "乙"}) {
        db::RentalRequest r = request(name);
        r.cardType = typed;
        QVERIFY(db::CommitRental(r).ok());
    }
    QCOMPARE(db::Lookups().CardTypeList.entries(), listAfter);
    QStringList stored;
    for (const QVariantList &row : f.rows("SELECT s3 FROM table3 ORDER BY id"))
        stored << row[0].toString();
    QCOMPARE(stored, listAfter);
    QCOMPARE(f.scalar("SELECT count(*) FROM table2 WHERE t3 = ?", {typed}).toInt(), 2);
}

void TestRentals::refusedInput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("deposit");
    QTest::addColumn<qint64>("tag");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty name") << "" << "" << qint64(0) << "请填入租碟人姓名！";
    QTest::newRow("name of blanks") << "   " << "" << qint64(0) << "请填入租碟人姓名！";
    QTest::newRow("letter O in the deposit") << "甲" << "1O0" << qint64(0) << "请填入填入数字，如100！\r\n不填请保持空格。";
    QTest::newRow("negative deposit") << "甲" << "-5" << qint64(0) << "请填入数字，如100！\r\n不填请保持空格。";
    QTest::newRow("customer gone") << "甲" << "" << qint64(99) << "客户 000099 已不存在，无法提交！";
}

void TestRentals::refusedInput()
{
    QFETCH(QString, name);
    QFETCH(QString, deposit);
    QFETCH(qint64, tag);
    QFETCH(QString, message);
    ProgramFolder f;
    addDiscs(f, 2);
    const QByteArray before = fileHash(f.realFile());
    db::RentalRequest r = request(name, {1, 2});
    r.deposit = deposit;
    r.tagCustomerId = tag;
    auto id = db::CommitRental(r);
    QVERIFY(!id.ok());
    QCOMPARE(id.error(), message);
    QCOMPARE(fileHash(f.realFile()), before);
}

void TestRentals::staleDiscRefusesEverything_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("named");
    QTest::newRow("deleted after picking")
        << "UPDATE table1 SET t13 = NULL, t38 = NULL, t7 = NULL, t18 = NULL WHERE id = 2" << "000002";
    QTest::newRow("rented through another window") << "UPDATE table1 SET s1 = '2026-03-15', s3 = '别人' WHERE id = 3"
                                                   << "000003";
    QTest::newRow("slot now holds another title") << "UPDATE table1 SET t13 = '新片' WHERE id = 2" << "000002";
    QTest::newRow("slot gone") << "DELETE FROM table1 WHERE id = 3" << "000003";
    QTest::newRow("two of them") << "UPDATE table1 SET t13 = NULL WHERE id IN (2, 3)" << "000002、000003";
}

void TestRentals::staleDiscRefusesEverything()
{
    QFETCH(QString, change);
    QFETCH(QString, named);
    ProgramFolder f;
    addDiscs(f, 3);
    f.exec(change);
    const QByteArray before = fileHash(f.realFile());
    db::RentalRequest r = request("张三", {1, 2, 3});
    r.cardType = "新卡";
    auto id = db::CommitRental(r);
    QVERIFY(!id.ok());
    QCOMPARE(id.error(), QStringLiteral("以下碟片已不能出租（已删除或已租出）：%1\r\n请将其移岀预租列表后再提交！").arg(named));
    QCOMPARE(fileHash(f.realFile()), before);
    QCOMPARE(db::Lookups().CardTypeList.count(), 0);
}

void TestRentals::failureHalfWayLeavesTheFileAsItWas_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::newRow("third rental record") << "AFTER INSERT ON table4 WHEN NEW.discid = 3";
    QTest::newRow("second disc marked out") << "AFTER UPDATE OF s3 ON table1 WHEN NEW.id = 2";
    QTest::newRow("new card type") << "AFTER INSERT ON table3";
    QTest::newRow("customer row") << "AFTER UPDATE ON table2";
    QTest::newRow("blank customer row") << "AFTER INSERT ON table2";
}

void TestRentals::failureHalfWayLeavesTheFileAsItWas()
{
    QFETCH(QString, trigger);
    ProgramFolder f;
    addDiscs(f, 4);
    f.exec("INSERT INTO table3 (s3) VALUES ('VIP卡')");
    QVERIFY(db::LoadLookupLists().ok());
    f.exec(QStringLiteral("CREATE TRIGGER fail_here %1 BEGIN SELECT RAISE(ABORT, 'disk gone'); END").arg(trigger));
    const QByteArray before = fileHash(f.realFile());
    const QStringList rowsBefore = contents(f);
    db::RentalRequest r = request("张三", {1, 2, 3, 4});
    r.cardType = "金卡";
    r.deposit = "100";
    auto id = db::CommitRental(r);
    QVERIFY(!id.ok());
    QVERIFY2(id.error().contains("disk gone"), qPrintable(id.error()));
    QCOMPARE(contents(f), rowsBefore);
    QCOMPARE(fileHash(f.realFile()), before);
    QCOMPARE(db::Lookups().CardTypeList.entries(), QStringList{"VIP卡"});

    // With the fault gone the same rental goes through.
    f.exec("DROP TRIGGER fail_here");
    QVERIFY(db::CommitRental(r).ok());
    QCOMPARE(f.scalar("SELECT count(*) FROM table4").toInt(), 4);
    QCOMPARE(db::Lookups().CardTypeList.entries(), (QStringList{"VIP卡", "金卡"}));
}

void TestRentals::numbersBeyond32Bits()
{
    ProgramFolder f;
    const qint64 disc = 5000000123LL, customer = 4294967302LL;
    f.exec("INSERT INTO table1 (id, t13, t7) VALUES (?, '碟大号', 1), (?, '碟小号', 1)", {disc, disc - 65536 * 4});
    f.exec("INSERT INTO table2 (id, t1) VALUES (?, '大号客户')", {customer});
    db::RentalRequest r = request("大号客户");
    r.tagCustomerId = customer;
    r.discs << db::PickedDisc{disc, "碟大号"};
    auto id = db::CommitRental(r);
    QVERIFY2(id.ok(), qPrintable(id.error()));
    QCOMPARE(*id, customer);
    QCOMPARE(f.rows("SELECT discid, khid FROM table4").value(0), (QVariantList{disc, customer}));
    QCOMPARE(f.scalar("SELECT id FROM table1 WHERE s3 IS NOT NULL").toLongLong(), disc);
}

void TestRentals::readForPreRentList()
{
    ProgramFolder f;
    addDiscs(f, 6);
    f.exec("UPDATE table1 SET s3 = '别人' WHERE id = 2");
    f.exec("UPDATE table1 SET t13 = NULL WHERE id = 4");
    f.exec("UPDATE table1 SET t38 = 'B2', t7 = 2, t14 = '主角', t11 = '导演', t10 = '中国', t20 = '动作' WHERE id = 5");
    auto read = db::ReadPreRentDiscs({5, 2, 1, 4, 99});
    QVERIFY2(read.ok(), qPrintable(read.error()));
    QCOMPARE(read->discs.size(), 2);
    const db::PreRentDisc &d = read->discs[0];
    QCOMPARE(d.id, 5);
    QCOMPARE((QStringList{d.shelf, d.title, d.starring, d.director, d.country, d.media, d.category}),
             (QStringList{"B2", "碟5", "主角", "导演", "中国", "DVD", "动作"}));
    QCOMPARE(d.count, 2);
    QCOMPARE(read->discs[1].id, 1);
    QCOMPARE(read->notRentable, (QList<qint64>{2, 4, 99}));
}

void TestRentals::loadCustomer_data()
{
    QTest::addColumn<QString>("values");
    QTest::addColumn<QStringList>("shown"); // name, card, type, deposit, remark; "-" for absent
    QTest::newRow("every field") << "' 赵六 ', '110101850230123', '金卡', 300, '常客'"
                                 << QStringList{"赵六", "110101850230123", "金卡", "300", "常客"};
    QTest::newRow("nothing but the name") << "'赵六', NULL, '', 0, NULL" << QStringList{"赵六", "-", "-", "-", "-"};
}

void TestRentals::loadCustomer()
{
    QFETCH(QString, values);
    QFETCH(QStringList, shown);
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, t2, t3, t4, t5) VALUES (12, %1)").arg(values));
    auto c = db::LoadRentalCustomer(12);
    QVERIFY2(c.ok(), qPrintable(c.error()));
    QStringList got;
    for (const auto *v : {&c->name, &c->card, &c->cardType, &c->deposit, &c->remark})
        got << v->value_or(QStringLiteral("-"));
    QCOMPARE(got, shown);
    QVERIFY(!db::LoadRentalCustomer(13).ok());
}

QTEST_GUILESS_MAIN(TestRentals)
#include "tst_rentals.moc"
