#pragma once
#include <QString>

namespace db {

// The folder that holds db.sqlite, demo.sqlite, tmp and tour.htm: the executable's folder
// when it is writable, else the per-user application data folder.
class ProgramDir
{
public:
    static QString path();
    static void setPath(const QString &dir); // tests and the installed program set it explicitly
    static QString file(const QString &name);  // path() + "/" + name
    static QString scratchDir();               // path() + "/tmp"
};

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
