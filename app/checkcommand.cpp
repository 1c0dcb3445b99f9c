#include "app/checkcommand.h"

#include <QDir>
#include <QTextStream>

#include "data/safety/invariants.h"
#include "data/store/location.h"
#include "data/store/programdir.h"

namespace startup {

int runCheck(const QString &file, const QString &server)
{
    QTextStream out(stdout);
    const auto shop = db::ServerShop::parse(server);
    const QString path = file.isEmpty() ? db::RealDatabaseFile() : file;
    if (shop)
        out << "检查服务器上的店铺：" << shop->describe() << "\n";
    else
        out << "检查数据文件：" << QDir::toNativeSeparators(path) << "\n";
    const auto report = shop ? db::CheckServerShop(*shop) : db::CheckFile(path);
    if (!report) {
        out << "无法检查：" << report.error() << "\n";
        return 2;
    }
    const QStringList lines = report->lines();
    for (const QString &line : lines)
        out << line << "\n";
    if (lines.isEmpty()) {
        out << "未发现问题。\n";
        return 0;
    }
    out << "共发现 " << lines.size() << " 处问题。\n";
    return 1;
}

} // namespace startup
