// Times the disc searches of the rentable-disc picker and the disc query on a shop in the
// first release's layout, each beside the plain statement (LIKE over every disc):
//   lanlan_bench_queries SHOP_V1.sqlite [--reps N] [--latin PERCENT] [--writes-only]
// or the first search of a program run, each in a fresh process, beside the same search
// repeated in one run, on a shop in the current layout (copied, never written):
//   lanlan_bench_queries --first-search SHOP.sqlite [--reps N] [--latin PERCENT]
// The shop is copied twice: one copy only to time its upgrade, the other (with a share of
// the titles renamed to Latin ones, so a Latin part has something to find) for the rest.
#include <QCoreApplication>
#include <QProcess>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "data/store/connection.h"
#include "data/search/discfilter.h"
#include "data/search/discindex.h"
#include "data/shop/discrecords.h"
#include "data/shop/lookuplists.h"
#include "data/store/pagedquery.h"
#include "data/store/programdir.h"

#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);


void row(const QString &action, const Stats &ours, const std::optional<Stats> &naive, const QString &note = {})
{
    printRow(out, {action}, ours, naive, {note});
}

// The plain statement: every disc tested, the page found by skipping rows.
void naivePage(const db::PagedQuery &q, qint64 page)
{
    db::Connection c;
    auto n = c.scalar(QStringLiteral("SELECT count(*) FROM table1 NOT INDEXED WHERE %1").arg(q.where), q.binds);
    must(n.ok(), n.error());
    QVariantList binds = q.binds;
    binds << (page - 1) * 30;
    auto rows = c.run(QStringLiteral("SELECT %1 FROM table1 NOT INDEXED WHERE %2 ORDER BY id DESC LIMIT 30 OFFSET ?")
                          .arg(q.columns, q.where),
                      binds);
    must(rows.ok(), rows.error());
    while (rows.value().next()) {
    }
}

// Renames a share of the titles to Latin ones with mixed letter case, before the upgrade.
void addLatinTitles(const QString &file, int percent)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("latin"));
        db.setDatabaseName(file);
        must(db.open(), QStringLiteral("open ") + file);
        QSqlQuery u(db);
        must(u.prepare(QStringLiteral(
                 "UPDATE table1 SET t13 = CASE id % 6 WHEN 0 THEN 'The Matrix' WHEN 1 THEN 'Star Wars ' || (id % 7) "
                 "WHEN 2 THEN 'MATCH POINT' WHEN 3 THEN 'Mad Max: 100% Fury' WHEN 4 THEN 'the_last_Samurai' "
                 "ELSE 'Casablanca' END WHERE t13 IS NOT NULL AND id % 100 < ?")),
             u.lastError().text());
        u.addBindValue(percent);
        must(u.exec(), u.lastError().text());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("latin"));
}

QString copyOf(const QString &from, const QString &to)
{
    QFile::remove(to);
    must(QFile::copy(from, to), QStringLiteral("copy ") + from);
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    return to;
}

struct Kind
{
    QString name;
    db::DiscFilter filter;
};

db::DiscFilter with(const std::function<void(db::DiscFilter &)> &set)
{
    db::DiscFilter f;
    set(f);
    return f;
}

std::vector<Kind> searchKinds()
{
    return {
        {QStringLiteral("无条件"), {}},
        {QStringLiteral("名称含 1 个汉字「传」"), with([](auto &f) { f.title = QStringLiteral("传"); })},
        {QStringLiteral("名称含 2 个汉字「风云」"), with([](auto &f) { f.title = QStringLiteral("风云"); })},
        {QStringLiteral("名称含 3 个拉丁字母「mat」"), with([](auto &f) { f.title = QStringLiteral("mat"); })},
        {QStringLiteral("名称含 4 个汉字「月光传说」"), with([](auto &f) { f.title = QStringLiteral("月光传说"); })},
        {QStringLiteral("名称含「100%」"), with([](auto &f) { f.title = QStringLiteral("100%"); })},
        {QStringLiteral("主角含「王」"), with([](auto &f) { f.starring = QStringLiteral("王"); })},
        {QStringLiteral("主角含「刘静怡」"), with([](auto &f) { f.starring = QStringLiteral("刘静怡"); })},
        {QStringLiteral("导演含「建国」"), with([](auto &f) { f.director = QStringLiteral("建国"); })},
        {QStringLiteral("媒介 DVD"), with([](auto &f) { f.media = QStringLiteral("DVD"); })},
        {QStringLiteral("内容 动作"), with([](auto &f) { f.category = QStringLiteral("动作"); })},
        {QStringLiteral("国家 香港"), with([](auto &f) { f.country = QStringLiteral("香港"); })},
        {QStringLiteral("媒介 DVD + 国家 香港"), with([](auto &f) { f.media = QStringLiteral("DVD"); f.country = QStringLiteral("香港"); })},
        {QStringLiteral("媒介 + 内容 + 国家"), with([](auto &f) { f.media = QStringLiteral("vcd"); f.category = QStringLiteral("喜剧"); f.country = QStringLiteral("日本"); })},
        {QStringLiteral("名称「传」+ 媒介 DVD"), with([](auto &f) { f.title = QStringLiteral("传"); f.media = QStringLiteral("DVD"); })},
        {QStringLiteral("名称「传」+ 主角「王」+ 国家 中国"), with([](auto &f) { f.title = QStringLiteral("传"); f.starring = QStringLiteral("王"); f.country = QStringLiteral("中国"); })},
    };
}

