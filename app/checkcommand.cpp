#include "app/checkcommand.h"

#include <QDir>
#include <QTextStream>

#include <cstring>

#include "data/safety/invariants.h"
#include "data/store/programdir.h"

namespace startup {

bool isCheckCommand(int argc, char *argv[])
{
    return argc >= 2 && std::strcmp(argv[1], "--check") == 0;
}

int runCheck(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList rest = arguments.mid(2);
    if (rest.size() > 1) {
        err << "用法：lanlan --check [数据文件]\n";
        return 2;
    }
    const QString path = rest.isEmpty() ? db::RealDatabaseFile() : rest.first();
    out << "检查数据文件：" << QDir::toNativeSeparators(path) << "\n";
    const auto report = db::CheckFile(path);
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
