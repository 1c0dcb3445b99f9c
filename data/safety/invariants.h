#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

#include "data/store/progress.h"
#include "data/store/result.h"

namespace db {

class Connection;
struct ServerShop;

// One rule the rows of a shop file always obey. `find` appends one line per breach, in
// words for the shop keeper with the numbers involved; it fails only when it cannot read.
struct Invariant
{
    QString name;         // short, stable: used by tests and the --check output
    int sinceVersion = 1; // the first file layout that has what it reads
    std::function<Status(Connection &c, QStringList &breaches)> find;
    bool onServer = true; // false: it reads what only the file keeps (the program's own indexes)
};

// A part of a rule's statement that differs between the engines, put in for its "%1".
struct EngineText
{
    const char *file = nullptr;
    const char *server = nullptr;
};

// Every rule, in the order they are checked. New kept columns, side tables and counters
// add their rule here.
const QList<Invariant> &Invariants();

// A rule given as a statement whose every row is a breach; describe words one row.
Invariant RowInvariant(const QString &name, int sinceVersion, const QString &sql,
                       std::function<QString(const QVariantList &row)> describe, EngineText differs = {});

struct CheckReport
{
    int version = 0;           // the file's layout version
    QStringList integrity;     // what PRAGMA integrity_check found; empty when "ok"
    QList<QPair<QString, QString>> breaches; // (rule name, description)

    bool clean() const { return integrity.isEmpty() && breaches.isEmpty(); }
    QStringList lines() const; // everything found, one line each, in Chinese
};

// Runs PRAGMA integrity_check and every rule that applies to the file's layout, reading
// the file as it is (no upgrade). Fails only when the file cannot be opened or read, or
// when a stop was asked for through `progress` (told before the integrity check and
// before each rule, in words for the shop keeper).
Result<CheckReport> CheckFile(const QString &path, Progress &progress = NoProgress());
// On a server shop's connection: every rule that applies to the server (no integrity check).
Result<CheckReport> CheckFile(Connection &c, Progress &progress = NoProgress());
// The same for a server shop, read as it is.
Result<CheckReport> CheckServerShop(const ServerShop &shop);
// The reason a check stopped when the shop keeper cancelled it.
QString CheckCancelled();

} // namespace db
