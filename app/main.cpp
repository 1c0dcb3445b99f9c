#include <QApplication>

#include "app/startup.h"
#include "app/termination.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lanlan"));
    QApplication::setOrganizationName(QStringLiteral("Lanlan"));
    startup::handleTermination();
    if (!startup::start())
        return startup::terminationRequested() ? 0 : 1;
    const int code = QApplication::exec();
    return startup::terminationRequested() ? 0 : code;
}
