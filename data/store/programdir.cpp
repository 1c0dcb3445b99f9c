#include "data/store/programdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "data/store/buildinfo.h"

namespace db {
namespace {
QString g_programDir;
QStringList g_installedData;
bool g_demo = false;
QString g_user;
QString g_password;

QString installedDataBeside(const QString &exeDir)
{
    return QDir::cleanPath(QDir(exeDir).filePath(QStringLiteral(LANLAN_BIN_TO_DATA)));
}
} // namespace

QString ProgramDir::choose(const QString &exeDir, const QString &perUserDir)
{
    // An installed program never writes beside itself: root may write into /usr/bin, but
    // the data belongs to the user.
    if (!exeDir.isEmpty() && QFileInfo(exeDir).isWritable() && !QFileInfo(installedDataBeside(exeDir)).isDir())
        return exeDir;
    return perUserDir;
}

QString ProgramDir::path()
{
    if (g_programDir.isEmpty()) {
        g_programDir = choose(QCoreApplication::applicationDirPath(),
                              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        QDir().mkpath(g_programDir);
    }
    return g_programDir;
}

void ProgramDir::setPath(const QString &dir) { g_programDir = dir; }
QString ProgramDir::file(const QString &name) { return path() + QLatin1Char('/') + name; }
QString ProgramDir::scratchDir() { return file(QStringLiteral("tmp")); }

QStringList InstalledData::foldersFor(const QString &exeDir)
{
    QStringList dirs;
    if (!exeDir.isEmpty())
        dirs << installedDataBeside(exeDir);
    const QString configured = QDir::cleanPath(QStringLiteral(LANLAN_INSTALLED_DATA_DIR));
    if (!dirs.contains(configured))
        dirs << configured;
    return dirs;
}

QStringList InstalledData::folders()
{
    if (!g_installedData.isEmpty())
        return g_installedData;
    return foldersFor(QCoreApplication::applicationDirPath());
}

void InstalledData::setFolders(const QStringList &dirs) { g_installedData = dirs; }

ShippedFile FindShippedFile(const QString &name)
{
    ShippedFile found;
    found.searched << ProgramDir::path();
    for (const QString &dir : InstalledData::folders()) {
        if (!found.searched.contains(dir))
            found.searched << dir;
    }
    for (const QString &dir : std::as_const(found.searched)) {
        const QFileInfo f(QDir(dir).filePath(name));
        if (f.isFile()) {
            found.path = f.absoluteFilePath();
            break;
        }
    }
    return found;
}

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
