#pragma once
#include <QString>

namespace startup {

// "lanlan --check [FILE]": checks the data file (empty: db.sqlite in the program folder)
// without opening any window: prints what it finds in Chinese and returns 0 when the file
// is sound, 1 when something is wrong with it, 2 when it cannot be read at all.
// "lanlan --server TEXT --check": the same for the server shop of the connection text.
int runCheck(const QString &file, const QString &server = {});

} // namespace startup
