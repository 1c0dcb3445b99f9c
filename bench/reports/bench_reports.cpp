// Times 营业统计 (open, change of period), the export of the all-discs list and the import
// of a catalogue on a generated shop:
//   lanlan_bench_reports SHOP.sqlite [--reps N] [--import N]
// The shop is copied first; the copy is written to.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "bench/common/timing.h"
#include "data/shop/catalogueimport.h"
#include "data/shop/csvexport.h"
#include "data/shop/demodata.h"
#include "data/shop/disclists.h"
#include "data/shop/lookuplists.h"
#include "data/store/clock.h"
#include "data/store/programdir.h"
#include "reports/statisticsform.h"

using namespace bench;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int reps = 5;
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
    must(QFile::copy(args.first(), dir.filePath(QStringLiteral("db.sqlite"))), QStringLiteral("copy ") + args.first());
    db::ProgramDir::setPath(dir.path());
    db::DemoData::setEnabled(false);
    must(db::LoadLookupLists().ok(), QStringLiteral("lookup lists"));
    QTextStream out(stdout);
    out << "| work | median ms | p95 ms |\n|---|---|---|\n";

    const auto row = [&](const QString &what, const Stats &s) {
        out << "| " << what << " | " << QString::number(s.median, 'f', 1) << " | " << QString::number(s.p95, 'f', 1)
            << " |\n";
        out.flush();
    };

    // Opening: the window made, every figure read and every chart drawn.
    row(QStringLiteral("营业统计 opens"), time(reps, [] {
            StatisticsForm w;
            must(w.reload(), QStringLiteral("statistics"));
        }));
    StatisticsForm w;
    must(w.reload(), QStringLiteral("statistics"));
    const QDate today = db::Clock::today();
    int n = 0;
    row(QStringLiteral("change of period"), time(reps, [&] {
            must(w.setPeriod(today.addDays(-(7 + 30 * (n++ % 12))), today), QStringLiteral("period"));
        }));

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
