#include "data/programdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace db {
namespace {
QString g_programDir;
bool g_demo = false;
QString g_user;
QString g_password;

QString defaultProgramDir()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && QFileInfo(exeDir).isWritable())
        return exeDir;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}
} // namespace

QString ProgramDir::path()
{
    if (g_programDir.isEmpty())
        g_programDir = defaultProgramDir();
    return g_programDir;
}

void ProgramDir::setPath(const QString &dir) { g_programDir = dir; }
QString ProgramDir::file(const QString &name) { return path() + QLatin1Char('/') + name; }
QString ProgramDir::scratchDir() { return file(QStringLiteral("tmp")); }

bool DemoData::enabled() { return g_demo; }
void DemoData::setEnabled(bool on) { g_demo = on; }

QString RealDatabaseFile() { return ProgramDir::file(QStringLiteral("db.sqlite")); }
QString DemoDatabaseFile() { return ProgramDir::file(QStringLiteral("demo.sqlite")); }
QString DatabasePath() { return DemoData::enabled() ? DemoDatabaseFile() : RealDatabaseFile(); }

QString Session::CurrentUser() { return g_user; }
QString Session::CurrentPassword() { return g_password; }
void Session::setCurrentUser(const QString &user) { g_user = user; }
void Session::setCurrentPassword(const QString &password) { g_password = password; }

} // namespace db

namespace db {

bool CreateScratchDir()
{
    return QDir().mkpath(ProgramDir::scratchDir());
}

void EmptyScratchDir()
{
    QDir dir(ProgramDir::scratchDir());
    if (!dir.exists())
        return;
    const QStringList files = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &f : files)
        dir.remove(f);
}

} // namespace db
