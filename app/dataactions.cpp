#include "app/dataactions.h"

#include <QDir>
#include <QProgressDialog>
#include <QFileDialog>
#include <QStandardPaths>

#include "data/safety/invariants.h"
#include "data/shop/csvexport.h"
#include "data/shop/shopexport.h"
#include "data/store/connection.h"
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
    // A server shop is checked on the server by its rules; the file's integrity check and
    // its own search indexes do not apply there.
    const std::optional<db::ServerShop> server = db::ShopLocation::serverInUse();
    const QString path = db::DatabasePath();
    db::Result<db::CheckReport> report = db::Status();
    {
        ui::ProgressDialog progress(parent, server ? QStringLiteral("检查数据") : QStringLiteral("检查数据文件"));
        ui::RunInBackground(progress, [&](db::Progress &p) {
            if (!server) {
                report = db::CheckFile(path, p);
                return;
            }
            db::Connection c(*server, db::Connection::Mode::Inspect);
            report = c.ok() ? db::CheckFile(c, p) : db::Result<db::CheckReport>(c.status());
        });
    }
    const QString file = server ? server->describe() : QDir::toNativeSeparators(path);
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
