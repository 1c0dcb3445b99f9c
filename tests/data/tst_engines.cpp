// The shop's operations on both engines: the file beside the program and a server shop on
// the test server (skipped without LANLAN_TEST_PG). Several counters are processes of this
// program started with --rent-worker.
#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "data/safety/invariants.h"
#include "data/safety/shopcopy.h"
#include "data/search/customerindex.h"
#include "data/search/discfilter.h"
#include "data/search/discindex.h"
#include "data/shop/accounts.h"
#include "data/shop/catalogueimport.h"
#include "data/shop/customerquery.h"
#include "data/shop/disclists.h"
#include "data/shop/discrecords.h"
#include "data/shop/rentals.h"
#include "data/shop/returns.h"
#include "data/shop/statistics.h"
#include "data/store/connection.h"
#include "data/store/formatting.h"
#include "data/store/pagedquery.h"
#include "data/store/progress.h"
#include "data/store/serverschema.h"
#include "support/programfolder.h"
#include "support/servershop.h"

using testsupport::ProgramFolder;
using testsupport::ServerDatabase;

namespace {

QVariant scalar(const QString &sql, const QVariantList &binds = {})
{
    db::Connection c;
    auto v = c.scalar(sql, binds);
    if (!v)
        qWarning("%s", qPrintable(v.error()));
    return v ? *v : QVariant();
}

qint64 addDisc(const QString &title, const QString &count = QStringLiteral("1"))
{
    db::DiscFields f;
    f.title = title;
    f.count = count;
    auto id = db::AddDisc(f);
    if (!id)
        qWarning("%s", qPrintable(id.error()));
    return id ? *id : 0;
}

QList<qint64> idsOf(const db::PagedQuery &q)
{
    QList<qint64> ids;
    auto page = db::ReadPage(q, 1, 1000);
    if (!page) {
        qWarning("%s", qPrintable(page.error()));
        return {-1};
    }
    for (const QVariantList &row : page->rows)
        ids << row.first().toLongLong();
    return ids;
}

// The kept counters against the rows they count; empty when they agree.
QString counterProblems()
{
    QStringList out;
    const std::pair<const char *, const char *> pairs[] = {
        {"SELECT discs FROM list_counts", "SELECT count(*) FROM table1 WHERE t13 IS NOT NULL"},
        {"SELECT discs_out FROM list_counts", "SELECT count(*) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NOT NULL"},
        {"SELECT customers FROM list_counts", "SELECT count(*) FROM table2 WHERE t1 IS NOT NULL"},
        {"SELECT customers_out FROM list_counts",
         "SELECT count(*) FROM table2 WHERE t1 IS NOT NULL AND s3 IS NULL AND s2 > 0"},
        {"SELECT coalesce(sum(n), 0) FROM list_blocks WHERE list = 1", "SELECT count(*) FROM table1 WHERE t13 IS NOT NULL"},
        {"SELECT coalesce(sum(n), 0) FROM list_blocks WHERE list = 2", "SELECT count(*) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NOT NULL"},
        {"SELECT coalesce(sum(n), 0) FROM customer_days WHERE list = 1", "SELECT count(*) FROM table2 WHERE t1 IS NOT NULL"},
        // A disc is out with at most one open rental record.
        {"SELECT 0", "SELECT count(*) FROM (SELECT discid FROM table4 WHERE s2 IS NULL GROUP BY discid HAVING count(*) > 1) x"},
    };
    for (const auto &[kept, counted] : pairs) {
        const qint64 a = scalar(QString::fromUtf8(kept)).toLongLong(), b = scalar(QString::fromUtf8(counted)).toLongLong();
        if (a != b)
            out << QStringLiteral("%1 = %2, %3 = %4").arg(QString::fromUtf8(kept)).arg(a).arg(QString::fromUtf8(counted)).arg(b);
    }
    return out.join(QLatin1Char('\n'));
}

db::RentalRequest request(const QString &name, const QList<db::PickedDisc> &discs)
{
    db::RentalRequest r;
    r.name = name;
    r.discs = discs;
    return r;
}

QString raceTitle(qint64 disc)
{
    return QStringLiteral("碟%1").arg(disc);
}

// Round r offers discs 3r+1..3r+3; counter 0 rents the first two, counter 1 the last two.
int rentWorker(const QString &conninfo, int counter, int rounds)
{
    const auto shop = db::ServerShop::parse(conninfo);
    if (!shop)
        return 2;
    db::ShopLocation::useServer(*shop);
    QTextStream out(stdout);
    for (int r = 0; r < rounds; ++r) {
        const qint64 first = 3 * qint64(r) + 1 + counter;
        auto done = db::CommitRental(request(QStringLiteral("柜台%1").arg(counter),
                                             {{first, raceTitle(first)}, {first + 1, raceTitle(first + 1)}}));
        if (done)
            out << r << " ok\n";
        else if (done.error().contains(db::FormatRecordNumber(3 * qint64(r) + 2)))
            out << r << " refused\n";
        else
            out << r << " failed " << done.error().simplified() << '\n';
    }
    return 0;
}

// Another counter: renames disc 2 with a statement of its own and folds the disc index's log.
int foldWorker(const QString &conninfo, const QString &title)
{
    const auto shop = db::ServerShop::parse(conninfo);
    if (!shop)
        return 2;
    db::ShopLocation::useServer(*shop);
    db::Connection c;
    if (!c.exec(QStringLiteral("UPDATE table1 SET t13 = ? WHERE id = 2"), {title}))
        return 1;
    return db::CompactDiscIndex(c).ok() ? 0 : 1;
}

} // namespace

