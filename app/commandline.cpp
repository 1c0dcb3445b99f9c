#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include "data/store/buildinfo.h"
#include "data/store/location.h"

namespace startup {

namespace {

const QCommandLineOption kHelp({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("显示本帮助并退出。"));
const QCommandLineOption kVersion({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("显示版本并退出。"));
const QCommandLineOption kCheck(QStringLiteral("check"),
                                QStringLiteral("检查数据文件（默认：程序旁的 db.sqlite），不打开任何窗口；"
                                               "无问题退出码 0，有问题 1，无法读取 2。"));
const QCommandLineOption kServer(QStringLiteral("server"),
                                 QStringLiteral("本次运行使用 PostgreSQL 服务器上的店铺，例如 "
                                                "\"host=/run/postgresql port=5432 dbname=lanlan user=kim sslmode=prefer\"；"
                                                "密码不能写在这里，请放在 ~/.pgpass 中或在启动时输入。"),
                                 QStringLiteral("连接设置"));
const QCommandLineOption kCopyShop(QStringLiteral("copy-shop"),
                                   QStringLiteral("把店铺从 FROM 复制到 TO，不打开任何窗口；各是数据文件或服务器的连接设置"
                                                  "（含 dbname=）。目标中已有店铺时拒绝。"));

// The toolkit's own options, taken by the application object; hidden from the help.
QList<QCommandLineOption> toolkitOptions()
{
    QList<QCommandLineOption> out;
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowtitle", "qwindowicon", "style", "stylesheet", "display", "geometry", "session",
                             "title"}) {
        QCommandLineOption o(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        out << o;
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption o(QString::fromLatin1(name));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        out << o;
    }
    return out;
}

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("澜岚：影碟出租店的管理程序。"));
    // "-platform" is one option, as the toolkit reads it, not "-p -l -a ...".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(kHelp);
    parser.addOption(kVersion);
    parser.addOption(kCheck);
    parser.addOption(kServer);
    parser.addOption(kCopyShop);
    parser.addOptions(toolkitOptions());
    parser.addPositionalArgument(QStringLiteral("数据文件"), QStringLiteral("与 --check 一起：要检查的数据文件。"),
                                 QStringLiteral("[数据文件]"));
    parser.addPositionalArgument(QStringLiteral("FROM TO"), QStringLiteral("与 --copy-shop 一起：来源和目标。"),
                                 QStringLiteral("[FROM TO]"));
}

QString usage()
{
    QCommandLineParser parser;
    describe(parser);
    return parser.helpText();
}

} // namespace

CommandLine ReadCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    describe(parser);
    CommandLine line;
    if (!parser.parse(arguments)) {
        line.action = CommandLine::Action::Refused;
        line.error = parser.errorText();
        return line;
    }
    const QStringList rest = parser.positionalArguments();
    if (parser.isSet(kServer)) {
        line.server = parser.value(kServer);
        QString problem;
        if (!db::ServerShop::parse(line.server, &problem)) {
            // Not echoed: a refused text may hold a password.
            line.action = CommandLine::Action::Refused;
            line.error = QStringLiteral("--server：%1").arg(problem);
            return line;
        }
    }
    if (parser.isSet(kHelp)) {
        line.action = CommandLine::Action::Help;
    } else if (parser.isSet(kVersion)) {
        line.action = CommandLine::Action::Version;
    } else if (parser.isSet(kCopyShop)) {
        line.action = rest.size() == 2 && line.server.isEmpty() ? CommandLine::Action::CopyShop : CommandLine::Action::Refused;
        if (line.action == CommandLine::Action::CopyShop) {
            line.from = rest.at(0);
            line.to = rest.at(1);
        } else {
            line.error = QStringLiteral("--copy-shop 需要来源和目标两个参数。");
        }
    } else if (parser.isSet(kCheck)) {
        const int most = line.server.isEmpty() ? 1 : 0;
        line.action = rest.size() <= most ? CommandLine::Action::Check : CommandLine::Action::Refused;
        line.file = rest.value(0);
        if (rest.size() > most)
            line.error = most ? QStringLiteral("--check 只检查一个数据文件。")
                              : QStringLiteral("--check 与 --server 一起时检查服务器上的店铺，不再给数据文件。");
    } else if (!rest.isEmpty()) {
        line.action = CommandLine::Action::Refused;
        line.error = QStringLiteral("多余的参数：%1").arg(rest.join(QLatin1Char(' ')));
    }
    return line;
}

int PrintForCommandLine(const CommandLine &line)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    switch (line.action) {
    case CommandLine::Action::Help:
        out << usage();
        return 0;
    case CommandLine::Action::Version:
        out << "lanlan " << LANLAN_VERSION << "\n";
        return 0;
    case CommandLine::Action::Refused:
        err << line.error << "\n\n" << usage();
        return 2;
    case CommandLine::Action::Run:
    case CommandLine::Action::Check:
    case CommandLine::Action::CopyShop:
        break;
    }
    return 0;
}

} // namespace startup
