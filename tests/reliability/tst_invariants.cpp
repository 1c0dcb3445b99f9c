#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "data/connection.h"
#include "data/demodata.h"
#include "data/invariants.h"
#include "data/schema.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

// A small shop that obeys every rule: disc 1 out to 张三, disc 2 back from 李四 (settled),
// slot 3 free, one value in two lookup lists.
void arrangeSoundShop(const ProgramFolder &pf)
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
    void soundShopPasses();
    void generatedShopsPass_data();
    void generatedShopsPass();
    void breachReported_data();
    void breachReported();
    void damagedPagesReported();
    void oldLayoutCheckedAsItIs();
    void checkCommand_data();
    void checkCommand();
};

void tst_invariants::soundShopPasses()
{
    ProgramFolder pf;
    arrangeSoundShop(pf);
    QCOMPARE(pf.problems(), QString());
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
        << QStringList{"disc-out-has-open-record: 空位 000003 标记为出租（租给“王五”），却不是碟片。"};
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

QTEST_GUILESS_MAIN(tst_invariants)
#include "tst_invariants.moc"
