#pragma once
#include <QString>

namespace startup {

// "lanlan --copy-shop FROM TO": copies a shop between a data file and a server shop without
// opening any window, telling its progress on standard error. 0 when copied, 1 when the copy
// failed or was refused (nothing is left at the target), 2 when FROM or TO cannot be read.
int runCopyShop(const QString &from, const QString &to);

} // namespace startup
