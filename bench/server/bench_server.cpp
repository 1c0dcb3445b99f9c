// Times a server shop beside the file it was copied from, in one run: list pages, the disc
// and customer searches with their counters, the rental commit, and two counters renting
// at the same time. Each row beside the plain statement (rows counted, pages skipped to,
// LIKE over every row; a rental's statements each committed on its own):
//   lanlan_bench_server SHOP.sqlite CONNINFO [--reps N] [--writes-only]
// SHOP.sqlite is copied first; the copy is written to. CONNINFO names a server database
// holding the same shop (lanlan --copy-shop SHOP.sqlite CONNINFO); it is written to as well.
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "data/search/discfilter.h"
#include "data/search/discindex.h"
#include "data/shop/catalogueimport.h"
#include "data/shop/customerlists.h"
#include "data/shop/customerquery.h"
#include "data/shop/disclists.h"
#include "data/shop/lookuplists.h"
#include "data/shop/rentals.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/store/location.h"
#include "data/store/pagedquery.h"
#include "data/store/programdir.h"

#include "bench/common/naiverental.h"
#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);

// Where the shop of a run lives: "file:FOLDER" or "server:CONNINFO".
void useShop(const QString &where)
{
    db::DemoData::setEnabled(false);
    if (where.startsWith(QLatin1String("file:"))) {
        db::ProgramDir::setPath(where.mid(5));
        db::ShopLocation::useFile();
        return;
    }
    auto shop = db::ServerShop::parse(where.mid(7));
    must(shop.has_value(), QStringLiteral("connection text"));
    db::ShopLocation::useServer(*shop);
}

QString engineName(const QString &where)
{
    return where.startsWith(QLatin1String("file:")) ? QStringLiteral("文件") : QStringLiteral("服务器");
}

// The plain statement: every row of the list counted, the page found by skipping rows.
void naivePage(const db::PagedQuery &q, qint64 page)
{
    db::Connection c;
    const QString where = q.where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + q.where;
    auto n = c.scalar(QStringLiteral("SELECT count(*) FROM %1%2").arg(q.from, where), q.binds);
    must(n.ok(), n.error());
    QVariantList binds = q.binds;
    binds << (page - 1) * 30;
    binds.insert(binds.size() - 1, 30);
    auto rows = c.run(db::OffsetPageStatement(q), binds);
    must(rows.ok(), rows.error());
    while (rows.value().next()) {
    }
}

void row(const QString &engine, const QString &action, const Stats &ours, const std::optional<Stats> &naive,
         const QString &note = {})
{
    printRow(out, {engine, action}, ours, naive, {note});
}

struct Named
{
    QString name;
    db::PagedQuery q;
};

void listPages(const QString &engine, int reps, int naiveReps)
{
    for (const Named &l : {Named{QStringLiteral("全部碟片"), db::AllDiscsQuery()},
                           Named{QStringLiteral("未还碟片"), db::RentedDiscsQuery()},
                           Named{QStringLiteral("全部客户"), db::AllCustomersQuery()},
                           Named{QStringLiteral("未还客户"), db::UnreturnedCustomersQuery()}}) {
        auto first = db::ReadPage(l.q, 1, 30);
        must(first.ok(), first.error());
        const qint64 last = first->pageCount, middle = std::max<qint64>(1, last / 2);
        const QString count = QStringLiteral("%1 记录").arg(first->recordCount);
        for (const auto &[what, page] : {std::pair{QStringLiteral("第一页"), qint64(1)},
                                         std::pair{QStringLiteral("中间页"), middle},
                                         std::pair{QStringLiteral("最后一页"), last}}) {
            const Stats ours = time(reps, [&] { must(db::ReadPage(l.q, page, 30).ok(), what); });
            row(engine, l.name + what, ours, time(naiveReps, [&] { naivePage(l.q, page); }), count);
        }
        db::PageReader reader;
        const Stats next = time(reps, [&] { must(reader.read(l.q, middle, 30).ok(), QStringLiteral("next")); }, [&] {
            reader = db::PageReader();
            must(reader.read(l.q, middle - 1, 30).ok(), QStringLiteral("prime"));
        });
        row(engine, l.name + QStringLiteral("下一页到中间页"), next, std::nullopt, count);
    }
}

