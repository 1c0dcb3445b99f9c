#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

#include "data/store/result.h"

namespace db {

// Copies of the data files kept in the folder "backup" beside them, named after the file
// and the moment they were taken: db-20260315-183000.sqlite, demo-20260315-183000.sqlite.
QString BackupDir();

// How many copies are kept per data file; the oldest go first.
constexpr int kBackupsKept = 10;

// The copies of a data file, newest first.
QStringList BackupsOf(const QString &dataFile);
// When a copy was taken, read from its name; invalid for a name that is not a copy's.
QDateTime BackupTime(const QString &backup);

// Writes a copy of the data file (VACUUM INTO, then PRAGMA integrity_check on the copy),
// and drops the oldest copies beyond kBackupsKept. A copy that fails its check is removed;
// the data file is only read. Returns the copy's path.
Result<QString> BackUpFile(const QString &dataFile);

// At a clean exit: a copy of each data file that has changed since its last copy, unless
// one was already taken today. Returns one line per file for the log; never fails.
QStringList BackUpDataFiles();

// The newest copy of the data file that passes PRAGMA integrity_check, if any.
std::optional<QString> NewestGoodBackup(const QString &dataFile);

// Puts a copy of the backup in the data file's place. A data file that is there (damaged)
// is kept aside under a new name, with any journal beside it, never deleted: the name it
// was kept under is returned (empty when there was no file).
Result<QString> RestoreBackup(const QString &dataFile, const QString &backup);

} // namespace db