const char *stateName(db::RentalState s)
{
    switch (s) {
    case db::RentalState::OnShelf:
        return "可租";
    case db::RentalState::Out:
        return "未还";
    case db::RentalState::Any:
        break;
    }
    return "全部";
}

// Page 1, the middle page and the last page of a filter, ours and the plain statement.
void pages(const QString &label, const db::DiscFilter &f, int reps, int naiveReps, bool allPages)
{
    const db::PagedQuery q = db::DiscFilterQuery(f);
    auto first = db::ReadPage(q, 1, 30);
    must(first.ok(), first.error());
    const qint64 last = std::max<qint64>(1, first->pageCount), middle = std::max<qint64>(1, last / 2);
    const QString count = QStringLiteral("%1 记录").arg(first->recordCount);
    std::vector<std::pair<QString, qint64>> which{{QStringLiteral("第一页"), 1}};
    if (allPages) {
        which.push_back({QStringLiteral("中间页"), middle});
        which.push_back({QStringLiteral("最后一页"), last});
    }
    for (const auto &[name, page] : which) {
        const Stats ours = time(reps, [&] {
            auto p = db::ReadPage(q, page, 30);
            must(p.ok() && p->recordCount == first->recordCount, name);
        });
        const Stats naive = time(naiveReps, [&] { naivePage(q, page); });
        row(label + QStringLiteral("，") + name, ours, naive, count);
    }
}

