#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include "data/shop/discrecords.h"
#include "data/store/progress.h"
#include "data/store/result.h"

namespace db {

// 导入碟片目录: a CSV of discs kept in a spreadsheet, read and checked line by line before
// anything is written, then stored as the entry window stores a disc.

// The longest text each field takes, in UTF-16 units as the entry window's boxes count.
struct FieldLimits
{
    static constexpr int title = 15, shelf = 10, count = 2, media = 4, starring = 20, director = 20,
                         category = 10, remark = 25, synopsis = 800;
};

struct CatalogueLine
{
    qint64 line = 0;       // line number in the file (the header is line 1)
    DiscFields fields;
    QStringList problems;  // empty: the line is imported
};

struct CatalogueFile
{
    QString encoding;          // "UTF-8" or "GB18030"
    QStringList headers;       // as found in the file
    QStringList ignored;       // headers that match no field
    QList<CatalogueLine> lines;
    qint64 goodLines() const;
    qint64 badLines() const { return lines.size() - goodLines(); }
};

// Reads and checks the whole file: the encoding is told apart by itself (a UTF-8 byte-order
// mark or valid UTF-8, else GB18030, which covers GBK), the columns are matched by their
// headers, every line gets its problems: a title missing, a text too long, a count that is
// not a number, a cover file that cannot be read. A file without a title column fails.
Result<CatalogueFile> ReadCatalogue(const QString &path);

// Stores the lines without problems into the lowest free slots, in file order, in one
// transaction, extending the lookup lists as disc entry does. A stop asked for through
// `progress`, or any failed write, leaves the file as it was. Returns the discs stored.
Result<qint64> ImportCatalogue(const CatalogueFile &file, Progress &progress);

// Splits CSV text (RFC 4180; lines may also end in a bare LF) into records.
QList<QStringList> ParseCsv(const QString &text);

QString ImportCancelled();

} // namespace db