class TestEngines : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void discLifecycle_data() { engines(); }
    void discLifecycle();
    void rentalRefusesStaleDisc_data() { engines(); }
    void rentalRefusesStaleDisc();
    void longRentalWrittenWhole_data() { engines(); }
    void longRentalWrittenWhole();
    void returnIsDoneOnce_data() { engines(); }
    void returnIsDoneOnce();
    void searchAgreesWithLike_data();
    void searchAgreesWithLike();
    void serverConnectionText_data();
    void serverConnectionText();
    void serverShopRefusals_data();
    void serverShopRefusals();
    void racingCountersRentOnce();
    void serverStopsDuringRentalCommit();
    void accountsOnTheShop_data() { engines(); }
    void accountsOnTheShop();
    void customerQueryByDays_data() { engines(); }
    void customerQueryByDays();
    void checkerOnTheShop_data() { engines(); }
    void catalogueImported_data();
    void catalogueImported();
    void checkerOnTheShop();
    void serverShopMadeOnce();
    void copyShopRoundTrip();
    void copyShopRefusesAFullTarget_data();
    void copyShopRefusesAFullTarget();
    void olderServerLayoutUpgraded_data();
    void olderServerLayoutUpgraded();
    void otherCountersChangesAreTold();
    void searchSeesOtherCountersChanges();

private:
    static void engines();
    bool useEngine(bool server);
    std::unique_ptr<ServerDatabase> m_server;
    std::unique_ptr<ProgramFolder> m_folder;
};

void TestEngines::engines()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

void TestEngines::initTestCase()
{
    if (testsupport::TestServer())
        m_server = std::make_unique<ServerDatabase>();
}

void TestEngines::cleanupTestCase()
{
    m_server.reset();
}

void TestEngines::init()
{
    db::ShopLocation::useFile();
    m_folder = std::make_unique<ProgramFolder>();
}

void TestEngines::cleanup()
{
    db::SetDiscIndexCompactAt(1000);
    db::ForgetDiscIndexMemory();
    db::Connection::closeServerConnection();
    db::ShopLocation::useFile();
    m_folder.reset();
}

bool TestEngines::useEngine(bool server)
{
    return testsupport::ReadyForEngine(server, m_server.get());
}

#define ENGINE()                                                                   \
    QFETCH(bool, server);                                                          \
    if (!useEngine(server))                                                        \
        QSKIP("no test server (LANLAN_TEST_PG)");

#define SERVER()                                                                   \
    if (!useEngine(true))                                                          \
        QSKIP("no test server (LANLAN_TEST_PG)");

void TestEngines::discLifecycle()
{
    ENGINE();
    const qint64 a = addDisc(QStringLiteral("天龙八部")), b = addDisc(QStringLiteral("Dragon")), c = addDisc(QStringLiteral("八"));
    QCOMPARE(QList<qint64>({a, b, c}), QList<qint64>({1, 2, 3}));
    db::DiscFields change;
    change.starring = QStringLiteral("林青霞");
    change.count = QStringLiteral("3");
    QVERIFY(db::UpdateDisc(b, change));
    auto loaded = db::LoadDisc(b);
    QVERIFY2(loaded, qPrintable(loaded.error()));
    QCOMPARE(loaded->title.value_or(QString()), QStringLiteral("Dragon"));
    QCOMPARE(loaded->starring.value_or(QString()), QStringLiteral("林青霞"));
    QCOMPARE(loaded->count.value_or(QString()), QStringLiteral("3"));

    QVERIFY(db::DeleteDiscs({a}));
    QCOMPARE(idsOf(db::AllDiscsQuery()), QList<qint64>({c, b}));
    // The freed slot is filled first, as on the file.
    QCOMPARE(addDisc(QStringLiteral("新碟")), a);
    QCOMPARE(idsOf(db::AllDiscsQuery()), QList<qint64>({c, b, a}));
    QCOMPARE(counterProblems(), QString());
}

void TestEngines::rentalRefusesStaleDisc()
{
    ENGINE();
    for (int i = 1; i <= 3; ++i)
        addDisc(raceTitle(i), QStringLiteral("2"));
    auto first = db::CommitRental(request(QStringLiteral("张三"), {{1, raceTitle(1)}, {2, raceTitle(2)}}));
    QVERIFY2(first, qPrintable(first.error()));
    QCOMPARE(idsOf(db::RentedDiscsQuery()), QList<qint64>({2, 1}));
    QCOMPARE(scalar(QStringLiteral("SELECT s2 FROM table2 WHERE id = ?"), {*first}).toLongLong(), 4);

    // A second counter still showing disc 2 on the shelf: refused, naming it, nothing written.
    auto second = db::CommitRental(request(QStringLiteral("李四"), {{3, raceTitle(3)}, {2, raceTitle(2)}}));
    QVERIFY(!second);
    QVERIFY2(second.error().contains(QStringLiteral("000002")) && !second.error().contains(QStringLiteral("000003")),
             qPrintable(second.error()));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table4")).toLongLong(), 2);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table2 WHERE t1 = ?"), {QStringLiteral("李四")}).toLongLong(), 0);
    QVERIFY(scalar(QStringLiteral("SELECT s3 FROM table1 WHERE id = 3")).isNull());
    QCOMPARE(counterProblems(), QString());
}

