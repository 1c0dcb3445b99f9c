#pragma once
#include "data/store/result.h"

namespace db {

class Connection;

// One new row with every column at its default: a free slot for the caller to fill.
Status AppendBlankDisc(Connection &c);
Status AppendBlankCustomer(Connection &c);

// The number the next new disc will occupy: the lowest free slot, else one past the
// highest disc, else 1.
Result<qint64> NextDiscId();
Result<qint64> NextDiscId(Connection &c);

} // namespace db
