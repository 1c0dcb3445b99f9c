#include <QFile>
#include <QTest>

#include "data/store/connection.h"
#include "data/store/formatting.h"
#include "data/store/programdir.h"
#include "data/store/records.h"
#include "data/store/schema.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

class TestDataStore : public QObject
{
    Q_OBJECT
private slots:
    void formatRecordNumber_data();
    void formatRecordNumber();
    void nextDiscId_data();
    void nextDiscId();
    void switchTakesEffectAtNextOperation();
    void textComparesWithoutCase_data();
    void textComparesWithoutCase();
    void newRowsGetZeroDefaults();
    void unusableFileIsReportedAsValue_data();
    void unusableFileIsReportedAsValue();
    void lockedFileIsReportedAsValue();
    void unfinishedTransactionLeavesNoTrace();
    void typedQuotesStayValues();
    void createRefusesExistingFile();
    void fileOfNewerReleaseIsRefused();
};

void TestDataStore::formatRecordNumber_data()
{
    QTest::addColumn<qint64>("n");
    QTest::addColumn<QString>("shown");
    QTest::newRow("7") << qint64(7) << "000007";
    QTest::newRow("42") << qint64(42) << "000042";
    QTest::newRow("six digits") << qint64(123456) << "123456";
    QTest::newRow("seven digits") << qint64(1234567) << "1234567";
}

void TestDataStore::formatRecordNumber()
{
    QFETCH(qint64, n);
    QFETCH(QString, shown);
    QCOMPARE(db::FormatRecordNumber(n), shown);
}

void TestDataStore::nextDiscId_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("freed");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("discs 1-5, none free") << 5 << QList<int>{} << qint64(6);
    QTest::newRow("slot 3 freed") << 5 << QList<int>{3} << qint64(3);
    QTest::newRow("lowest of several free") << 5 << QList<int>{4, 2} << qint64(2);
    QTest::newRow("empty table") << 0 << QList<int>{} << qint64(1);
    QTest::newRow("only free slots") << 3 << QList<int>{1, 2, 3} << qint64(1);
    QTest::newRow("highest freed") << 5 << QList<int>{5} << qint64(5);
}

void TestDataStore::nextDiscId()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, freed);
    QFETCH(qint64, expected);
    ProgramFolder folder;
    for (int i = 1; i <= rows; ++i)
        folder.exec("INSERT INTO table1 (t13) VALUES (?)", {QStringLiteral("碟%1").arg(i)});
    for (int id : freed)
        folder.exec("UPDATE table1 SET t13 = NULL WHERE id = ?", {id});
    const auto next = db::NextDiscId();
    QVERIFY2(next.ok(), qPrintable(next.error()));
    QCOMPARE(next.value(), expected);
}

void TestDataStore::switchTakesEffectAtNextOperation()
{
    ProgramFolder folder;
    for (int i = 0; i < 5; ++i)
        folder.exec("INSERT INTO table1 (t13) VALUES ('a')");
    folder.exec("INSERT INTO table1 (t13) VALUES ('b')", {}, true);

    QCOMPARE(db::NextDiscId().value(), qint64(6));
    db::DemoData::setEnabled(true);
    QCOMPARE(db::DatabasePath(), folder.demoFile());
    QCOMPARE(db::NextDiscId().value(), qint64(2));
    db::DemoData::setEnabled(false);
    QCOMPARE(db::NextDiscId().value(), qint64(6));
}

void TestDataStore::textComparesWithoutCase_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("matches");
    QTest::newRow("equal, other case") << "SELECT count(*) FROM table7 WHERE t1 = ?" << "ADMIN" << 1;
    QTest::newRow("equal, same case") << "SELECT count(*) FROM table7 WHERE t1 = ?" << "admin" << 1;
    QTest::newRow("equal, longer") << "SELECT count(*) FROM table7 WHERE t1 = ?" << "admin " << 0;
    QTest::newRow("like, other case") << "SELECT count(*) FROM table7 WHERE t1 LIKE ?" << "%DMI%" << 1;
    QTest::newRow("in an index") << "SELECT count(*) FROM table2 WHERE t2 = ?" << "12345x" << 1;
}

void TestDataStore::textComparesWithoutCase()
{
    QFETCH(QString, sql);
    QFETCH(QString, value);
    QFETCH(int, matches);
    ProgramFolder folder;
    folder.exec("INSERT INTO table7 (t1, t2) VALUES ('admin', 'pw')");
    folder.exec("INSERT INTO table2 (t1, t2) VALUES ('王', '12345X')");
    QCOMPARE(folder.scalar(sql, {value}).toInt(), matches);
}

