#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "data/store/progress.h"
#include "data/store/result.h"

namespace db {

// Copies of the data files kept in the folder "backup" beside them and, when one is set,
// in a second place (backupsettings.h), named after the file and the moment they were
// taken: db-20260315-183000.sqlite.pages. A copy lists the chunks of the file's pages,
// which copies in the same folder share (pagecopies.h). Copies of earlier releases
// (.sqlite.zst compressed, .sqlite plain) are still listed and restored.
QString BackupDir();

// Copies kept per data file and place: the newest of each of the last 7 days, of the
// last 4 weeks and of the last 12 months that have a copy (at most 23).
constexpr int kDailyKept = 7;
constexpr int kWeeklyKept = 4;
constexpr int kMonthlyKept = 12;
// Which of these moments the rotation keeps, as indexes into them (any order).
QList<int> KeptByRotation(const QList<QDateTime> &taken);

// The size shown for a copy: of the data file it holds for a copy of pages (whose chunks
// it shares with the others), of the copy itself for the earlier kinds.
qint64 BackupSize(const QString &backup);

// The copies of a data file in a folder (default: BackupDir()), newest first.
QStringList BackupsOf(const QString &dataFile, const QString &dir = QString());
// When a copy was taken, read from its name; invalid for a name that is not a copy's.
QDateTime BackupTime(const QString &backup);

// Whether a copy's content is put together and checked by SQLite before it takes its name
// (Full), or left to the next quiet moment (Later: the exit, which has no time for it;
// its chunks are still read back and compared before it counts).
enum class Check { Full, Later };

// Writes a copy of the data file beside it and, when secondDir is given, a copy of that
// copy there; each is verified before it takes its name (a copy cut short keeps the
// name *.part and is never listed), and the rotation then drops the copies it does not
// keep with the chunks only they used. The data file is only read, a few chunks at a
// time under SQLite's read lock, so writers are held up milliseconds at most. Returns the
// copy beside the data file; a failure in the second place is returned in secondError
// (the copy beside the data file stands).
struct BackupMade
{
    QString copy;
    QString secondCopy;  // empty when there is no second place or it failed
    QString secondError; // why the second place has no copy; empty when it has one or none is set
};
Result<BackupMade> BackUpFile(const QString &dataFile, const QString &secondDir = QString(),
                              Progress &progress = ScopedProgress::current(), Check check = Check::Full);

// In a quiet moment and at a clean exit: a copy of each data file that has changed since
// its last copy. Stopped by progress, it leaves the copies as they were. Returns one line
// per file for the log; never fails.
QStringList BackUpDataFiles(const QString &secondDir = QString(), Progress &progress = NoProgress(),
                            Check check = Check::Full);

// Whether the data file changed since its last copy (or has none).
bool ChangedSinceLastCopy(const QString &dataFile);

// Checks the copies taken with Check::Later in both places: a sound one is marked checked,
// a damaged one removed. Returns what was removed, for the log.
QStringList CheckLaterCopies(const QString &secondDir, Progress &progress = NoProgress());

// Whether a copy is whole: every chunk or frame decodes and its checksum matches; a copy
// not checked yet, and a plain one, also passes SQLite's integrity check. Reads the copy
// only.
Status VerifyBackup(const QString &backup, Progress &progress = NoProgress());
// The same for a list of copies; a chunk several copies share is read once.
QList<Status> VerifyBackups(const QStringList &backups, Progress &progress = NoProgress());

// Writes the data file a copy holds to target (a new file).
Status UnpackBackup(const QString &backup, const QString &target, Progress &progress = NoProgress());

// The newest copy of the data file that passes VerifyBackup, if any.
std::optional<QString> NewestGoodBackup(const QString &dataFile);

// Puts the data file of the backup in the data file's place, once it has passed SQLite's
// integrity check. A data file that is there is kept aside under a new name, with any
// journal beside it, never deleted: the name it was kept under is returned (empty when
// there was no file). The kept name tells why it was set aside: file.damaged-<moment>
// at start-up, file.replaced-<moment> for a restore the shop keeper chose.
Result<QString> RestoreBackup(const QString &dataFile, const QString &backup,
                              Progress &progress = NoProgress(), const QString &keptAs = QStringLiteral("damaged"));

} // namespace db