void benchShop(const QString &file, int reps, int latinPercent, bool pagesToo)
{
    QTemporaryDir dir(QStringLiteral("/tmp/lanlan-bench-XXXXXX"));
    must(dir.isValid(), QStringLiteral("temporary folder"));
    const int naiveReps = std::max(5, reps / 3);

    // The upgrade of the shop as it is.
    {
        const QString upgraded = copyOf(file, dir.filePath(QStringLiteral("upgrade.sqlite")));
        QElapsedTimer t;
        t.start();
        db::Connection c(upgraded);
        must(c.ok(), c.status().error());
        const double ms = double(t.elapsed());
        const qint64 before = QFileInfo(file).size(), after = QFileInfo(upgraded).size();
        out << "Upgrade of " << QFileInfo(file).fileName() << " to the layout with the disc index: "
            << QString::number(ms / 1000.0, 'f', 1) << " s; file " << before / (1 << 20) << " MB -> " << after / (1 << 20)
            << " MB\n";
        auto n = c.scalar(QStringLiteral("SELECT count(*) FROM disc_index_bits"));
        out << "stored bitmaps: " << n->toLongLong() << " rows\n\n";
    }
    QFile::remove(dir.filePath(QStringLiteral("upgrade.sqlite")));

    const QString shop = copyOf(file, dir.filePath(QStringLiteral("db.sqlite")));
    addLatinTitles(shop, latinPercent);
    db::ProgramDir::setPath(dir.path());
    db::DemoData::setEnabled(false);
    {
        QElapsedTimer t;
        t.start();
        db::Connection c;
        must(c.ok(), c.status().error());
        out << "(copy with " << latinPercent << "% Latin titles upgraded in " << QString::number(t.elapsed() / 1000.0, 'f', 1)
            << " s)\n\n";
    }

    out << "times in ms, " << reps << " runs each (plain statement: " << naiveReps << ")\n\n";
    out << "| action | median | p95 | plain median | plain p95 | plain/ours | result |\n";
    out << "|---|---:|---:|---:|---:|---:|---|\n";

    const std::vector<Kind> kinds = searchKinds();

    // Warm the memory the way a program run does: the first search of each kind is timed apart.
    if (pagesToo)
        out << "| **可租碟片列表 (picker: on the shelf)** | | | | | | |\n";
    for (const Kind &k : pagesToo ? kinds : std::vector<Kind>{}) {
        db::DiscFilter f = k.filter;
        f.state = db::RentalState::OnShelf;
        const bool all = k.name == QStringLiteral("无条件") || k.name.startsWith(QStringLiteral("名称含 1")) ||
                         k.name.startsWith(QStringLiteral("名称含 2")) || k.name.startsWith(QStringLiteral("名称含 3")) ||
                         k.name.startsWith(QStringLiteral("主角含「王")) || k.name.startsWith(QStringLiteral("媒介 DVD"));
        pages(QStringLiteral("可租：") + k.name, f, reps, naiveReps, all);
    }
    for (const db::RentalState state : pagesToo ? std::vector<db::RentalState>{db::RentalState::Any, db::RentalState::OnShelf, db::RentalState::Out}
                                                : std::vector<db::RentalState>{}) {
        out << "| **碟片查询结果 (" << stateName(state) << ")** | | | | | | |\n";
        for (const Kind &k : kinds) {
            db::DiscFilter f = k.filter;
            f.state = state;
            pages(QString::fromUtf8(stateName(state)) + QStringLiteral("：") + k.name, f, reps, naiveReps, true);
        }
    }
    if (pagesToo) {
        db::DiscFilter f;
        f.number = 123456;
        f.title = QStringLiteral("传");
        pages(QStringLiteral("编号 123456（名称被忽略）"), f, reps, naiveReps, false);
    }

    // A program run's first search: nothing of the index in memory yet.
    out << "| **first search of a program run (index memory empty)** | | | | | | |\n";
    for (const Kind &k : kinds) {
        if (k.filter.title.isEmpty() && k.filter.starring.isEmpty() && k.filter.media.isEmpty())
            continue;
        db::DiscFilter f = k.filter;
        f.state = db::RentalState::OnShelf;
        const db::PagedQuery q = db::DiscFilterQuery(f);
        const Stats cold = time(std::max(5, reps / 3), [&] { must(db::ReadPage(q, 1, 30).ok(), k.name); },
                                [] { db::ForgetDiscIndexMemory(); });
        row(QStringLiteral("首次：可租：") + k.name + QStringLiteral("，第一页"), cold, std::nullopt);
    }

    // What the log costs the writes, and what folding it in costs the next search.
    out << "| **writes** | | | | | | |\n";
    db::DiscFields disc;
    disc.title = QStringLiteral("基准碟片 Bench");
    disc.shelf = QStringLiteral("A1");
    disc.count = QStringLiteral("1");
    disc.media = QStringLiteral("DVD");
    disc.starring = QStringLiteral("王小明");
    disc.director = QStringLiteral("张艺");
    disc.country = QStringLiteral("中国");
    disc.category = QStringLiteral("动作");
    std::vector<qint64> rentable;
    {
        db::Connection c;
        auto q = c.run(QStringLiteral("SELECT id FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL ORDER BY id LIMIT 3000"));
        must(q.ok(), q.error());
        while (q.value().next())
            rentable.push_back(q.value().value(0).toLongLong());
    }
    // Corrections rename, and a disc that is out may not be renamed: they take discs the
    // rentals below never touch.
    const std::vector<qint64> correctable(rentable.begin(), rentable.begin() + qsizetype(rentable.size() / 3));
    rentable.erase(rentable.begin(), rentable.begin() + qsizetype(correctable.size()));
    size_t next = 0, nextCorrected = 0;
    std::vector<qint64> batch;
    auto rentTen = [&] {
        db::Connection c;
        db::Transaction tx(c);
        must(tx.ok(), tx.status().error());
        for (qint64 id : batch) {
            must(c.exec(QStringLiteral("UPDATE table1 SET s1 = '2026-03-15', s3 = '基准客户', s4 = s4 + 1 WHERE id = ?"), {id}).ok(),
                 QStringLiteral("rent"));
            must(c.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1) "
                                       "SELECT id, t13, 1, '2026-03-15' FROM table1 WHERE id = ?"),
                        {id})
                     .ok(),
                 QStringLiteral("record"));
        }
        must(tx.commit().ok(), QStringLiteral("commit"));
    };
    auto pickTen = [&] {
        batch.assign(rentable.begin() + qsizetype(next), rentable.begin() + qsizetype(next + 10));
        next = (next + 10) % (rentable.size() - 10);
    };
    auto measureWrites = [&](const QString &label) {
        row(label + QStringLiteral("AddDisc"), time(reps, [&] { must(db::AddDisc(disc).ok(), QStringLiteral("AddDisc")); }), std::nullopt);
        row(label + QStringLiteral("UpdateDisc（纠正）"),
            time(reps, [&] { must(db::UpdateDisc(correctable[nextCorrected], disc).ok(), QStringLiteral("UpdateDisc")); },
                 [&] { nextCorrected = (nextCorrected + 1) % correctable.size(); }),
            std::nullopt);
        row(label + QStringLiteral("10 张碟租出（一个事务）"), time(reps, rentTen, pickTen), std::nullopt);
    };
    {
        db::Connection c;
        must(db::CompactDiscIndex(c).ok(), QStringLiteral("compact"));
    }
    measureWrites(QStringLiteral("有索引触发器："));

    // Folding logged changes in: the search after 100 rentals of 10 discs.
    db::SetDiscIndexCompactAt(1000);
    {
        db::DiscFilter f;
        f.title = QStringLiteral("传");
        f.state = db::RentalState::OnShelf;
        const db::PagedQuery q = db::DiscFilterQuery(f);
        must(db::ReadPage(q, 1, 30).ok(), QStringLiteral("warm"));
        const Stats fold = time(5, [&] { must(db::ReadPage(q, 1, 30).ok(), QStringLiteral("fold")); }, [&] {
            for (int i = 0; i < 100; ++i) {
                pickTen();
                rentTen();
            }
        });
        row(QStringLiteral("100 次各租 10 张之后的第一次搜索（并入 1000 条改动）"), fold, std::nullopt);
        const Stats some = time(reps, [&] { must(db::ReadPage(q, 1, 30).ok(), QStringLiteral("after")); }, [&] {
            pickTen();
            rentTen();
        });
        row(QStringLiteral("每租 10 张之后的搜索（改动在内存中补上）"), some, std::nullopt);
    }
    {
        db::Connection c;
        for (const char *t : {"table1_index_replace", "table1_index_insert", "table1_index_delete", "table1_index_update"})
            must(c.exec(QStringLiteral("DROP TRIGGER %1").arg(QLatin1String(t))).ok(), QStringLiteral("drop trigger"));
    }
    measureWrites(QStringLiteral("无索引触发器（对照）："));
    db::ProgramDir::setPath(QString());
}

