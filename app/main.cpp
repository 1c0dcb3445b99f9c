#include <QApplication>

#include "app/startup.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lanlan"));
    QApplication::setOrganizationName(QStringLiteral("Lanlan"));
    if (!startup::start())
        return 1;
    return QApplication::exec();
}
