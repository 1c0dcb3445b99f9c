#pragma once
#include "data/store/result.h"

#include <functional>

namespace db {

class Connection;
struct ServerShop;

// The layout of a server shop (PostgreSQL). It holds what the file holds: the eight tables,
// the kept list counters and customers per day (kept by triggers), the program's own search
// indexes, the layout version. Its version counts its own steps (see serverschema.cpp); a
// step that changes the file's layout adds the matching step here.
int ServerSchemaVersion();
// The first server layout with the program's own search indexes.
int ServerIndexVersion();

// What a database holds: no tables at all, a shop of a layout version, or something else.
namespace ServerLayout {
constexpr int Empty = 0;
constexpr int Foreign = -1;
}
Result<int> ServerLayoutVersion(Connection &c);

// Writes the layout into a database that holds nothing yet, in one transaction. With a
// version below ServerSchemaVersion() it writes that earlier layout (tests upgrade it).
Status CreateServerSchema(Connection &c);
Status CreateServerSchema(Connection &c, int version);
// Brings a server shop of an earlier layout up to ServerSchemaVersion() in one transaction;
// a shop of a newer layout is refused.
Status UpgradeServerSchema(Connection &c);

// Fills a shop's tables with many rows at once (a copy of a whole shop): the triggers that
// keep the counters and figures are off meanwhile, and those are counted from the rows once
// at the end. The search indexes' logs are off too: `load` files the rows into them afterwards
// (RebuildDiscIndex, RebuildCustomerIndex). Each kept counter is one row, and a trigger updating it a million times in one
// transaction walks every earlier version of it each time. Inside the caller's transaction.
Status LoadWithoutTriggers(Connection &c, const std::function<Status()> &load);

// Runs write, which writes many discs in the caller's transaction, with the discs' kept
// counters counted from the rows once at its end instead of row by row (for the reason above).
// On a file it just runs write: the file's counters cost the same whatever the transaction.
Status CountDiscsLater(Connection &c, const std::function<Status()> &write);

// Runs, once on a new connection, a statement of each kind a search runs, with values that
// find nothing: a server connection's first statement on a table reads the table's catalog
// first (tens of milliseconds for the disc table and its indexes), which the first search
// of a program run would otherwise pay. Failures are left to the operations that follow.
void WarmServerConnection(Connection &c);

// What the database of a server shop holds, read as it is (the 测试连接 of the settings).
Result<int> ProbeServerShop(const ServerShop &shop);

// Opens a server shop before it is used: an earlier layout is upgraded, a foreign database or
// a newer layout refused with the reason; an empty database gets a new, empty shop when
// createIfEmpty, else it is refused. True when the shop was made now.
Result<bool> OpenServerShop(const ServerShop &shop, bool createIfEmpty);

} // namespace db
