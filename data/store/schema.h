#pragma once
#include <QString>

#include "data/store/result.h"

namespace db {

class Connection;

// The version of the file layout this program writes, kept in PRAGMA user_version.
// Every change of the layout adds an upgrade step (schema.cpp) and raises it by one.
int SchemaVersion();

// Writes the eight tables, their defaults and indexes into an open, empty database.
// With a version below SchemaVersion() it writes the layout that release wrote (tests
// make old files with it).
Status CreateSchema(Connection &c);
Status CreateSchema(Connection &c, int version);

// Brings a file written by an earlier release up to SchemaVersion(), in one transaction:
// either every step is applied or the file stays as it was. A current file is left alone;
// a file written by a newer release is refused.
Status UpgradeSchema(Connection &c);

// Removes a database file together with the journal files SQLite keeps beside it.
bool RemoveDatabaseFile(const QString &path);

// Creates a new database file with the schema; fails when the file already exists.
// The file appears only once it is complete.
Status CreateDatabaseFile(const QString &path);

} // namespace db
