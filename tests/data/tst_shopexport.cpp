// 导出全部数据 on both engines (the server skipped without LANLAN_TEST_PG): every table read
// back with a CSV parser holds its rows, hostile texts included; covers go out as files; a
// stop or a failure leaves nothing in the chosen folder.
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "data/shop/catalogueimport.h"
#include "data/shop/csvexport.h"
#include "data/shop/shopexport.h"
#include "data/store/connection.h"
#include "support/hostileinput.h"
#include "support/programfolder.h"
#include "support/servershop.h"

using testsupport::ProgramFolder;
using testsupport::ServerDatabase;

namespace {

class StopAtOnce final : public db::Progress
{
public:
    void stage(const QString &, qint64) override {}
    bool advance(qint64) override { return false; }
};

void exec(const QString &sql, const QVariantList &binds)
{
    db::Connection c;
    if (db::Status s = c.exec(sql, binds); !s)
        qFatal("%s: %s", qPrintable(sql), qPrintable(s.error()));
}

// The records of an exported file, checked to be UTF-8 behind a byte-order mark.
QList<QStringList> readCsv(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {{QStringLiteral("cannot read ") + path}};
    const QByteArray bytes = f.readAll();
    if (!bytes.startsWith(db::CsvByteOrderMark()))
        return {{QStringLiteral("no byte-order mark in ") + path}};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes.mid(3));
    if (utf8.hasError())
        return {{QStringLiteral("not UTF-8: ") + path}};
    return db::ParseCsv(text);
}

const db::ExportedTable &table(const QString &name)
{
    for (const db::ExportedTable &t : db::ExportedTables()) {
        if (t.table == name)
            return t;
    }
    qFatal("no table %s", qPrintable(name));
    return db::ExportedTables().first();
}

// The field of column `column` of every record after the header line.
QStringList column(const QList<QStringList> &records, const QString &tableName, const QString &column)
{
    const qsizetype at = table(tableName).columns.indexOf(column);
    QStringList out;
    for (qsizetype r = 1; r < records.size(); ++r)
        out << records.at(r).value(at, QStringLiteral("<missing>"));
    return out;
}

} // namespace

class TestShopExport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { m_server.reset(); }
    void init();
    void cleanup();
    void everyTableReadsBack_data() { engines(); }
    void everyTableReadsBack();
    void stopOrFailureLeavesNothing_data() { engines(); }
    void stopOrFailureLeavesNothing();

private:
    static void engines();
    bool useEngine(bool server);
    std::unique_ptr<ServerDatabase> m_server;
    std::unique_ptr<ProgramFolder> m_folder;
};

void TestShopExport::engines()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

void TestShopExport::initTestCase()
{
    if (testsupport::TestServer())
        m_server = std::make_unique<ServerDatabase>();
}

void TestShopExport::init()
{
    db::ShopLocation::useFile();
    m_folder = std::make_unique<ProgramFolder>();
}

void TestShopExport::cleanup()
{
    db::Connection::closeServerConnection();
    db::ShopLocation::useFile();
    m_folder.reset();
}

bool TestShopExport::useEngine(bool server)
{
    return testsupport::ReadyForEngine(server, m_server.get());
}

#define ENGINE()                                                                   \
    QFETCH(bool, server);                                                          \
    if (!useEngine(server))                                                        \
        QSKIP("no test server (LANLAN_TEST_PG)");

