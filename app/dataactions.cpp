#include "app/dataactions.h"

#include <QDir>
#include <QProgressDialog>
#include <QFileDialog>
#include <QStandardPaths>

#include "data/safety/invariants.h"
#include "data/shop/csvexport.h"
#include "data/shop/shopexport.h"
#include "data/store/location.h"
#include "data/store/programdir.h"
#include "ui/backgroundwork.h"
#include "ui/messages.h"
#include "ui/progressdialog.h"

namespace dataactions {

namespace {
// A message box holds this many of the problems found; --check prints them all.
constexpr int kShownProblems = 15;
} // namespace

void ExportShop(QWidget *parent)
{
    const QString folder = QFileDialog::getExistingDirectory(
        parent, QStringLiteral("导出全部数据到文件夹"), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (!folder.isEmpty())
        ExportShopTo(parent, folder);
}

bool ExportShopTo(QWidget *parent, const QString &folder)
{
    db::Result<db::ShopExport> done = db::Status();
    {
        ui::ProgressDialog progress(parent, QStringLiteral("导出全部数据"));
        ui::RunInBackground(progress, [&](db::Progress &p) { done = db::ExportShop(folder, p); });
    }
    if (!done) {
        msg::information(parent, done.error() == db::ExportCancelled()
                                     ? done.error()
                                     : QStringLiteral("导出失败：%1\n没有写出文件。").arg(done.error()));
        return false;
    }
    msg::information(parent, QStringLiteral("导出完毕：%1 个表格共 %2 行，封面 %3 张。\n文件夹：%4")
                                 .arg(db::ExportedTables().size())
                                 .arg(done->rows)
                                 .arg(done->covers)
                                 .arg(QDir::toNativeSeparators(done->folder)));
    return true;
}

void CheckData(QWidget *parent)
{
    if (db::ShopLocation::serverInUse()) {
        msg::information(parent, QStringLiteral("“检查数据文件”检查本机的数据文件；现在使用的是数据库服务器上的数据，"
                                                 "请由服务器的管理员检查。"));
        return;
    }
    const QString path = db::DatabasePath();
    db::Result<db::CheckReport> report = db::Status();
    {
        ui::ProgressDialog progress(parent, QStringLiteral("检查数据文件"));
        ui::RunInBackground(progress, [&](db::Progress &p) { report = db::CheckFile(path, p); });
    }
    const QString file = QDir::toNativeSeparators(path);
    if (!report) {
        msg::information(parent, report.error() == db::CheckCancelled()
                                     ? report.error()
                                     : QStringLiteral("无法检查 %1：%2").arg(file, report.error()));
        return;
    }
    const QStringList lines = report->lines();
    if (lines.isEmpty()) {
        msg::information(parent, QStringLiteral("检查完毕：%1\n未发现问题。").arg(file));
        return;
    }
    QString text = QStringLiteral("检查完毕：%1\n共发现 %2 处问题：\n").arg(file).arg(lines.size());
    text += lines.mid(0, kShownProblems).join(QLatin1Char('\n'));
    if (lines.size() > kShownProblems)
        text += QStringLiteral("\n……全部问题可用 lanlan --check 列出。");
    msg::information(parent, text);
}

} // namespace dataactions