// A rental is written in parts of many discs a statement: a list longer than one part is
// written whole, its records in the list's order.
void TestEngines::longRentalWrittenWhole()
{
    ENGINE();
    QList<db::PickedDisc> picked;
    for (int i = 1; i <= 250; ++i) {
        const qint64 id = addDisc(raceTitle(i), QStringLiteral("2"));
        QCOMPARE(id, qint64(i));
        picked.prepend({id, raceTitle(id)});
    }
    auto customer = db::CommitRental(request(QStringLiteral("赵六"), picked));
    QVERIFY2(customer, qPrintable(customer.error()));
    QCOMPARE(scalar(QStringLiteral("SELECT s2 FROM table2 WHERE id = ?"), {*customer}).toLongLong(), 500);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE s3 = ? AND s4 = 1"), {QStringLiteral("赵六")}).toLongLong(), 250);
    QList<qint64> order;
    {
        db::Connection c;
        auto q = c.run(QStringLiteral("SELECT discid FROM table4 WHERE khid = ? AND discname = '碟' || discid ORDER BY id"), {*customer});
        QVERIFY(q);
        while (q.value().next())
            order << q.value().value(0).toLongLong();
    }
    QCOMPARE(order.size(), 250);
    QCOMPARE(order.first(), 250);
    QVERIFY(std::is_sorted(order.crbegin(), order.crend()));
    QCOMPARE(counterProblems(), QString());
}

void TestEngines::returnIsDoneOnce()
{
    ENGINE();
    addDisc(raceTitle(1));
    addDisc(raceTitle(2));
    auto customer = db::CommitRental(request(QStringLiteral("王五"), {{1, raceTitle(1)}, {2, raceTitle(2)}}));
    QVERIFY2(customer, qPrintable(customer.error()));
    QList<qint64> records;
    {
        db::Connection c;
        auto q = c.run(QStringLiteral("SELECT id FROM table4 WHERE khid = ? ORDER BY id"), {*customer});
        QVERIFY(q);
        while (q.value().next())
            records << q.value().value(0).toLongLong();
    }
    QCOMPARE(records.size(), 2);
    auto back = db::ReturnDiscs(*customer, records);
    QVERIFY2(back, qPrintable(back.error()));
    QCOMPARE(back->returned, 2);
    QVERIFY(back->settled);
    // The same return from another counter finds nothing left to close.
    auto again = db::ReturnDiscs(*customer, records);
    QVERIFY2(again, qPrintable(again.error()));
    QCOMPARE(again->returned, 0);
    QCOMPARE(idsOf(db::RentedDiscsQuery()), QList<qint64>());
    QCOMPARE(counterProblems(), QString());
}

void TestEngines::searchAgreesWithLike_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("part");
    const char *parts[] = {"龙", "八部", "DRAGON", "agon b", "%", "_", "\\", "天龙八部之", "ａ"};
    for (bool server : {false, true})
        for (const char *part : parts)
            QTest::addRow("%s %s", server ? "server" : "file", part) << server << QString::fromUtf8(part);
}

void TestEngines::searchAgreesWithLike()
{
    ENGINE();
    QFETCH(QString, part);
    const QStringList titles = {QStringLiteral("天龙八部"), QStringLiteral("龙门客栈"), QStringLiteral("Dragon"),
                                QStringLiteral("dragon ball"), QStringLiteral("八"), QStringLiteral("100% 纯"),
                                QStringLiteral("a_b"), QStringLiteral("C:\\碟"), QStringLiteral("Ａ全角")};
    QList<qint64> expected;
    for (const QString &t : titles) {
        const qint64 id = addDisc(t);
        // LIKE folds A-Z only.
        auto fold = [](QString s) {
            for (QChar &ch : s)
                if (ch >= QLatin1Char('A') && ch <= QLatin1Char('Z'))
                    ch = QChar(ch.unicode() + 32);
            return s;
        };
        if (fold(t).contains(fold(part)))
            expected.prepend(id);
    }
    db::DiscFilter f;
    f.title = part;
    QCOMPARE(idsOf(db::DiscFilterQuery(f)), expected);
}

void TestEngines::serverConnectionText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written"); // as conninfo() writes it back; empty: refused
    QTest::addColumn<QString>("problem");
    QTest::newRow("socket folder") << "host=/run/postgresql dbname=shop user=kim"
                                   << "host=/run/postgresql port=5432 dbname=shop user=kim" << "";
    QTest::newRow("quoted, TLS") << "host='my host' port=6543 dbname='a\\'b' sslmode=verify-full"
                                 << "host='my host' port=6543 dbname='a\\'b' sslmode=verify-full" << "";
    QTest::newRow("password refused") << "dbname=shop password=secret" << "" << "~/.pgpass";
    QTest::newRow("no database") << "host=db1 user=kim" << "" << "dbname";
    QTest::newRow("bad port") << "dbname=shop port=99999" << "" << "端口";
    QTest::newRow("unknown key") << "dbname=shop colour=red" << "" << "colour";
    QTest::newRow("open quote") << "dbname='shop" << "" << "引号";
}

void TestEngines::serverConnectionText()
{
    QFETCH(QString, text);
    QFETCH(QString, written);
    QFETCH(QString, problem);
    QString why;
    const auto shop = db::ServerShop::parse(text, &why);
    QCOMPARE(shop.has_value(), problem.isEmpty());
    if (shop) {
        QCOMPARE(shop->conninfo(), written);
        QCOMPARE(db::ServerShop::parse(shop->conninfo()), shop);
    } else {
        QVERIFY2(why.contains(problem), qPrintable(why));
        QVERIFY(!why.contains(QLatin1String("secret")));
    }
}

void TestEngines::serverShopRefusals_data()
{
    QTest::addColumn<QString>("arrange");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty database") << "" << "数据库中还没有店铺数据";
    QTest::newRow("something else") << "CREATE TABLE invoices (id int)" << "数据库中存放的是别的内容";
    QTest::newRow("newer layout") << "UPDATE lanlan_layout SET version = version + 1" << "更新版本的程序";
}

