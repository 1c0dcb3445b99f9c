#pragma once
#include <QString>

#include "data/result.h"

namespace db {

class Connection;

constexpr int SchemaVersion = 1;

// Writes the eight tables, their defaults and indexes into an open, empty database.
Status CreateSchema(Connection &c);

// Creates a new database file with the schema; fails when the file already exists.
// The file appears only once it is complete.
Status CreateDatabaseFile(const QString &path);

} // namespace db
