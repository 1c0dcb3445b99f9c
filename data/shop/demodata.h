#pragma once
#include <QByteArray>
#include <QDate>

#include "data/store/result.h"

namespace db {

class Connection;

// Size of a generated shop. The same values give the same shop.
struct DemoSize
{
    int discs = 160;
    int customers = 45;
    int rentals = 320;
    int coverPercent = 60;  // share of discs that get a cover picture
    int deletePercent = 4;  // share of discs deleted after their rentals
    quint32 seed = 20051016;
    QDate anchor;           // "today" of the shop; invalid means the clock's today
};

// Fills an empty database with lookup values, discs, customers and rental records whose
// states agree across table1, table2 and table4.
Status GenerateDemoData(Connection &c, const DemoSize &size);

// A small picture in BMP format, the kind of file a shop keeper might choose as a cover.
QByteArray MakeCoverBmp(int width, int height, quint32 seed);

// First run: db.sqlite with an empty catalogue and demo.sqlite with demonstration data,
// both in the program folder. Files that exist are left alone.
Status CreateDatabaseFiles();

} // namespace db
