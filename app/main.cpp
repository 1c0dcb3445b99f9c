#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/backupidle.h"
#include "app/checkcommand.h"
#include "app/commandline.h"
#include "app/copyshopcommand.h"
#include "app/programicon.h"
#include "app/searchwarmup.h"
#include "app/startup.h"
#include "app/termination.h"
#include "data/store/buildinfo.h"

int main(int argc, char *argv[])
{
    // Whatever only prints (a check, the help, the version, a refused option) needs no
    // display and creates no file: it runs before any window toolkit is started.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const startup::CommandLine line = startup::ReadCommandLine(arguments);
    if (line.action != startup::CommandLine::Action::Run) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Lanlan"));
        QCoreApplication::setOrganizationName(QStringLiteral("Lanlan"));
        QCoreApplication::setApplicationVersion(QStringLiteral(LANLAN_VERSION));
        if (line.action == startup::CommandLine::Action::Check)
            return startup::runCheck(line.file, line.server);
        if (line.action == startup::CommandLine::Action::CopyShop)
            return startup::runCopyShop(line.from, line.to);
        return startup::PrintForCommandLine(line);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lanlan"));
    QApplication::setOrganizationName(QStringLiteral("Lanlan"));
    QApplication::setApplicationVersion(QStringLiteral(LANLAN_VERSION));
    // Every window, dialogs included, carries the program's icon.
    QApplication::setWindowIcon(app::ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("lanlan"));
    // Every text of the program is Chinese; the toolkit's own dialogs and buttons follow.
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkitTexts);
    startup::handleTermination();
    startup::ChooseShop(line.server);
    switch (startup::start()) {
    case startup::Outcome::Running:
        break;
    case startup::Outcome::Cancelled:
        return 0;
    case startup::Outcome::Failed:
        return startup::terminationRequested() ? 0 : 1;
    }
    backups::StartQuietCopies();
    const int code = QApplication::exec();
    startup::WaitForSearchWarmUp();
    backups::CopyAtExit();
    return startup::terminationRequested() ? 0 : code;
}