db::DiscFilter disc(const std::function<void(db::DiscFilter &)> &set, db::RentalState state)
{
    db::DiscFilter f;
    f.state = state;
    set(f);
    return f;
}

std::vector<Named> searches()
{
    std::vector<Named> all;
    const std::pair<QString, std::function<void(db::DiscFilter &)>> kinds[] = {
        {QStringLiteral("无条件"), [](auto &) {}},
        {QStringLiteral("名称含 1 个汉字「传」"), [](auto &f) { f.title = QStringLiteral("传"); }},
        {QStringLiteral("名称含 2 个汉字「风云」"), [](auto &f) { f.title = QStringLiteral("风云"); }},
        {QStringLiteral("名称含 4 个汉字「月光传说」"), [](auto &f) { f.title = QStringLiteral("月光传说"); }},
        {QStringLiteral("名称含「100%」"), [](auto &f) { f.title = QStringLiteral("100%"); }},
        {QStringLiteral("主角含 1 个汉字「王」"), [](auto &f) { f.starring = QStringLiteral("王"); }},
        {QStringLiteral("主角含「刘静怡」"), [](auto &f) { f.starring = QStringLiteral("刘静怡"); }},
        {QStringLiteral("导演含 2 个汉字「建国」"), [](auto &f) { f.director = QStringLiteral("建国"); }},
        {QStringLiteral("媒介 DVD + 国家 香港"), [](auto &f) { f.media = QStringLiteral("DVD"); f.country = QStringLiteral("香港"); }},
        {QStringLiteral("名称「传」+ 主角「王」+ 国家 中国"), [](auto &f) {
             f.title = QStringLiteral("传");
             f.starring = QStringLiteral("王");
             f.country = QStringLiteral("中国");
         }},
    };
    for (const auto &[name, set] : kinds)
        all.push_back({QStringLiteral("选片：") + name, db::DiscFilterQuery(disc(set, db::RentalState::OnShelf))});
    for (const auto &[name, set] : kinds)
        all.push_back({QStringLiteral("碟片查询：") + name, db::DiscFilterQuery(disc(set, db::RentalState::Any))});
    for (const QString &part : {QStringLiteral("王"), QStringLiteral("欧阳"), QStringLiteral("刘静怡")}) {
        db::CustomerCriteria c;
        c.name = part;
        all.push_back({QStringLiteral("客户查询：姓名含「%1」").arg(part), db::CustomerCriteriaQuery(c)});
    }
    return all;
}

// The first page of a search with its counter, also the first of a program run: nothing of
// the search in the program's memory yet. A program has opened its server connection at the
// login already, so that is opened anew before, untimed.
void searchPages(const QString &engine, bool onServer, int reps, int naiveReps)
{
    for (const Named &s : searches()) {
        auto first = db::ReadPage(s.q, 1, 30);
        must(first.ok(), first.error());
        const QString count = QStringLiteral("%1 记录").arg(first->recordCount);
        const Stats firstOfRun = time(std::max(5, reps / 3), [&] { must(db::ReadPage(s.q, 1, 30).ok(), s.name); }, [&] {
            db::ForgetDiscIndexMemory();
            if (onServer) {
                db::Connection::closeServerConnection();
                must(db::Connection().ok(), QStringLiteral("connect"));
            }
        });
        const Stats later = time(reps, [&] { must(db::ReadPage(s.q, 1, 30).ok(), s.name); });
        const Stats naive = time(naiveReps, [&] { naivePage(s.q, 1); });
        row(engine, s.name + QStringLiteral("（本次运行的第一次）"), firstOfRun, naive, count);
        row(engine, s.name, later, naive, count);
    }
}

// Rentable discs of the shop in use, spread over the table, none handed out twice.
std::vector<db::PickedDisc> rentableDiscs(int n, int skip)
{
    db::Connection c;
    auto q = c.run(QStringLiteral("SELECT id, t13 FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL "
                                  "ORDER BY (id * 7919) % 1000003 LIMIT ? OFFSET ?"),
                   {n, skip});
    must(q.ok(), q.error());
    std::vector<db::PickedDisc> discs;
    while (q.value().next())
        discs.push_back({q.value().value(0).toLongLong(), q.value().value(1).toString()});
    must(int(discs.size()) == n, QStringLiteral("enough rentable discs"));
    return discs;
}

