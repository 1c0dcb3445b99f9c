#include "data/safety/backupsettings.h"

#include <QSettings>

#include "data/store/clock.h"

namespace db {
namespace {

const char *const kGroup = "backup";
const char *const kSecondDir = "location";
const char *const kMissingTold = "missingToldOn";

} // namespace

QString SecondBackupDir()
{
    QSettings s(QStringLiteral("Lanlan"), QStringLiteral("Lanlan"));
    s.beginGroup(QLatin1String(kGroup));
    return s.value(QLatin1String(kSecondDir)).toString();
}

void SetSecondBackupDir(const QString &dir)
{
    QSettings s(QStringLiteral("Lanlan"), QStringLiteral("Lanlan"));
    s.beginGroup(QLatin1String(kGroup));
    s.setValue(QLatin1String(kSecondDir), dir);
}

bool TellSecondPlaceMissingToday()
{
    QSettings s(QStringLiteral("Lanlan"), QStringLiteral("Lanlan"));
    s.beginGroup(QLatin1String(kGroup));
    const QDate today = Clock::today();
    if (s.value(QLatin1String(kMissingTold)).toDate() == today)
        return false;
    s.setValue(QLatin1String(kMissingTold), today);
    return true;
}

} // namespace db