void TestDataStore::newRowsGetZeroDefaults()
{
    ProgramFolder folder;
    db::Connection c;
    QVERIFY(c.ok());
    QVERIFY(db::AppendBlankDisc(c).ok());
    QVERIFY(db::AppendBlankCustomer(c).ok());
    const auto disc = folder.rows("SELECT t13, s4 FROM table1");
    QCOMPARE(disc.size(), 1);
    QVERIFY(disc[0][0].isNull());
    QCOMPARE(disc[0][1].toInt(), 0);
    const auto customer = folder.rows("SELECT t1, t4, s2 FROM table2");
    QCOMPARE(customer.size(), 1);
    QVERIFY(customer[0][0].isNull());
    QCOMPARE(customer[0][1].toInt(), 0);
    QCOMPARE(customer[0][2].toInt(), 0);
    // Adding to the stored count works without a NULL test.
    folder.exec("UPDATE table1 SET s4 = s4 + 1");
    QCOMPARE(folder.scalar("SELECT s4 FROM table1").toInt(), 1);
}

void TestDataStore::unusableFileIsReportedAsValue_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("找不到数据库文件");
    QTest::newRow("not a database") << QByteArray(4096, 'x') << QStringLiteral("已损坏");
}

void TestDataStore::unusableFileIsReportedAsValue()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    ProgramFolder folder;
    QVERIFY(QFile::remove(folder.realFile()));
    if (!content.isEmpty()) {
        QFile f(folder.realFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const auto next = db::NextDiscId();
    QVERIFY(!next.ok());
    QVERIFY2(next.error().contains(reason), qPrintable(next.error()));
    QVERIFY(next.error().contains(QStringLiteral("db.sqlite")));
    // Nothing was created in place of the missing file.
    QCOMPARE(QFile::exists(folder.realFile()), !content.isEmpty());
}

void TestDataStore::lockedFileIsReportedAsValue()
{
    ProgramFolder folder;
    db::Connection holder;
    QVERIFY(holder.exec("BEGIN EXCLUSIVE").ok());
    const auto next = db::NextDiscId();
    QVERIFY(!next.ok());
    QVERIFY2(next.error().contains(QStringLiteral("占用")), qPrintable(next.error()));
    QVERIFY(holder.exec("ROLLBACK").ok());
    QVERIFY(db::NextDiscId().ok());
}

void TestDataStore::unfinishedTransactionLeavesNoTrace()
{
    ProgramFolder folder;
    {
        db::Connection c;
        db::Transaction tx(c);
        QVERIFY(tx.ok());
        QVERIFY(c.exec("INSERT INTO table1 (t13) VALUES ('x')").ok());
        QVERIFY(!c.exec("INSERT INTO no_such_table VALUES (1)").ok());
    }
    QCOMPARE(folder.scalar("SELECT count(*) FROM table1").toInt(), 0);
}

void TestDataStore::typedQuotesStayValues()
{
    ProgramFolder folder;
    const QString title = QStringLiteral("O'Brien'); DROP TABLE table1; --");
    db::Connection c;
    QVERIFY(c.exec("INSERT INTO table1 (t13) VALUES (?)", {title}).ok());
    QCOMPARE(folder.scalar("SELECT t13 FROM table1").toString(), title);
    QCOMPARE(c.scalar("SELECT count(*) FROM table1 WHERE t13 = ?", {title}).value().toInt(), 1);
}

void TestDataStore::createRefusesExistingFile()
{
    ProgramFolder folder;
    folder.exec("INSERT INTO table1 (t13) VALUES ('keep')");
    QVERIFY(!db::CreateDatabaseFile(folder.realFile()).ok());
    QCOMPARE(folder.scalar("SELECT t13 FROM table1").toString(), QStringLiteral("keep"));
}

void TestDataStore::fileOfNewerReleaseIsRefused()
{
    ProgramFolder folder;
    const int newer = db::SchemaVersion() + 1;
    {
        db::Connection c(folder.realFile(), db::Connection::Mode::Create);
        QVERIFY(c.exec(QStringLiteral("PRAGMA user_version = %1").arg(newer)).ok());
        QVERIFY(c.exec("INSERT INTO table1 (t13) VALUES ('新版')").ok());
    }
    const auto next = db::NextDiscId();
    QVERIFY(!next.ok());
    QVERIFY2(next.error().contains(QStringLiteral("更新版本")), qPrintable(next.error()));
    QVERIFY(next.error().contains(QStringLiteral("db.sqlite")));
    db::Connection raw(folder.realFile(), db::Connection::Mode::Create);
    QCOMPARE(raw.scalar("PRAGMA user_version").value().toInt(), newer);
    QCOMPARE(raw.scalar("SELECT t13 FROM table1").value().toString(), QStringLiteral("新版"));
}

QTEST_GUILESS_MAIN(TestDataStore)
#include "tst_datastore.moc"