void TestEngines::serverShopRefusals()
{
    SERVER();
    QFETCH(QString, arrange);
    QFETCH(QString, message);
    QVERIFY(m_server->reset(!arrange.startsWith(QLatin1String("UPDATE"))));
    if (!arrange.isEmpty())
        QVERIFY(m_server->exec(arrange));
    db::Connection c;
    QVERIFY(!c.ok());
    QVERIFY2(c.status().error().contains(message), qPrintable(c.status().error()));
    QVERIFY2(c.status().error().contains(m_server->shop().database), qPrintable(c.status().error()));
    QVERIFY(!db::AddDisc({QStringLiteral("碟")}));
}

void TestEngines::racingCountersRentOnce()
{
    SERVER();
    constexpr int kRounds = 200;
    for (int i = 1; i <= 3 * kRounds; ++i)
        addDisc(raceTitle(i));
    QProcess counters[2];
    for (int k = 0; k < 2; ++k) {
        counters[k].start(QCoreApplication::applicationFilePath(),
                          {QStringLiteral("--rent-worker"), m_server->shop().conninfo(), QString::number(k),
                           QString::number(kRounds)});
    }
    QStringList lines[2];
    for (int k = 0; k < 2; ++k) {
        QVERIFY(counters[k].waitForFinished(240000));
        QCOMPARE(counters[k].exitCode(), 0);
        lines[k] = QString::fromUtf8(counters[k].readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines[k].size(), kRounds);
    }
    for (int r = 0; r < kRounds; ++r) {
        const QString a = lines[0].at(r), b = lines[1].at(r);
        const bool oneEach = (a.endsWith(QLatin1String(" ok")) && b.endsWith(QLatin1String(" refused")))
                          || (a.endsWith(QLatin1String(" refused")) && b.endsWith(QLatin1String(" ok")));
        QVERIFY2(oneEach, qPrintable(a + QStringLiteral(" / ") + b));
    }
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table4")).toLongLong(), 2 * kRounds);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE s3 IS NOT NULL")).toLongLong(), 2 * kRounds);
    QCOMPARE(counterProblems(), QString());
}

void TestEngines::serverStopsDuringRentalCommit()
{
    SERVER();
    if (testsupport::TestServerDir().isEmpty())
        QSKIP("the test server's folder is not known (LANLAN_TEST_PG_DIR)");
    addDisc(raceTitle(1));
    addDisc(raceTitle(2));
    // Another session holds the counters' row, so the commit stops after its first writes;
    // the server is then stopped under it.
    QVERIFY(m_server->exec(QStringLiteral("BEGIN")));
    QVERIFY(m_server->exec(QStringLiteral("SELECT * FROM list_counts FOR UPDATE")));
    QVERIFY(QProcess::startDetached(QStringLiteral("/bin/sh"),
                                    {QStringLiteral("-c"), QStringLiteral("sleep 1; exec '%1' halt '%2'")
                                                               .arg(QStringLiteral(LANLAN_SOURCE_DIR "/scripts/pg_test_server.sh"),
                                                                    testsupport::TestServerDir())}));
    // Whatever happens below, the server runs again for the tests after this one.
    const auto restart = qScopeGuard([] {
        if (!QFile::exists(testsupport::TestServerDir() + QStringLiteral("/socket/.s.PGSQL.5432")))
            testsupport::ControlTestServer(QStringLiteral("resume"));
    });
    const db::RentalRequest r = request(QStringLiteral("赵六"), {{1, raceTitle(1)}, {2, raceTitle(2)}});
    auto lost = db::CommitRental(r);
    QVERIFY(!lost);
    QVERIFY2(lost.error().contains(QStringLiteral("连接断开")) && lost.error().contains(m_server->shop().database),
             qPrintable(lost.error()));
    QCOMPARE(lost.status().fault(), db::Fault::IO);
    // Once it is down, the next operation says so.
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(testsupport::TestServerDir() + QStringLiteral("/socket/.s.PGSQL.5432")), 30000);
    auto down = db::CommitRental(r);
    QVERIFY(!down);
    QVERIFY2(down.error().contains(QStringLiteral("服务器没有运行")), qPrintable(down.error()));

    QVERIFY(testsupport::ControlTestServer(QStringLiteral("resume")));
    auto retried = db::CommitRental(r);
    QVERIFY2(retried, qPrintable(retried.error()));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table4")).toLongLong(), 2);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table2 WHERE t1 IS NOT NULL")).toLongLong(), 1);
    QCOMPARE(counterProblems(), QString());
}

void TestEngines::accountsOnTheShop()
{
    ENGINE();
    QCOMPARE(db::HasAnyUser().value(), false);
    QVERIFY(db::CreateFirstAccount(QStringLiteral("店主"), QStringLiteral("Pw")));
    QCOMPARE(db::HasAnyUser().value(), true);
    // The shop in use holds it, and the demonstration file for the switch to it; on a server
    // shop the file beside the program is left alone.
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table7 WHERE t1 = ? AND t2 = ?"), {QStringLiteral("店主"), QStringLiteral("Pw")})
                 .toLongLong(),
             1);
    QCOMPARE(m_folder->scalar(QStringLiteral("SELECT count(*) FROM table7")).toLongLong(), server ? 0 : 1);
    QCOMPARE(m_folder->scalar(QStringLiteral("SELECT count(*) FROM table7"), {}, true).toLongLong(), 1);
    const db::LoginResult login = db::CheckLogin(QStringLiteral("店主"), QStringLiteral("pW"));
    QVERIFY2(login.ok(), qPrintable(login.error));
    QCOMPARE(scalar(QStringLiteral("SELECT loginer FROM table8")).toString(), QStringLiteral("店主"));
    QCOMPARE(db::CheckLogin(QStringLiteral("店主"), QStringLiteral("pw2")).outcome, db::LoginOutcome::WrongNameOrPassword);
    // A shop that has accounts keeps them as they are when it is chosen.
    QVERIFY(db::AdoptAccount(QStringLiteral("别人"), QString()));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM table7")).toLongLong(), 1);
}