db::RentalRequest newCustomer(const std::vector<db::PickedDisc> &discs, size_t from, int n, const QString &name)
{
    db::RentalRequest r;
    r.name = name;
    r.cardType = QStringLiteral("VIP卡");
    r.deposit = QStringLiteral("100");
    r.remark = QStringLiteral("基准");
    r.discs = QList<db::PickedDisc>(discs.begin() + qsizetype(from), discs.begin() + qsizetype(from + n));
    return r;
}

constexpr int kCounterRentals = 100, kDiscsPerRental = 3;

// One counter of the race: rents its discs, kDiscsPerRental a rental, and prints the time of
// each commit in ms, one a line, then when its first commit began and its last ended
// ("span" and two times in ms since the epoch).
int counterProcess(const QString &where, const QString &ids)
{
    useShop(where);
    must(db::LoadLookupLists().ok(), QStringLiteral("lookup lists"));
    // A rental names each disc by its number and the title the picker showed.
    std::vector<db::PickedDisc> discs;
    {
        db::Connection c;
        for (const QString &id : ids.split(QLatin1Char(','))) {
            auto title = c.scalar(QStringLiteral("SELECT t13 FROM table1 WHERE id = ?"), {id.toLongLong()});
            must(title.ok(), title.error());
            discs.push_back({id.toLongLong(), title->toString()});
        }
    }
    QTextStream times(stdout);
    const qint64 began = QDateTime::currentMSecsSinceEpoch();
    for (size_t i = 0; i + kDiscsPerRental <= discs.size(); i += kDiscsPerRental) {
        QElapsedTimer t;
        t.start();
        auto r = db::CommitRental(newCustomer(discs, i, kDiscsPerRental, QStringLiteral("柜台客户")));
        must(r.ok(), r.error());
        times << double(t.nsecsElapsed()) / 1e6 << "\n";
    }
    times << "span " << began << " " << QDateTime::currentMSecsSinceEpoch() << "\n";
    return 0;
}

// Counters renting at once, each in its own process as each counter is its own program:
// rentals per second over all of them, from the first commit to the last, and the p95 of one.
void counters(const QString &engine, const QString &where, int counters, int skip)
{
    const std::vector<db::PickedDisc> discs = rentableDiscs(counters * kCounterRentals * kDiscsPerRental, skip);
    std::vector<std::unique_ptr<QProcess>> running;
    for (int k = 0; k < counters; ++k) {
        QStringList ids;
        for (int i = 0; i < kCounterRentals * kDiscsPerRental; ++i)
            ids << QString::number(discs[size_t(k * kCounterRentals * kDiscsPerRental + i)].id);
        auto p = std::make_unique<QProcess>();
        p->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--counter"), where, ids.join(QLatin1Char(','))});
        running.push_back(std::move(p));
    }
    std::vector<double> ms;
    qint64 first = std::numeric_limits<qint64>::max(), last = 0;
    for (auto &p : running) {
        const bool finished = p->waitForFinished(600000);
        must(finished && p->exitCode() == 0, QStringLiteral("counter: ") + QString::fromLocal8Bit(p->readAllStandardError()));
        for (const QByteArray &line : p->readAllStandardOutput().split('\n')) {
            const QList<QByteArray> span = line.split(' ');
            if (span.size() == 3 && span[0] == "span") {
                first = std::min(first, span[1].toLongLong());
                last = std::max(last, span[2].toLongLong());
            } else if (!line.isEmpty()) {
                ms.push_back(line.toDouble());
            }
        }
    }
    const double seconds = double(last - first) / 1e3;
    must(int(ms.size()) == counters * kCounterRentals, QStringLiteral("every rental timed"));
    const Stats s = stats(ms);
    row(engine, QStringLiteral("%1 个柜台同时出租（每次 %2 张碟）").arg(counters).arg(kDiscsPerRental), s, std::nullopt,
        QStringLiteral("%1 次出租/秒").arg(QString::number(double(ms.size()) / seconds, 'f', 1)));
}

