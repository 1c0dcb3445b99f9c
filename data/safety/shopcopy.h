#pragma once
#include <QString>

#include <optional>

#include "data/store/location.h"
#include "data/store/progress.h"
#include "data/store/result.h"

namespace db {

// Where a shop is: a data file, or a server shop.
struct ShopPlace
{
    QString file;
    std::optional<ServerShop> server;
    QString describe() const;
};

// A connection text (it holds "dbname=") names a server shop; anything else is a file.
Result<ShopPlace> ParseShopPlace(const QString &text);

// Copies every row of the shop at `from` (a file of an earlier layout is upgraded first) into
// `to`, which must not hold a shop yet: a file must not exist, a database must be empty.
// Everything is written in one transaction on the target, so a failed or stopped copy leaves
// nothing behind; ids, covers and 64-bit numbers are kept as they are and the next new disc
// or customer gets the number it would have got at the source. The kept list counters are
// made by the target's own triggers; a file's search indexes are rebuilt. Returns the rows
// copied. Two server shops at once are refused: copy through a file.
Result<qint64> CopyShop(const ShopPlace &from, const ShopPlace &to, Progress &progress);

} // namespace db
