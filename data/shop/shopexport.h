#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include "data/store/progress.h"
#include "data/store/result.h"

namespace db {

class Connection;

// 导出全部数据: the shop's own records as one CSV per table, for the shop keeper's own books.
// Left out are what the program keeps for itself and rebuilds from these tables (the list
// counters, the customers per day, the search indexes and their change logs) and the
// passwords of table7. A cover goes out as a file of its own under 封面/, named after the
// disc number; the column img1 holds its path relative to the export's folder.

struct ExportedTable
{
    QString table;          // e.g. "table1"
    QString file;           // e.g. "table1 碟片.csv"
    QStringList columns;    // in file order
    QStringList headers;    // the first line of the file, one per column
};
const QList<ExportedTable> &ExportedTables();

struct ShopExport
{
    QString folder;     // the new folder holding the files
    qint64 rows = 0;    // rows written, all tables together
    qint64 covers = 0;  // cover files written
};

// Writes into a new folder inside `parent` (named 澜岚数据 and the moment). The folder
// appears only when every file is complete: a failure or a stop asked for through
// `progress` leaves nothing behind in `parent`.
Result<ShopExport> ExportShop(Connection &c, const QString &parent, Progress &progress);
Result<ShopExport> ExportShop(const QString &parent, Progress &progress);

} // namespace db
