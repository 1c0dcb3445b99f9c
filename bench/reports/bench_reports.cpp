// Times 营业统计 (open, change of period) beside the naive statements counting the rows,
// the upgrade of an older shop, the export of the all-discs list and the import of a
// catalogue on a generated shop:
//   lanlan_bench_reports SHOP.sqlite [--reps N] [--import N] [--statistics-only] [--in-place]
//                        [--ranking-ways]
// The shop is copied first and the copy written to; with --in-place the shop itself is
// upgraded and written to (give it a copy of your own, kept upgraded between runs).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <ctime>

#include "bench/common/timing.h"
#include "data/shop/catalogueimport.h"
#include "data/shop/csvexport.h"
#include "data/shop/demodata.h"
#include "data/shop/disclists.h"
#include "data/shop/lookuplists.h"
#include "data/shop/statistics.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"
#include "reports/statisticsform.h"
#include "ui/backgroundwork.h"
#include "ui/progressdialog.h"

using namespace bench;

namespace {

void mustRun(db::Connection &c, const QString &sql, const QVariantList &binds = {})
{
    auto q = c.run(sql, binds);
    must(q.ok(), sql);
    while (q.value().next()) {
    }
}

// The rankings of a period counted from the rental records, as the first statistics did.
void naivePeriod(db::Connection &c, const QDate &from, const QDate &to)
{
    const QVariantList p = {db::toStoredDate(from), db::toStoredDate(to)};
    mustRun(c, QStringLiteral("SELECT discname, count(*) AS n FROM table4 WHERE substr(s1, 1, 10) BETWEEN ? AND ? "
                              "AND discname IS NOT NULL GROUP BY discname ORDER BY n DESC, discname LIMIT 20"), p);
    mustRun(c, QStringLiteral("SELECT r.khid, ifnull(table2.t1, ''), r.n FROM (SELECT khid, count(*) AS n FROM table4 "
                              "WHERE substr(s1, 1, 10) BETWEEN ? AND ? GROUP BY khid) AS r LEFT JOIN table2 "
                              "ON table2.id = r.khid ORDER BY r.n DESC, r.khid LIMIT 20"), p);
}

// Every figure of the window counted from the rows, as the first statistics did.
void naiveOpen(db::Connection &c, const QDate &today)
{
    const QVariantList year = {db::toStoredDate(QDate(today.year(), today.month(), 1).addMonths(-11)), db::toStoredDate(today)};
    for (const char *column : {"s1", "s3"})
        mustRun(c, QStringLiteral("SELECT substr(%1, 1, 10) AS d, count(*) FROM table4 WHERE substr(%1, 1, 10) BETWEEN ? AND ? "
                                  "GROUP BY d").arg(QLatin1String(column)), year);
    mustRun(c, QStringLiteral("SELECT substr(s1, 1, 10) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NOT NULL"));
    mustRun(c, QStringLiteral("SELECT total(t4) FROM table2 WHERE t1 IS NOT NULL AND t4 > 0"));
    mustRun(c, QStringLiteral("SELECT s5, t4 FROM table2 WHERE t1 IS NOT NULL AND t4 > 0 AND substr(s5, 1, 10) BETWEEN ? AND ?"), year);
    mustRun(c, QStringLiteral("SELECT s2, s1 FROM table6 WHERE substr(s2, 1, 10) BETWEEN ? AND ?"), year);
    mustRun(c, QStringLiteral("SELECT s3, s1 FROM table6 WHERE substr(s3, 1, 10) BETWEEN ? AND ?"), year);
    naivePeriod(c, today.addDays(-29), today);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int reps = 5;
    const bool statisticsOnly = args.removeAll(QStringLiteral("--statistics-only")) > 0;
    const bool inPlace = args.removeAll(QStringLiteral("--in-place")) > 0;
    const bool ways = args.removeAll(QStringLiteral("--ranking-ways")) > 0;
    qint64 importLines = 100000;
    if (const qsizetype i = args.indexOf(QStringLiteral("--reps")); i >= 0 && i + 1 < args.size()) {
        reps = args.at(i + 1).toInt();
        args.remove(i, 2);
    }
    if (const qsizetype i = args.indexOf(QStringLiteral("--import")); i >= 0 && i + 1 < args.size()) {
        importLines = args.at(i + 1).toLongLong();
        args.remove(i, 2);
    }
    must(!args.isEmpty(), QStringLiteral("usage: lanlan_bench_reports SHOP.sqlite [--reps N] [--import N]"));
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lanlan-bench-XXXXXX"));
    QString shop = dir.filePath(QStringLiteral("db.sqlite"));
    if (inPlace) {
        shop = QFileInfo(args.first()).absoluteFilePath();
        must(QFileInfo(shop).fileName() == QStringLiteral("db.sqlite"), QStringLiteral("--in-place needs a folder's db.sqlite"));
    } else {
        must(QFile::copy(args.first(), shop), QStringLiteral("copy ") + args.first());
    }
    db::ProgramDir::setPath(QFileInfo(shop).absolutePath());
    db::DemoData::setEnabled(false);
    QTextStream out(stdout);
    out << "| work | median ms | p95 ms | naive median ms | naive p95 ms | ratio |\n|---|---|---|---|---|---|\n";
    const auto row = [&](const QString &what, const Stats &s, const std::optional<Stats> &naive = std::nullopt) {
        printRow(out, {what}, s, naive);
    };

    int version = 0;
    {
        db::Connection raw(shop, db::Connection::Mode::Inspect);
        version = raw.scalar(QStringLiteral("PRAGMA user_version")).value().toInt();
    }
    if (version < db::SchemaVersion()) {
        // As at start-up: on a worker thread behind the dialog. The window thread's longest
        // time between two handlings of its events is what the shop keeper would feel.
        ui::ProgressDialog dialog(nullptr, QStringLiteral("升级数据文件"), false);
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });
        tick.start(5);
        sinceTick.start();
        bool upgraded = false;
        row(QStringLiteral("upgrade of the file from layout %1 to %2 (one run)").arg(version).arg(db::SchemaVersion()),
            time(1, [&] { ui::RunInBackground(dialog, [&](db::Progress &) { upgraded = db::Connection().ok(); }); }));
        tick.stop();
        must(upgraded, QStringLiteral("upgrade"));
        out << "| longest the windows went without handling events during the upgrade | " << longest
            << " | | | | |\n";
    }
    must(db::LoadLookupLists().ok(), QStringLiteral("lookup lists"));
    const QDate today = db::Clock::today();
    db::Connection naive;

    // Opening: the window made, every figure read and every chart drawn.
    row(QStringLiteral("营业统计 opens"), time(reps, [] {
            StatisticsForm w;
            must(w.reload(), QStringLiteral("statistics"));
        }),
        time(std::min(reps, 3), [&] { naiveOpen(naive, today); }));
    StatisticsForm w;
    must(w.reload(), QStringLiteral("statistics"));
    // Periods of 7 to 337 days up to today, each length as often.
    const int lengths = 12;
    int n = 0;
    const auto periodFrom = [&](int i) { return today.addDays(-(7 + 30 * (i % lengths)) + 1); };
    row(QStringLiteral("change of period (7 to 337 days)"), time(std::max(reps, 2) * lengths, [&] {
            must(w.setPeriod(periodFrom(n++), today), QStringLiteral("period"));
        }),
        time(3, [&, k = 0]() mutable { naivePeriod(naive, periodFrom(5 * k++), today); }));
    // Each length: the window, then the figures alone (read without drawing).
    for (int i = 0; i < lengths; ++i) {
        const QString days = QString::number(periodFrom(i).daysTo(today) + 1);
        row(QStringLiteral("  change of period to the last %1 days").arg(days),
            time(3, [&] { must(w.setPeriod(periodFrom(i), today), QStringLiteral("period")); }));
        row(QStringLiteral("  the figures of the last %1 days read (no drawing)").arg(days), time(3, [&] {
                db::ShopStatistics s;
                must(db::ReadPeriod(naive, periodFrom(i), today, s).ok(), QStringLiteral("read"));
            }));
    }
    // Each way of ranking the customers alone, in the thread's CPU time, which a busy
    // machine inflates far less than the time on the clock.
    if (ways) {
        const auto cpu = [](int n, const std::function<void()> &action) {
            std::vector<double> ms;
            for (int i = 0; i < n; ++i) {
                timespec a{}, b{};
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
                action();
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
                ms.push_back((b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6);
            }
            return stats(ms);
        };
        const std::pair<db::CustomerRanking, const char *> named[] = {{db::CustomerRanking::Cheaper, "cheaper"},
                                                                        {db::CustomerRanking::Walk, "totals"},
                                                                        {db::CustomerRanking::Months, "months"},
                                                                        {db::CustomerRanking::Count, "count"}};
        for (int i = 0; i < lengths; ++i) {
            const QString days = QString::number(periodFrom(i).daysTo(today) + 1);
            for (const auto &[way, name] : named) {
                row(QStringLiteral("  CPU ms: the figures of the last %1 days, customers by %2").arg(days, QLatin1String(name)),
                    cpu(3, [&, way = way] {
                        db::ShopStatistics s;
                        must(db::ReadPeriod(naive, periodFrom(i), today, s, way).ok(), QStringLiteral("read"));
                    }));
            }
        }
    }
    if (statisticsOnly) {
        db::ProgramDir::setPath(QString());
        return 0;
    }

    const QString csv = dir.filePath(QStringLiteral("discs.csv"));
    const QStringList headers = {QStringLiteral("碟片编号"), QStringLiteral("所属柜位"), QStringLiteral("碟片名称"),
                                 QStringLiteral("主角"), QStringLiteral("导演/监制"), QStringLiteral("碟装"),
                                 QStringLiteral("国别"), QStringLiteral("媒介类别"), QStringLiteral("内容类别"),
                                 QStringLiteral("租岀/天"), QStringLiteral("租给")};
    row(QStringLiteral("export of the all-discs list"), time(std::min(reps, 3), [&] {
            must(db::ExportCsv(db::AllDiscsQuery(), headers,
                               [&](const QVariantList &r) { return db::DiscListCells(r, today); }, csv,
                               db::NoProgress()).ok(),
                 QStringLiteral("export"));
        }));

    QString text = QStringLiteral("碟名,主角,导演,所属柜位,碟装,国家,媒介分类,内容分类,碟片简介\r\n");
    for (qint64 i = 0; i < importLines; ++i)
        text += QStringLiteral("导入碟%1,主角%2,导演%3,柜%4,1,中国,DVD,动作,一段简介\r\n").arg(i).arg(i % 500).arg(i % 300).arg(i % 40);
    const QString catalogue = dir.filePath(QStringLiteral("catalogue.csv"));
    {
        QFile f(catalogue);
        must(f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) > 0, QStringLiteral("write catalogue"));
    }
    row(QStringLiteral("import of %1 discs (read, check, store)").arg(importLines), time(1, [&] {
            auto file = db::ReadCatalogue(catalogue);
            must(file.ok(), file.error());
            auto done = db::ImportCatalogue(*file, db::NoProgress());
            must(done.ok() && *done == importLines, done.error());
        }));
    db::ProgramDir::setPath(QString());
    return 0;
}
