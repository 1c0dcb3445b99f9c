#pragma once
#include <QStringList>

namespace startup {

// True when the program was started as "lanlan --check [FILE]".
bool isCheckCommand(int argc, char *argv[]);

// Checks the data file (default: db.sqlite in the program folder) without opening any
// window: prints what it finds in Chinese and returns 0 when the file is sound, 1 when
// something is wrong with it, 2 when it cannot be read at all.
int runCheck(const QStringList &arguments);

} // namespace startup
