#include "app/programicon.h"

namespace app {

QIcon ProgramIcon()
{
    static const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    QIcon icon;
    for (int size : sizes)
        icon.addFile(QStringLiteral(":/icons/lanlan-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace app