// A catalogue of 20,000 discs imported in one transaction, three times.
void catalogueImport(const QString &engine)
{
    constexpr int kLines = 20000;
    QTemporaryDir dir;
    QFile csv(dir.filePath(QStringLiteral("catalogue.csv")));
    must(csv.open(QIODevice::WriteOnly), QStringLiteral("catalogue"));
    csv.write("碟名,主角,导演,所属柜位,碟装,国家,媒介分类,内容分类\n");
    for (int i = 0; i < kLines; ++i)
        csv.write(QStringLiteral("导入碟片%1,主角%2,导演%3,B%4,1,中国,DVD,动作\n").arg(i).arg(i % 97).arg(i % 89).arg(i % 13).toUtf8());
    csv.close();
    auto file = db::ReadCatalogue(csv.fileName());
    must(file.ok(), file.error());
    row(engine, QStringLiteral("导入 %1 张碟片的目录（一个事务）").arg(kLines), time(3, [&] {
            auto n = db::ImportCatalogue(*file, db::NoProgress());
            must(n.ok() && *n == kLines, n.error());
        }),
        std::nullopt);
}

void benchEngine(const QString &where, int reps, bool writesOnly)
{
    useShop(where);
    const QString engine = engineName(where);
    const bool onServer = where.startsWith(QLatin1String("server:"));
    const int naiveReps = std::max(5, reps / 3);
    {
        QElapsedTimer t;
        t.start();
        db::Connection c; // a file of an earlier layout is upgraded here
        must(c.ok(), c.status().error());
        out << "| " << engine << " | 打开（" << t.elapsed() << " ms） | | | | | | |\n";
    }
    must(db::LoadLookupLists().ok(), QStringLiteral("lookup lists"));
    if (!writesOnly) {
        listPages(engine, reps, naiveReps);
        searchPages(engine, onServer, reps, naiveReps);
    }

    const std::vector<db::PickedDisc> discs = rentableDiscs((reps + naiveReps) * 10, 0);
    size_t next = 0;
    int serial = 0;
    const Stats ours = time(reps, [&] {
        auto r = db::CommitRental(newCustomer(discs, next, 10, QStringLiteral("基准客户%1").arg(++serial)));
        must(r.ok(), r.error());
        next += 10;
    });
    const Stats naive = time(naiveReps, [&] {
        naiveCommit(newCustomer(discs, next, 10, QStringLiteral("基准客户%1").arg(++serial)));
        next += 10;
    });
    row(engine, QStringLiteral("CommitRental 10 张碟（新客户）"), ours, naive);
    catalogueImport(engine);
    const int skip = int(discs.size()) + 100;
    counters(engine, where, 1, skip);
    counters(engine, where, 2, skip + kCounterRentals * kDiscsPerRental);
    db::Connection::closeServerConnection();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("--counter"))
        return counterProcess(args[1], args[2]);
    QStringList plain;
    int reps = 30;
    bool writesOnly = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--reps") && i + 1 < args.size())
            reps = std::max(3, args[++i].toInt());
        else if (args[i] == QLatin1String("--writes-only"))
            writesOnly = true;
        else
            plain << args[i];
    }
    if (plain.size() != 2) {
        QTextStream(stderr) << "usage: lanlan_bench_server SHOP.sqlite CONNINFO [--reps N] [--writes-only]\n";
        return 2;
    }
    QTemporaryDir dir(QStringLiteral("/tmp/lanlan-bench-XXXXXX"));
    must(dir.isValid(), QStringLiteral("temporary folder"));
    const QString copy = dir.filePath(QStringLiteral("db.sqlite"));
    must(QFile::copy(plain[0], copy), QStringLiteral("copy ") + plain[0]);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);

    out << "times in ms, " << reps << " runs each (first of a run and plain statement: " << std::max(5, reps / 3) << ")\n\n";
    out << "| engine | action | median | p95 | plain median | plain p95 | plain/ours | |\n";
    out << "|---|---|---:|---:|---:|---:|---:|---|\n";
    for (const QString &where : {QStringLiteral("file:") + dir.path(), QStringLiteral("server:") + plain[1]})
        benchEngine(where, reps, writesOnly);
    return 0;
}
