// Times the export of the all-discs list, the whole-shop export and the import of a
// catalogue on a generated shop, each beside the same work done the naive way:
//   lanlan_bench_csv SHOP.sqlite [--reps N] [--import N] [--only export|import|shop] [--no-naive]
// The shop is copied first; the copy is written to.
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "bench/common/timing.h"
#include "data/shop/catalogueimport.h"
#include "data/shop/csvexport.h"
#include "data/shop/demodata.h"
#include "data/shop/discrecords.h"
#include "data/shop/disclists.h"
#include "data/shop/lookuplists.h"
#include "data/shop/shopexport.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/programdir.h"

using namespace bench;

namespace {

const QStringList kHeaders = {QStringLiteral("碟片编号"), QStringLiteral("所属柜位"), QStringLiteral("碟片名称"),
                              QStringLiteral("主角"), QStringLiteral("导演/监制"), QStringLiteral("碟装"),
                              QStringLiteral("国别"), QStringLiteral("媒介类别"), QStringLiteral("内容类别"),
                              QStringLiteral("租岀/天"), QStringLiteral("租给")};

// The naive export: every field quoted through QString, each line through QTextStream.
void naiveExport(const QString &path, const QDate &today)
{
    QSaveFile file(path);
    must(file.open(QIODevice::WriteOnly), QStringLiteral("naive export file"));
    QTextStream out(&file);
    out.setGenerateByteOrderMark(true);
    const auto quoted = [](QString s) { return QLatin1Char('"') + s.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"'); };
    QStringList head;
    for (const QString &h : kHeaders)
        head << quoted(h);
    out << head.join(QLatin1Char(',')) << "\r\n";
    db::PagedQuery q = db::AllDiscsQuery();
    q.lateColumns = 0; // every column from one statement
    db::Connection c;
    must(db::ReadAllRows(c, q, [&](const QVariantList &row) {
             QStringList cells;
             for (const QString &cell : db::DiscListCells(row, today))
                 cells << quoted(cell);
             out << cells.join(QLatin1Char(',')) << "\r\n";
             return true;
         }).ok(),
         QStringLiteral("naive export"));
    out.flush();
    must(file.commit(), QStringLiteral("naive export commit"));
}

// The naive import: each line stored by AddDisc as the entry window stores one disc.
void naiveImport(const db::CatalogueFile &file)
{
    db::Connection c;
    db::Transaction tx(c);
    db::LookupLists lists = db::Lookups();
    for (const db::CatalogueLine &line : file.lines)
        must(db::AddDisc(c, line.fields, lists).ok(), QStringLiteral("naive add"));
    must(tx.commit().ok(), QStringLiteral("naive commit"));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int reps = 5;
    qint64 importLines = 100000;
    QString only;
    const auto option = [&](const char *name) {
        const qsizetype i = args.indexOf(QLatin1String(name));
        if (i < 0 || i + 1 >= args.size())
            return QString();
        const QString v = args.at(i + 1);
        args.remove(i, 2);
        return v;
    };
    if (const QString v = option("--reps"); !v.isEmpty())
        reps = v.toInt();
    if (const QString v = option("--import"); !v.isEmpty())
        importLines = v.toLongLong();
    only = option("--only");
    // Leaves the naive way out (to profile ours alone).
    const bool naiveToo = !args.removeOne(QStringLiteral("--no-naive"));
    must(!args.isEmpty(), QStringLiteral("usage: lanlan_bench_csv SHOP.sqlite [--reps N] [--import N] [--only export|import|shop] [--no-naive]"));
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lanlan-bench-XXXXXX"));
    const QString shop = dir.filePath(QStringLiteral("db.sqlite"));
    must(QFile::copy(args.first(), shop), QStringLiteral("copy ") + args.first());
    db::ProgramDir::setPath(dir.path());
    db::DemoData::setEnabled(false);
    must(db::LoadLookupLists().ok(), QStringLiteral("lookup lists"));
    QTextStream out(stdout);
    out << "| work | median ms | p95 ms | naive median ms | naive p95 ms | ratio |\n|---|---|---|---|---|---|\n";
    const QDate today = db::Clock::today();

    if (only.isEmpty() || only == QLatin1String("export")) {
        const QString csv = dir.filePath(QStringLiteral("discs.csv"));
        const Stats ours = time(reps, [&] {
            must(db::ExportCsv(db::AllDiscsQuery(), kHeaders,
                               [&](const QVariantList &r) { return db::DiscListCells(r, today); }, csv,
                               db::NoProgress()).ok(),
                 QStringLiteral("export"));
        });
        std::optional<Stats> naive;
        if (naiveToo)
            naive = time(std::max(1, reps / 2), [&] { naiveExport(csv, today); });
        printRow(out, {QStringLiteral("export of the all-discs list")}, ours, naive);
    }

    if (only.isEmpty() || only == QLatin1String("shop")) {
        const QString folder = dir.filePath(QStringLiteral("shop"));
        const Stats ours = time(std::max(1, reps / 2), [&] {
            QDir(folder).removeRecursively();
            must(QDir().mkpath(folder), QStringLiteral("folder"));
            auto done = db::ExportShop(folder, db::NoProgress());
            must(done.ok(), done.error());
        });
        printRow(out, {QStringLiteral("whole-shop export (one CSV per table)")}, ours, std::nullopt);
    }

    if (only.isEmpty() || only == QLatin1String("import")) {
        QString text = QStringLiteral("碟名,主角,导演,所属柜位,碟装,国家,媒介分类,内容分类,碟片简介\r\n");
        for (qint64 i = 0; i < importLines; ++i)
            text += QStringLiteral("导入碟%1,主角%2,导演%3,柜%4,1,中国,DVD,动作,一段简介\r\n")
                        .arg(i).arg(i % 500).arg(i % 300).arg(i % 40);
        const QString catalogue = dir.filePath(QStringLiteral("catalogue.csv"));
        {
            QFile f(catalogue);
            must(f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) > 0, QStringLiteral("write catalogue"));
        }
        // Each run starts from the shop as it was, so every run fills the same slots.
        const QString pristine = dir.filePath(QStringLiteral("pristine.sqlite"));
        must(QFile::copy(shop, pristine), QStringLiteral("keep the shop"));
        const auto restore = [&] {
            QFile::remove(shop);
            must(QFile::copy(pristine, shop), QStringLiteral("restore the shop"));
            must(db::LoadLookupLists().ok(), QStringLiteral("lookup lists"));
        };
        const int importReps = std::max(1, reps / 2);
        printRow(out, {QStringLiteral("read and check %1 catalogue lines (part of the import)").arg(importLines)},
                 time(importReps, [&] { must(db::ReadCatalogue(catalogue).ok(), QStringLiteral("read")); }), std::nullopt);
        const Stats ours = time(importReps, [&] {
            auto file = db::ReadCatalogue(catalogue);
            must(file.ok(), file.error());
            auto done = db::ImportCatalogue(*file, db::NoProgress());
            must(done.ok() && *done == importLines, done.error());
        }, restore);
        std::optional<Stats> naive;
        if (naiveToo)
            naive = time(1, [&] {
                auto file = db::ReadCatalogue(catalogue);
                must(file.ok(), file.error());
                naiveImport(*file);
            }, restore);
        printRow(out, {QStringLiteral("import of %1 discs (read, check, store)").arg(importLines)}, ours, naive);
    }
    db::ProgramDir::setPath(QString());
    return 0;
}
