#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include "data/store/connection.h"
#include "data/shop/accounts.h"
#include "data/shop/demodata.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

class TestDemoData : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sizeAndVariety();
    void everyRentalStateIsPresent_data();
    void everyRentalStateIsPresent();
    void discsOutAgreeWithOpenRecords();
    void customersAgreeWithTheirRecords();
    void identityNumbersAreWellFormed();
    void coversAreBmpPictures();
    void sameSeedSameShop();
    void firstRunCreatesBothFiles();
    void demoFileMadeAnewGetsTheAccounts();

private:
    QString m_file;
    QTemporaryDir m_dir;
    QList<QVariantList> rows(const QString &sql) const;
};

QList<QVariantList> TestDemoData::rows(const QString &sql) const
{
    db::Connection c(m_file);
    auto q = c.run(sql);
    QList<QVariantList> out;
    if (!q)
        return out;
    while (q.value().next()) {
        QVariantList r;
        for (int i = 0; i < q.value().record().count(); ++i)
            r << q.value().value(i);
        out << r;
    }
    return out;
}

void TestDemoData::initTestCase()
{
    m_file = m_dir.filePath("demo.sqlite");
    QVERIFY(db::CreateDatabaseFile(m_file).ok());
    db::Connection c(m_file);
    db::DemoSize size;
    size.anchor = testsupport::Today();
    const auto s = db::GenerateDemoData(c, size);
    QVERIFY2(s.ok(), qPrintable(s.error()));
}

void TestDemoData::sizeAndVariety()
{
    QVERIFY(rows("SELECT count(*) FROM table1 WHERE t13 IS NOT NULL")[0][0].toInt() >= 150);
    QVERIFY(rows("SELECT count(*) FROM table2 WHERE t1 IS NOT NULL")[0][0].toInt() >= 40);
    for (const char *col : {"t18", "t20", "t10", "t38", "t7"}) {
        const int distinct = rows(QStringLiteral("SELECT count(DISTINCT %1) FROM table1").arg(col))[0][0].toInt();
        QVERIFY2(distinct >= 3, col);
    }
    QVERIFY(rows("SELECT count(*) FROM table1 WHERE t7 > 1")[0][0].toInt() > 0);
    QVERIFY(rows("SELECT count(*) FROM table3 WHERE s3 <> ''")[0][0].toInt() >= 3);
}

void TestDemoData::everyRentalStateIsPresent_data()
{
    QTest::addColumn<QString>("condition");
    QTest::newRow("out") << "s2 IS NULL";
    QTest::newRow("returned") << "s2 = '√' AND s3 IS NOT NULL";
    QTest::newRow("deleted while out") << "s2 = '已删除' AND s3 IS NULL AND s4 IS NOT NULL";
    QTest::newRow("returned, then deleted") << "s2 = '已删除' AND s3 IS NOT NULL AND s4 >= s3";
}

void TestDemoData::everyRentalStateIsPresent()
{
    QFETCH(QString, condition);
    QVERIFY(rows("SELECT count(*) FROM table4 WHERE " + condition)[0][0].toInt() > 0);
}

void TestDemoData::discsOutAgreeWithOpenRecords()
{
    // Every open record is the disc's newest, and the disc names its customer and date.
    const auto open = rows("SELECT table4.discid, table4.s1, table2.t1, table1.s1, table1.s3, table1.t13, table4.discname "
                           "FROM table4 JOIN table2 ON table2.id = table4.khid "
                           "JOIN table1 ON table1.id = table4.discid WHERE table4.s2 IS NULL");
    QVERIFY(!open.isEmpty());
    for (const auto &r : open) {
        QCOMPARE(r[3], r[1]);
        QCOMPARE(r[4], r[2]);
        QCOMPARE(r[5], r[6]);
    }
    QCOMPARE(rows("SELECT count(*) FROM table1 WHERE s3 IS NOT NULL")[0][0].toInt(), open.size());
    QCOMPARE(rows("SELECT count(*) FROM (SELECT discid FROM table4 WHERE s2 IS NULL GROUP BY discid HAVING count(*) > 1)")[0][0].toInt(), 0);
    // Deleted discs are free slots; their records are all marked.
    QCOMPARE(rows("SELECT count(*) FROM table4 JOIN table1 ON table1.id = table4.discid "
                  "WHERE table1.t13 IS NULL AND table4.s2 IS NOT '已删除'")[0][0].toInt(), 0);
    QVERIFY(rows("SELECT count(*) FROM table1 WHERE t13 IS NULL AND s4 = 0")[0][0].toInt() > 0);
    // A disc's rental count is the number of its records.
    QCOMPARE(rows("SELECT count(*) FROM table1 WHERE t13 IS NOT NULL AND "
                  "s4 <> (SELECT count(*) FROM table4 WHERE discid = table1.id)")[0][0].toInt(), 0);
}

void TestDemoData::customersAgreeWithTheirRecords()
{
    QCOMPARE(rows("SELECT count(*) FROM table2 WHERE s3 = '√' AND EXISTS "
                  "(SELECT 1 FROM table4 WHERE khid = table2.id AND s2 IS NULL)")[0][0].toInt(), 0);
    QVERIFY(rows("SELECT count(*) FROM table2 WHERE s3 = '√'")[0][0].toInt() > 0);
    QCOMPARE(rows("SELECT count(*) FROM table2 WHERE s1 IS NOT "
                  "(SELECT max(s1) FROM table4 WHERE khid = table2.id)")[0][0].toInt(), 0);
    QCOMPARE(rows("SELECT count(*) FROM table2 WHERE t4 > 0 AND s5 IS NULL")[0][0].toInt(), 0);
    QCOMPARE(rows("SELECT count(*) FROM table2 WHERE (t3 IS NULL) <> (s4 IS NULL)")[0][0].toInt(), 0);
}