void TestEngines::customerQueryByDays()
{
    ENGINE();
    for (int i = 1; i <= 3; ++i)
        addDisc(raceTitle(i));
    QVERIFY(db::CommitRental(request(QStringLiteral("甲"), {{1, raceTitle(1)}})));
    QVERIFY(db::CommitRental(request(QStringLiteral("乙"), {{2, raceTitle(2)}})));
    db::CustomerCriteria since;
    since.from = testsupport::Today();
    db::CustomerCriteria before;
    before.to = testsupport::Today().addDays(-1);
    for (const auto &[criteria, expected] : {std::pair{since, 2}, std::pair{before, 0}, std::pair{db::CustomerCriteria(), 2}}) {
        auto page = db::ReadPage(db::CustomerCriteriaQuery(criteria), 1, 30);
        QVERIFY2(page, qPrintable(page.error()));
        QCOMPARE(page->recordCount, qint64(expected));
        QCOMPARE(page->rows.size(), expected);
    }
}

void TestEngines::catalogueImported_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<int>("lines");
    // A large import has the discs' counters counted at its end on the server.
    for (const bool server : {false, true})
        for (const int lines : {3, 2100})
            QTest::addRow("%s %d lines", server ? "server" : "file", lines) << server << lines;
}

void TestEngines::catalogueImported()
{
    ENGINE();
    QFETCH(int, lines);
    addDisc(raceTitle(1));
    addDisc(raceTitle(2));
    addDisc(raceTitle(3));
    QVERIFY(db::CommitRental(request(QStringLiteral("甲"), {{3, raceTitle(3)}})));
    QVERIFY(db::DeleteDiscs({2}));
    QTemporaryDir dir;
    QFile csv(dir.filePath(QStringLiteral("目录.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("碟名,碟装,媒介分类\n");
    for (int i = 1; i <= lines; ++i)
        csv.write(QStringLiteral("目录碟%1,%2,DVD\n").arg(i).arg(i == 2 ? QStringLiteral("x") : QStringLiteral("1")).toUtf8());
    csv.close();
    auto file = db::ReadCatalogue(csv.fileName());
    QVERIFY2(file, qPrintable(file.error()));
    QCOMPARE(file->badLines(), 1);
    auto imported = db::ImportCatalogue(*file, db::NoProgress());
    QVERIFY2(imported, qPrintable(imported.error()));
    QCOMPARE(*imported, qint64(lines - 1));
    // The freed slot first, then after the last disc; the counters and the lists agree.
    QCOMPARE(scalar(QStringLiteral("SELECT t13 FROM table1 WHERE id = 2")).toString(), QStringLiteral("目录碟1"));
    QCOMPARE(scalar(QStringLiteral("SELECT t13 FROM table1 WHERE id = 4")).toString(), QStringLiteral("目录碟3"));
    QCOMPARE(counterProblems(), QString());
    auto page = db::ReadPage(db::AllDiscsQuery(), 1, 30);
    QVERIFY2(page, qPrintable(page.error()));
    QCOMPARE(page->recordCount, qint64(3 + lines - 1 - 1));
    QCOMPARE(idsOf(db::RentedDiscsQuery()), QList<qint64>({3}));
    // Later writes are counted row by row again.
    addDisc(QStringLiteral("之后的碟"));
    QCOMPARE(counterProblems(), QString());
}

void TestEngines::checkerOnTheShop()
{
    ENGINE();
    addDisc(raceTitle(1));
    addDisc(raceTitle(2));
    QVERIFY(db::CommitRental(request(QStringLiteral("丙"), {{1, raceTitle(1)}})));
    auto check = [] {
        db::Connection c;
        return db::CheckFile(c);
    };
    auto clean = check();
    QVERIFY2(clean, qPrintable(clean.error()));
    QVERIFY2(clean->clean(), qPrintable(clean->lines().join(QLatin1Char('\n'))));
    // A disc out without its record, a settled customer with one open, a counter off by one.
    {
        db::Connection c;
        QVERIFY(c.exec(QStringLiteral("UPDATE table2 SET s3 = '2020-01-01' WHERE t1 = ?"), {QStringLiteral("丙")}));
        QVERIFY(c.exec(QStringLiteral("UPDATE table4 SET s2 = 'x' WHERE discid = 1")));
        QVERIFY(c.exec(QStringLiteral("UPDATE table4 SET s2 = NULL WHERE discid = 1")));
        QVERIFY(c.exec(QStringLiteral("UPDATE list_counts SET discs = discs + 1")));
        QVERIFY(c.exec(QStringLiteral("UPDATE table1 SET s3 = 'x' WHERE id = 2")));
    }
    auto broken = check();
    QVERIFY2(broken, qPrintable(broken.error()));
    QSet<QString> rules;
    for (const auto &[rule, line] : broken->breaches)
        rules << rule;
    for (const char *rule : {"disc-out-has-open-record", "settled-customer-has-no-open-record", "disc-counters"})
        QVERIFY2(rules.contains(QString::fromLatin1(rule)), qPrintable(broken->lines().join(QLatin1Char('\n'))));
    // No rule failed to run on this engine.
    QVERIFY2(!broken->lines().join(QLatin1Char('\n')).contains(QStringLiteral("无法检查")), qPrintable(broken->lines().join(QLatin1Char('\n'))));
}

void TestEngines::serverShopMadeOnce()
{
    SERVER();
    QVERIFY(m_server->reset(true));
    QCOMPARE(db::ProbeServerShop(m_server->shop()).value(), db::ServerLayout::Empty);
    QCOMPARE(db::OpenServerShop(m_server->shop(), false).status().fault(), db::Fault::Missing);
    QCOMPARE(db::OpenServerShop(m_server->shop(), true).value(), true);
    QCOMPARE(db::OpenServerShop(m_server->shop(), true).value(), false);
    QCOMPARE(db::ProbeServerShop(m_server->shop()).value(), db::ServerSchemaVersion());
    QVERIFY(addDisc(QStringLiteral("碟")) == 1);
}

namespace {

// Every row of the shop's tables, in id order, as text that tells the values' kinds apart.
QStringList shopRows(const db::ShopPlace &place)
{
    std::optional<db::Connection> c;
    if (place.server)
        c.emplace(*place.server, db::Connection::Mode::Existing);
    else
        c.emplace(place.file, db::Connection::Mode::Existing);
    QStringList out;
    const char *tables[] = {"table1 (id, t13, t14, t10, t11, t18, t7, t20, t38, t41, t34, img1, s1, s2, s3, s4)",
                            "table2 (id, t1, t2, t3, s4, t4, s5, t5, s1, s2, s3)", "table3 (id, s2, s3, s6, s8, s9, s11, s13)",
                            "table4 (id, discid, discname, khid, s1, s2, s3, s4)", "table7 (id, t1, t2)",
                            "table8 (id, loginer_id, loginer, login_time)",
                            "list_counts (discs, discs_out, customers, customers_out)"};
    for (const char *t : tables) {
        const QString table = QString::fromLatin1(t).section(QLatin1Char(' '), 0, 0);
        const QString columns = QString::fromLatin1(t).section(QLatin1Char('('), 1).chopped(1);
        auto q = c->run(QStringLiteral("SELECT %1 FROM %2 ORDER BY 1").arg(columns, table));
        if (!q)
            return {q.error()};
        while (q.value().next()) {
            QStringList row{table};
            for (int i = 0; i < columns.count(QLatin1Char(',')) + 1; ++i) {
                const QVariant v = q.value().value(i);
                if (v.isNull())
                    row << QStringLiteral("NULL");
                else if (v.typeId() == QMetaType::QByteArray)
                    row << QStringLiteral("bytes:") + QString::fromLatin1(v.toByteArray().toHex());
                else if (table == QLatin1String("table2") && i == 5)
                    row << QString::number(v.toDouble()); // the deposit: a number on both engines
                else
                    row << v.toString();
            }
            out << row.join(QLatin1Char('|'));
        }
    }
    return out;
}

} // namespace

void TestEngines::copyShopRoundTrip()
{
    SERVER();
    QVERIFY(m_server->reset(true));
    db::ShopLocation::useFile();
    // A shop with a cover of every byte value, numbers past 32 bits, a deposit with a fraction.
    for (int i = 1; i <= 3; ++i)
        addDisc(raceTitle(i), QStringLiteral("2"));
    QByteArray cover;
    for (int i = 0; i < 3 * 256; ++i)
        cover.append(char(i % 256));
    m_folder->exec(QStringLiteral("UPDATE table1 SET img1 = ?, s4 = 9007199254740993 WHERE id = 2"), {cover});
    m_folder->exec(QStringLiteral("INSERT INTO table1 (id, t13, t7) VALUES (5000000001, 'Ｘ大号', 4294967297)"));
    QVERIFY(db::CommitRental(request(QStringLiteral("丁"), {{1, raceTitle(1)}, {3, raceTitle(3)}})));
    m_folder->exec(QStringLiteral("UPDATE table2 SET t4 = 12.5 WHERE t1 = '丁'"));
    QVERIFY(db::CreateFirstAccount(QStringLiteral("店主"), QString()));
    QVERIFY(db::CheckLogin(QStringLiteral("店主"), QString()).ok());
    m_folder->exec(QStringLiteral("INSERT INTO table3 (s2) VALUES ('香港')"));
    const qint64 gone = m_folder->scalar(QStringLiteral("SELECT max(id) FROM table3")).toLongLong();
    m_folder->exec(QStringLiteral("DELETE FROM table3 WHERE id = ?"), {gone}); // its id is not given again

    const db::ShopPlace file{m_folder->realFile(), std::nullopt};
    const db::ShopPlace server{QString(), m_server->shop()};
    const db::ShopPlace back{m_folder->path() + QStringLiteral("/back.sqlite"), std::nullopt};
    const QStringList original = shopRows(file);
    QVERIFY2(original.size() >= 10, qPrintable(original.join(QLatin1Char('\n'))));
    auto there = db::CopyShop(file, server, db::NoProgress());
    QVERIFY2(there, qPrintable(there.error()));
    QCOMPARE(shopRows(server), original);
    auto home = db::CopyShop(server, back, db::NoProgress());
    QVERIFY2(home, qPrintable(home.error()));
    QCOMPARE(*home, *there);
    QCOMPARE(shopRows(back), original);
    auto report = db::CheckFile(back.file);
    QVERIFY2(report && report->clean(), qPrintable(report ? report->lines().join(QLatin1Char('\n')) : report.error()));
    // The next new rows get the numbers they would have got in the first file.
    for (const db::ShopPlace &place : {file, server, back}) {
        std::optional<db::Connection> c;
        if (place.server)
            c.emplace(*place.server, db::Connection::Mode::Existing);
        else
            c.emplace(place.file, db::Connection::Mode::Existing);
        QVERIFY(c->exec(QStringLiteral("INSERT INTO table3 (s2) VALUES ('台湾')")));
        QCOMPARE(c->scalar(QStringLiteral("SELECT max(id) FROM table3")).value().toLongLong(), gone + 1);
        QVERIFY(c->exec(QStringLiteral("INSERT INTO table1 (t13) VALUES ('新')")));
        QCOMPARE(c->scalar(QStringLiteral("SELECT max(id) FROM table1")).value().toLongLong(), 5000000002);
    }
    // The server's kept counters and figures were counted from the copied rows, and its
    // triggers keep them again for the rows written since.
    auto onServer = db::CheckServerShop(m_server->shop());
    QVERIFY2(onServer && onServer->clean(), qPrintable(onServer ? onServer->lines().join(QLatin1Char('\n')) : onServer.error()));
    db::Connection c(m_server->shop(), db::Connection::Mode::Existing);
    QCOMPARE(c.scalar(QStringLiteral("SELECT discs FROM list_counts")).value().toLongLong(), 5);
    // Its search indexes were filed from the copied rows (their logs were off for the load).
    QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM disc_changes")).value().toLongLong(), 1);
    db::ShopLocation::useServer(m_server->shop());
    db::DiscFilter f;
    f.title = QStringLiteral("碟");
    QCOMPARE(idsOf(db::DiscFilterQuery(f)), QList<qint64>({3, 2, 1}));
    db::CustomerCriteria named;
    named.name = QStringLiteral("丁");
    QCOMPARE(idsOf(db::CustomerCriteriaQuery(named)).size(), 1);
}

void TestEngines::copyShopRefusesAFullTarget_data()
{
    QTest::addColumn<QString>("target"); // what the target holds
    QTest::addColumn<QString>("message");
    QTest::newRow("server with a shop") << "shop" << "已经有一个店铺";
    QTest::newRow("server with something else") << "CREATE TABLE invoices (id int)" << "别的内容";
    QTest::newRow("existing file") << "file" << "已经存在";
}

void TestEngines::copyShopRefusesAFullTarget()
{
    SERVER();
    QFETCH(QString, target);
    QFETCH(QString, message);
    db::ShopLocation::useFile();
    addDisc(raceTitle(1));
    const db::ShopPlace file{m_folder->realFile(), std::nullopt};
    db::ShopPlace to{m_folder->demoFile(), std::nullopt};
    if (target != QLatin1String("file")) {
        QVERIFY(m_server->reset(target != QLatin1String("shop")));
        if (target != QLatin1String("shop"))
            QVERIFY(m_server->exec(target));
        to = {QString(), m_server->shop()};
    }
    const QStringList before = target == QLatin1String("shop") ? shopRows(to) : QStringList();
    auto copied = db::CopyShop(file, to, db::NoProgress());
    QVERIFY(!copied);
    QVERIFY2(copied.error().contains(message), qPrintable(copied.error()));
    if (target == QLatin1String("shop"))
        QCOMPARE(shopRows(to), before);
    QVERIFY(!QFile::exists(to.file + QStringLiteral(".part")));
}

void TestEngines::olderServerLayoutUpgraded_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("layout 1") << 1;
    QTest::newRow("layout 3, before the figures") << 3;
    QTest::newRow("layout 4, before the discs counted later") << 4;
    QTest::newRow("layout 5, before the month counts") << 5;
    QTest::newRow("before the search indexes") << db::ServerIndexVersion() - 1;
}

void TestEngines::olderServerLayoutUpgraded()
{
    SERVER();
    QFETCH(int, version);
    QVERIFY(m_server->reset(true));
    {
        db::Connection c(m_server->shop(), db::Connection::Mode::Create);
        QVERIFY(db::CreateServerSchema(c, version));
        QVERIFY(c.exec(QStringLiteral("INSERT INTO table2 (t1, s1, t4, s5) VALUES ('甲', '2024-01-02', 30, '2024-01-02'), "
                                      "('乙', '2024-01-02', 0, NULL)")));
        QVERIFY(c.exec(QStringLiteral("INSERT INTO table1 (t13, t7, s1, s3, t14) VALUES ('天龙八部', 1, '2024-01-02', '甲', '甲'), "
                                      "('龙门', 1, NULL, NULL, NULL), ('八', 1, NULL, NULL, 'x')")));
        QVERIFY(c.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES "
                                      "(2, '龙门', 1, '2023-12-30', '√', '2024-01-01'), (2, '龙门', 1, '2024-01-01', '√', '2024-01-02'), "
                                      "(1, '天龙八部', 1, '2024-01-02', NULL, NULL), (2, '龙门', 2, '2024-1', '√', '2024-01-02')")));
    }
    db::Connection::closeServerConnection();
    QCOMPARE(db::ProbeServerShop(m_server->shop()).value(), version);
    // The customers list, ordered by the file's ifnull(), reads the upgraded shop; the
    // upgrade tells whoever watches each of its steps.
    struct Stages final : db::Progress
    {
        QStringList seen;
        void stage(const QString &what, qint64) override { seen << what; }
        bool advance(qint64) override { return true; }
    } stages;
    auto page = [&] {
        db::ScopedProgress watching(&stages);
        return db::ReadPage(db::CustomerCriteriaQuery(db::CustomerCriteria()), 1, 30);
    }();
    QVERIFY2(page, qPrintable(page.error()));
    const int steps = db::ServerSchemaVersion() - version;
    QCOMPARE(stages.seen.size(), steps + 1);
    QCOMPARE(stages.seen.first(), QStringLiteral("正在升级服务器上的店铺：第 1 步，共 %1 步（第 %2 版格式）…").arg(steps).arg(version + 1));
    QCOMPARE(page->recordCount, 2);
    QCOMPARE(db::ProbeServerShop(m_server->shop()).value(), db::ServerSchemaVersion());
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM pg_trigger WHERE tgname LIKE 'table%_told'")).toLongLong(), 3);
    QCOMPARE(counterProblems(), QString());
    // The kept figures equal those counted from the rows, and the statistics read them.
    {
        db::Connection c;
        auto check = db::CheckFile(c);
        QVERIFY2(check, qPrintable(check.error()));
        QVERIFY2(check->clean(), qPrintable(check->lines().join(QLatin1Char('\n'))));
        auto s = db::ReadStatistics(c, QDate(2024, 1, 3), QDate(2024, 1, 1), QDate(2024, 1, 31));
        QVERIFY2(s, qPrintable(s.error()));
        QCOMPARE(s->days.at(0).rentals, qint64(1));
        QCOMPARE(s->days.at(1).rentals, qint64(1));
        QCOMPARE(s->days.at(1).returns, qint64(2));
        QCOMPARE(s->depositsHeld, 30.0);
        QCOMPARE(s->topTitles.size(), 2);
        QCOMPARE(s->topCustomers.size(), 1);
        QCOMPARE(s->topCustomers.first().name, QStringLiteral("甲"));
        QCOMPARE(s->topCustomers.first().rentals, qint64(2));
        // The record of a date with no plain month is found by the walk down the month counts.
        db::ShopStatistics p;
        QVERIFY(db::ReadPeriod(c, QDate(2024, 9, 20), QDate(2024, 10, 10), p, db::CustomerRanking::Months));
        QCOMPARE(p.topCustomers.size(), 1);
        QCOMPARE(p.topCustomers.first().name, QStringLiteral("乙"));
    }
    // The search indexes were filed with the rows already there, and search through them.
    QVERIFY(scalar(QStringLiteral("SELECT count(*) FROM disc_index_bits")).toLongLong() > 0);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM disc_changes")).toLongLong(), 0);
    db::DiscFilter f;
    f.title = QStringLiteral("龙");
    QVERIFY(db::DiscFilterQuery(f).finder);
    QCOMPARE(idsOf(db::DiscFilterQuery(f)), QList<qint64>({2, 1}));
    db::CustomerCriteria named;
    named.name = QStringLiteral("乙");
    QCOMPARE(idsOf(db::CustomerCriteriaQuery(named)), QList<qint64>({2}));
    auto report = db::CheckServerShop(m_server->shop());
    QVERIFY2(report && report->clean(), qPrintable(report ? report->lines().join(QLatin1Char('\n')) : report.error()));
}

