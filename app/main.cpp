#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/checkcommand.h"
#include "app/programicon.h"
#include "app/startup.h"
#include "app/termination.h"
#include "data/store/buildinfo.h"

int main(int argc, char *argv[])
{
    // A check needs no display: it runs before any window toolkit is started.
    if (startup::isCheckCommand(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Lanlan"));
        QCoreApplication::setOrganizationName(QStringLiteral("Lanlan"));
        return startup::runCheck(QCoreApplication::arguments());
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
    switch (startup::start()) {
    case startup::Outcome::Running:
        break;
    case startup::Outcome::Cancelled:
        return 0;
    case startup::Outcome::Failed:
        return startup::terminationRequested() ? 0 : 1;
    }
    const int code = QApplication::exec();
    startup::backUpAtExit();
    return startup::terminationRequested() ? 0 : code;
}
