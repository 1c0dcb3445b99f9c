#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include "data/store/buildinfo.h"

namespace startup {

namespace {

const QCommandLineOption kHelp({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("显示本帮助并退出。"));
const QCommandLineOption kVersion({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("显示版本并退出。"));
const QCommandLineOption kCheck(QStringLiteral("check"),
                                QStringLiteral("检查数据文件（默认：程序旁的 db.sqlite），不打开任何窗口；"
                                               "无问题退出码 0，有问题 1，无法读取 2。"));

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
    parser.addOptions(toolkitOptions());
    parser.addPositionalArgument(QStringLiteral("数据文件"), QStringLiteral("与 --check 一起：要检查的数据文件。"),
                                 QStringLiteral("[数据文件]"));
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
    if (parser.isSet(kHelp)) {
        line.action = CommandLine::Action::Help;
    } else if (parser.isSet(kVersion)) {
        line.action = CommandLine::Action::Version;
    } else if (parser.isSet(kCheck)) {
        line.action = rest.size() <= 1 ? CommandLine::Action::Check : CommandLine::Action::Refused;
        line.file = rest.value(0);
        if (rest.size() > 1)
            line.error = QStringLiteral("--check 只检查一个数据文件。");
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
        break;
    }
    return 0;
}

} // namespace startup