void TestShopExport::everyTableReadsBack()
{
    ENGINE();
    QStringList texts;
    for (const testsupport::HostileText &t : testsupport::HostileTexts(15))
        texts << t.text;
    texts << QStringLiteral("逗号,引号\"换行\r\n还有\n和\r") << QStringLiteral("=1+2") << QString();
    // The server keeps no NUL in a text; the file does, and it must come out as it went in.
    if (!server)
        texts << QStringLiteral("前\u0000后");
    const QByteArray cover("\xFF\xD8\xFF\xE0 a picture,\r\n\"", 18);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString &t = texts.at(i);
        exec(QStringLiteral("INSERT INTO table1 (t13, t14, t34, t7, img1, s1, s4) VALUES (?, ?, ?, 2, ?, '2026-12-01', 3)"),
             {QStringLiteral("碟%1").arg(i), t, t, i == 1 ? QVariant(cover) : QVariant(QMetaType(QMetaType::QByteArray))});
        exec(QStringLiteral("INSERT INTO table2 (t1, t2, t4, s2, t5) VALUES (?, '110101199001011234', ?, 4, ?)"),
             {t, i % 2 ? QVariant(12.5) : QVariant(100), t});
        exec(QStringLiteral("INSERT INTO table3 (s13) VALUES (?)"), {t});
        exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1, s2) VALUES (?, ?, ?, '2026-12-01', ?)"),
             {i + 1, t, i + 1, t});
        exec(QStringLiteral("INSERT INTO table5 (khid, s1, s2, s3) VALUES (1, ?, '2026-01-02', '2026-02-03')"), {t});
        exec(QStringLiteral("INSERT INTO table6 (khid, s1, s2, s3) VALUES (1, 50, '2026-01-02', ?)"), {t});
        exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES (?, 'secret-password')"), {t});
        exec(QStringLiteral("INSERT INTO table8 (loginer_id, loginer, login_time) VALUES (1, ?, '2026-12-01 08:00:00')"), {t});
    }
    // A slot freed by a delete goes out too, as the empty row it is.
    exec(QStringLiteral("INSERT INTO table1 (t13) VALUES (NULL)"), {});

    QTemporaryDir out;
    auto done = db::ExportShop(out.path(), db::NoProgress());
    QVERIFY2(done, qPrintable(done.error()));
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QFileInfo(done->folder).fileName()});
    QCOMPARE(done->covers, qint64(1));
    QCOMPARE(done->rows, 8 * texts.size() + 1);

    QStringList files;
    for (const db::ExportedTable &t : db::ExportedTables()) {
        files << t.file;
        const QList<QStringList> records = readCsv(QDir(done->folder).filePath(t.file));
        QCOMPARE(records.value(0), t.headers);
        QCOMPARE(records.size(), 1 + texts.size() + (t.table == QLatin1String("table1") ? 1 : 0));
        for (const QStringList &r : records)
            QCOMPARE(r.size(), t.columns.size());
        // The passwords never leave the program.
        QFile f(QDir(done->folder).filePath(t.file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(!f.readAll().contains("secret-password"));
    }
    files << QStringLiteral("封面");
    QCOMPARE(QDir(done->folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), [&] {
        QStringList sorted = files;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }());

    const auto records = [&](const QString &name) { return readCsv(QDir(done->folder).filePath(table(name).file)); };
    const auto discs = records(QStringLiteral("table1"));
    QCOMPARE(column(discs, QStringLiteral("table1"), QStringLiteral("t14")).mid(0, texts.size()), texts);
    QCOMPARE(column(discs, QStringLiteral("table1"), QStringLiteral("t34")).mid(0, texts.size()), texts);
    QCOMPARE(column(discs, QStringLiteral("table1"), QStringLiteral("t7")).first(), QStringLiteral("2"));
    QCOMPARE(column(discs, QStringLiteral("table1"), QStringLiteral("s1")).first(), QStringLiteral("2026-12-01"));
    QCOMPARE(column(discs, QStringLiteral("table1"), QStringLiteral("t13")).last(), QString());
    // The cover: a file of the export, named in its row, holding the stored bytes.
    const QStringList covers = column(discs, QStringLiteral("table1"), QStringLiteral("img1"));
    QCOMPARE(covers.at(0), QString());
    QCOMPARE(covers.at(1), QStringLiteral("封面/0000/000002.jpg"));
    QFile coverFile(QDir(done->folder).filePath(covers.at(1)));
    QVERIFY(coverFile.open(QIODevice::ReadOnly));
    QCOMPARE(coverFile.readAll(), cover);

    const auto customers = records(QStringLiteral("table2"));
    QCOMPARE(column(customers, QStringLiteral("table2"), QStringLiteral("t1")), texts);
    QCOMPARE(column(customers, QStringLiteral("table2"), QStringLiteral("t4")).mid(0, 2),
             (QStringList{QStringLiteral("100"), QStringLiteral("12.5")}));
    QCOMPARE(column(records(QStringLiteral("table3")), QStringLiteral("table3"), QStringLiteral("s13")), texts);
    QCOMPARE(column(records(QStringLiteral("table4")), QStringLiteral("table4"), QStringLiteral("discname")), texts);
    QCOMPARE(column(records(QStringLiteral("table5")), QStringLiteral("table5"), QStringLiteral("s1")), texts);
    QCOMPARE(column(records(QStringLiteral("table6")), QStringLiteral("table6"), QStringLiteral("s3")), texts);
    QCOMPARE(column(records(QStringLiteral("table7")), QStringLiteral("table7"), QStringLiteral("t1")), texts);
    const auto logins = records(QStringLiteral("table8"));
    QCOMPARE(column(logins, QStringLiteral("table8"), QStringLiteral("loginer")), texts);
    QCOMPARE(column(logins, QStringLiteral("table8"), QStringLiteral("login_time")).first(),
             QStringLiteral("2026-12-01 08:00:00"));
}

void TestShopExport::stopOrFailureLeavesNothing()
{
    ENGINE();
    for (int i = 0; i < 600; ++i)
        exec(QStringLiteral("INSERT INTO table1 (t13, img1) VALUES (?, ?)"), {QStringLiteral("碟%1").arg(i), QByteArray("BM")});
    QTemporaryDir out;
    StopAtOnce stop;
    auto stopped = db::ExportShop(out.path(), stop);
    QVERIFY(!stopped);
    QCOMPARE(stopped.error(), db::ExportCancelled());
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    // A folder that is not there (a stick pulled out) is said, and nothing is made.
    auto missing = db::ExportShop(out.filePath(QStringLiteral("gone")), db::NoProgress());
    QVERIFY(!missing);
    QCOMPARE(missing.status().fault(), db::Fault::Missing);
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestShopExport)
#include "tst_shopexport.moc"