void TestDemoData::identityNumbersAreWellFormed()
{
    static const QRegularExpression fifteen(QStringLiteral("^\\d{6}(\\d{2})(\\d{2})(\\d{2})\\d{3}$"));
    static const QRegularExpression eighteen(QStringLiteral("^\\d{6}(\\d{4})(\\d{2})(\\d{2})\\d{4}$"));
    int shortOnes = 0, longOnes = 0;
    for (const auto &r : rows("SELECT t2 FROM table2")) {
        const QString card = r[0].toString();
        auto m = fifteen.match(card);
        int year = 0;
        if (m.hasMatch()) {
            ++shortOnes;
            year = 1900 + m.captured(1).toInt();
        } else {
            m = eighteen.match(card);
            QVERIFY2(m.hasMatch(), qPrintable(card));
            ++longOnes;
            year = m.captured(1).toInt();
        }
        QVERIFY(year >= 1930 && year <= 1992);
        QVERIFY(m.captured(2).toInt() >= 1 && m.captured(2).toInt() <= 12);
        QVERIFY(m.captured(3).toInt() >= 1 && m.captured(3).toInt() <= 31);
    }
    QVERIFY(shortOnes > 0);
    QVERIFY(longOnes > 0);
}

void TestDemoData::coversAreBmpPictures()
{
    const auto covers = rows("SELECT img1 FROM table1 WHERE img1 IS NOT NULL");
    QVERIFY(covers.size() > 50);
    for (const auto &r : covers) {
        const QByteArray bmp = r[0].toByteArray();
        QVERIFY(bmp.startsWith("BM"));
        const quint32 declared = quint8(bmp[2]) | quint8(bmp[3]) << 8 | quint8(bmp[4]) << 16 | quint32(quint8(bmp[5])) << 24;
        QCOMPARE(declared, quint32(bmp.size()));
    }
}

void TestDemoData::sameSeedSameShop()
{
    auto digest = [](const QString &file) {
        db::Connection c(file);
        QCryptographicHash h(QCryptographicHash::Sha1);
        for (const char *sql : {"SELECT id, t13, t14, t7, s1, s3, s4 FROM table1", "SELECT * FROM table2", "SELECT * FROM table4"}) {
            auto q = c.run(QString::fromLatin1(sql));
            while (q.value().next()) {
                for (int i = 0; i < q.value().record().count(); ++i)
                    h.addData(q.value().value(i).toString().toUtf8() + '|');
            }
        }
        return h.result();
    };
    const QString second = m_dir.filePath("again.sqlite");
    QVERIFY(db::CreateDatabaseFile(second).ok());
    {
        db::Connection c(second);
        db::DemoSize size;
        size.anchor = testsupport::Today();
        QVERIFY(db::GenerateDemoData(c, size).ok());
    }
    QCOMPARE(digest(second), digest(m_file));
}

void TestDemoData::firstRunCreatesBothFiles()
{
    ProgramFolder folder(ProgramFolder::NoDemoFile);
    QVERIFY(QFile::remove(folder.realFile()));
    QVERIFY(db::CreateDatabaseFiles().ok());
    QCOMPARE(folder.scalar("SELECT count(*) FROM table1").toInt(), 0);
    QVERIFY(folder.scalar("SELECT count(*) FROM table1", {}, true).toInt() >= 150);
    // A second start leaves both files as they are.
    folder.exec("INSERT INTO table1 (t13) VALUES ('mine')");
    QVERIFY(db::CreateDatabaseFiles().ok());
    QCOMPARE(folder.scalar("SELECT count(*) FROM table1").toInt(), 1);
}

// A lost demonstration file made anew beside a shop with accounts: the shop keeper logged in
// to the shop can switch to it and pass its login check, with or without a password.
void TestDemoData::demoFileMadeAnewGetsTheAccounts()
{
    ProgramFolder folder(ProgramFolder::NoDemoFile);
    folder.exec("INSERT INTO table7 (t1, t2) VALUES ('店主', 'Pw1'), ('店员', NULL)");
    QVERIFY(db::CreateDatabaseFiles().ok());
    QCOMPARE(folder.rows("SELECT t1, coalesce(t2, 'no password') FROM table7 ORDER BY id", {}, true),
             (QList<QVariantList>{{"店主", "Pw1"}, {"店员", "no password"}}));
    db::DemoData::setEnabled(true);
    QVERIFY(db::CheckLogin(QStringLiteral("店主"), QStringLiteral("Pw1")).ok());
    QVERIFY(db::CheckLogin(QStringLiteral("店员"), QString()).ok());
    QCOMPARE(db::CheckLogin(QStringLiteral("店主"), QStringLiteral("pw")).outcome, db::LoginOutcome::WrongNameOrPassword);
    db::DemoData::setEnabled(false);
    // The shop's own file is left as it was.
    QCOMPARE(folder.scalar("SELECT count(*) FROM table8").toInt(), 0);
}

QTEST_GUILESS_MAIN(TestDemoData)
#include "tst_demodata.moc"
