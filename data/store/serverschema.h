#pragma once
#include "data/store/result.h"

namespace db {

class Connection;

// The layout of a server shop (PostgreSQL). It holds what the file holds: the eight tables,
// the kept list counters and customers per day (kept by triggers), the layout version. The
// program's own search indexes stay the file's; the server searches with its own indexes.
// Its version counts its own steps (see serverschema.cpp); a step that changes the file's
// layout adds the matching step here.
int ServerSchemaVersion();

// What a database holds: no tables at all, a shop of a layout version, or something else.
namespace ServerLayout {
constexpr int Empty = 0;
constexpr int Foreign = -1;
}
Result<int> ServerLayoutVersion(Connection &c);

// Writes the layout into a database that holds nothing yet, in one transaction.
Status CreateServerSchema(Connection &c);
// Brings a server shop of an earlier layout up to ServerSchemaVersion() in one transaction;
// a shop of a newer layout is refused.
Status UpgradeServerSchema(Connection &c);

} // namespace db