void TestEngines::otherCountersChangesAreTold()
{
    SERVER();
    int told = 0;
    db::Connection::watchServerChanges([&told] { ++told; });
    const auto stop = qScopeGuard([] { db::Connection::watchServerChanges({}); });
    db::Connection::closeServerConnection();
    addDisc(raceTitle(1)); // the kept connection opens: what changed before is not known
    QCOMPARE(told, 1);
    QTest::qWait(300);
    QCOMPARE(told, 1); // this counter's own change is not told back to it
    for (const char *change : {"UPDATE table1 SET t14 = 'x' WHERE id = 1", "INSERT INTO table2 (t1) VALUES ('戊')",
                               "DELETE FROM table4"}) {
        const int before = told;
        QVERIFY(m_server->exec(QString::fromLatin1(change)));
        QTRY_VERIFY_WITH_TIMEOUT(told > before, 5000);
    }
    // The server restarted: the connection opened anew tells that anything may have changed.
    if (!testsupport::TestServerDir().isEmpty()) {
        QVERIFY(testsupport::ControlTestServer(QStringLiteral("restart")));
        const int before = told;
        db::Connection::closeServerConnection();
        addDisc(raceTitle(2));
        QVERIFY(told > before);
    }
}

// A search of this counter after other counters' commits: what its memory of the disc index
// holds is brought up to them, never past a change not yet committed, and thrown away when
// another counter folded the log past it.
void TestEngines::searchSeesOtherCountersChanges()
{
    SERVER();
    for (const char *title : {"月光", "星光", "日出"})
        addDisc(QString::fromUtf8(title));
    db::DiscFilter f;
    f.title = QStringLiteral("光");
    const db::PagedQuery q = db::DiscFilterQuery(f);
    QVERIFY(q.finder);
    QCOMPARE(idsOf(q), QList<qint64>({2, 1}));

    // Another counter's transaction holds the write lock: its change is not seen, and a
    // search that is due to fold the log goes on without it instead of waiting.
    db::SetDiscIndexCompactAt(1);
    QVERIFY(m_server->exec(QStringLiteral("BEGIN")));
    QVERIFY(m_server->exec(QStringLiteral("UPDATE table1 SET t13 = '光' WHERE id = 3")));
    QCOMPARE(idsOf(q), QList<qint64>({2, 1}));
    QVERIFY(scalar(QStringLiteral("SELECT count(*) FROM disc_changes")).toLongLong() > 0);
    QVERIFY(m_server->exec(QStringLiteral("COMMIT")));
    QCOMPARE(idsOf(q), QList<qint64>({3, 2, 1}));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM disc_changes")).toLongLong(), 0);

    // A statement of its own, then a program that folds the log past this counter's memory.
    QVERIFY(m_server->exec(QStringLiteral("UPDATE table1 SET t13 = '月' WHERE id = 1")));
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--fold-worker"), m_server->shop().conninfo(), QStringLiteral("日落")});
    QVERIFY(other.waitForFinished(60000));
    QCOMPARE(other.exitCode(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM disc_changes")).toLongLong(), 0);
    QCOMPARE(idsOf(q), QList<qint64>({3}));
    f.title = QStringLiteral("日");
    QCOMPARE(idsOf(db::DiscFilterQuery(f)), QList<qint64>({2}));
    auto report = db::CheckServerShop(m_server->shop());
    QVERIFY2(report && report->clean(), qPrintable(report ? report->lines().join(QLatin1Char('\n')) : report.error()));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("--rent-worker"))
        return rentWorker(args.at(2), args.at(3).toInt(), args.at(4).toInt());
    if (args.size() == 4 && args.at(1) == QLatin1String("--fold-worker"))
        return foldWorker(args.at(2), args.at(3));
    TestEngines t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_engines.moc"
