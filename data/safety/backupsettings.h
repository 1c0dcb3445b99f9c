#pragma once
#include <QString>

namespace db {

// The settings of the backups (group "backup" of the program's settings).

// The second place the copies go to (another disk, a USB stick, a network share); empty
// when none is set.
QString SecondBackupDir();
void SetSecondBackupDir(const QString &dir);

// True once a day at most: whether to tell the shop keeper that the second place is
// missing. Asking notes that today has been told.
bool TellSecondPlaceMissingToday();

} // namespace db