// One fresh process: the program's start (the file opened, the lookup lists read, the search
// index warmed as the main window does after the login), then one search, timed. Prints
// the milliseconds of the warm-up and of the search.
int oneSearch(const QString &dir, int kind, db::RentalState state, bool warmUp)
{
    db::ProgramDir::setPath(dir);
    db::DemoData::setEnabled(false);
    must(db::LoadLookupLists().ok(), QStringLiteral("lookup lists"));
    QElapsedTimer warm;
    warm.start();
    if (warmUp) {
        const db::LookupLists &lists = db::Lookups();
        must(db::WarmDiscIndex(db::DiscValueTerms(lists.MediaList.entries(), lists.ContentList.entries(),
                                                  lists.CountryList.entries()))
                 .ok(),
             QStringLiteral("warm-up"));
    }
    const double warmMs = double(warm.nsecsElapsed()) / 1e6;
    db::DiscFilter f = searchKinds().at(size_t(kind)).filter;
    f.state = state;
    QElapsedTimer t;
    t.start();
    must(db::ReadPage(db::DiscFilterQuery(f), 1, 30).ok(), QStringLiteral("search"));
    out << warmMs << " " << double(t.nsecsElapsed()) / 1e6 << "\n";
    return 0;
}

// The first search of each kind in `reps` fresh processes, beside the same search repeated
// in this one, for the picker (on the shelf) and the disc query (every disc).
void firstSearches(const QString &file, int reps, int latinPercent)
{
    QTemporaryDir dir(QStringLiteral("/tmp/lanlan-bench-XXXXXX"));
    must(dir.isValid(), QStringLiteral("temporary folder"));
    copyOf(file, dir.filePath(QStringLiteral("db.sqlite")));
    db::ProgramDir::setPath(dir.path());
    db::DemoData::setEnabled(false);
    {
        db::Connection c; // upgraded here, if it must be, not in the first child
        must(c.ok(), c.status().error());
        if (latinPercent > 0) {
            // Renamed through the index's triggers, then refiled, so the children find an
            // index as a long-used shop has it rather than a long change log to fold.
            must(c.exec(QStringLiteral("UPDATE table1 SET t13 = CASE id % 6 WHEN 0 THEN 'The Matrix' "
                                       "WHEN 1 THEN 'Star Wars ' || (id % 7) WHEN 2 THEN 'MATCH POINT' "
                                       "WHEN 3 THEN 'Mad Max: 100% Fury' WHEN 4 THEN 'the_last_Samurai' "
                                       "ELSE 'Casablanca' END WHERE t13 IS NOT NULL AND id % 100 < ?"),
                        {latinPercent})
                     .ok(),
                 QStringLiteral("latin titles"));
            must(db::RebuildDiscIndex(c).ok(), QStringLiteral("refile"));
            out << latinPercent << "% of the titles Latin; ";
        }
        auto n = c.scalar(QStringLiteral("SELECT count(*) FROM table1"));
        out << "shop: " << QFileInfo(file).fileName() << ", " << n->toLongLong() << " discs; " << reps
            << " fresh processes per search (the file in the system's cache)\n\n";
    }
    out << "| search | first, no warm-up: median | p95 | first after the warm-up: median | p95 | later in the run: median | p95 | warm-up: median |\n";
    out << "|---|---:|---:|---:|---:|---:|---:|---:|\n";
    const std::vector<Kind> kinds = searchKinds();
    for (const auto &[state, label] : {std::pair{db::RentalState::OnShelf, QStringLiteral("可租碟片列表")},
                                       std::pair{db::RentalState::Any, QStringLiteral("碟片查询")}}) {
        for (size_t k = 0; k < kinds.size(); ++k) {
            std::vector<double> bare, first, warmUp;
            for (int r = 0; r < 2 * reps; ++r) {
                const bool warm = r % 2 == 1;
                QProcess child;
                child.start(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--one-search"), dir.path(), QString::number(k),
                             QString::number(int(state)), warm ? QStringLiteral("1") : QStringLiteral("0")});
                must(child.waitForFinished(120000) && child.exitCode() == 0,
                     QStringLiteral("child: ") + QString::fromLocal8Bit(child.readAllStandardError()));
                const QStringList ms = QString::fromLatin1(child.readAllStandardOutput()).simplified().split(' ');
                if (warm) {
                    warmUp.push_back(ms.value(0).toDouble());
                    first.push_back(ms.value(1).toDouble());
                } else {
                    bare.push_back(ms.value(1).toDouble());
                }
            }
            db::DiscFilter f = kinds[k].filter;
            f.state = state;
            const db::PagedQuery q = db::DiscFilterQuery(f);
            must(db::ReadPage(q, 1, 30).ok(), kinds[k].name);
            const Stats later = time(reps, [&] { must(db::ReadPage(q, 1, 30).ok(), kinds[k].name); });
            const Stats none = stats(bare), cold = stats(first), warm = stats(warmUp);
            out << "| " << label << "：" << kinds[k].name << " | " << QString::number(none.median, 'f', 2) << " | "
                << QString::number(none.p95, 'f', 2) << " | " << QString::number(cold.median, 'f', 2) << " | "
                << QString::number(cold.p95, 'f', 2) << " | " << QString::number(later.median, 'f', 2) << " | "
                << QString::number(later.p95, 'f', 2) << " | " << QString::number(warm.median, 'f', 1) << " |\n";
            out.flush();
        }
    }
    db::ProgramDir::setPath(QString());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString shop;
    int reps = 30, latin = 10;
    bool pages = true;
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--one-search") && args.size() == 5)
        return oneSearch(args[1], args[2].toInt(), db::RentalState(args[3].toInt()), args[4] == QLatin1String("1"));
    bool first = false, latinGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--reps") && i + 1 < args.size())
            reps = std::max(3, args[++i].toInt());
        else if (args[i] == QLatin1String("--first-search"))
            first = true;
        else if (args[i] == QLatin1String("--writes-only"))
            pages = false;
        else if (args[i] == QLatin1String("--latin") && i + 1 < args.size())
            latin = std::clamp(args[++i].toInt(), 0, 100), latinGiven = true;
        else
            shop = args[i];
    }
    if (shop.isEmpty()) {
        QTextStream(stderr) << "usage: lanlan_bench_queries SHOP_V1.sqlite [--reps N] [--latin PERCENT] [--writes-only]\n"
                               "       lanlan_bench_queries --first-search SHOP.sqlite [--reps N] [--latin PERCENT]\n";
        return 2;
    }
    if (first) {
        firstSearches(shop, reps, latinGiven ? latin : 0);
        return 0;
    }
    benchShop(shop, reps, latin, pages);
    return 0;
}
