#pragma once
#include <QIcon>

namespace app {

// The program's icon in every rendered size: window icon of every window, About picture.
QIcon ProgramIcon();

} // namespace app
