#pragma once
#include <QString>
#include <QStringList>

namespace db {

// The folder that holds db.sqlite, demo.sqlite and tmp: the executable's folder when it is
// writable and not an installed program, else the per-user application data folder.
class ProgramDir
{
public:
    static QString path();
    // The choice made at start: exeDir unless it is read-only or an installed program's
    // folder (its installed data folder exists), in which case perUserDir.
    static QString choose(const QString &exeDir, const QString &perUserDir);
    static void setPath(const QString &dir); // tests and the installed program set it explicitly
    static QString file(const QString &name);  // path() + "/" + name
    static QString scratchDir();               // path() + "/tmp"
};

// The data folder of an installed program (guide page and its pictures).
class InstalledData
{
public:
    // Where to look, in order: the data folder of the prefix the executable sits in, then
    // the one the build was configured for.
    static QStringList folders();
    static QStringList foldersFor(const QString &exeDir);
    static void setFolders(const QStringList &dirs); // tests; empty: back to the default
};

// A file shipped with the program, e.g. tour.htm: beside the program's data files first
// (the build copies it there), then in the installed data folder.
struct ShippedFile
{
    QString path;         // empty when not found
    QStringList searched; // the folders looked in, in order
};
ShippedFile FindShippedFile(const QString &name);

// The demonstration-data switch: chooses the file that every next operation opens.
class DemoData
{
public:
    static bool enabled();
    static void setEnabled(bool on);
};

QString RealDatabaseFile();  // db.sqlite in the program folder
QString DemoDatabaseFile();  // demo.sqlite in the program folder
QString DatabasePath();      // the file in use now, rebuilt from the switch at every call

// The logged-in user, set by a successful login and by the account windows.
class Session
{
public:
    static QString CurrentUser();
    static QString CurrentPassword();
    static void setCurrentUser(const QString &user);
    static void setCurrentPassword(const QString &password);
};

} // namespace db

namespace db {

// The scratch folder for cover pictures written out for display.
bool CreateScratchDir();   // an existing folder is fine
void EmptyScratchDir();    // deletes every file in it; failures are ignored

} // namespace db
