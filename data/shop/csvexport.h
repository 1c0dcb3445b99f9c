#pragma once
#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

#include "data/store/pagedquery.h"
#include "data/store/progress.h"
#include "data/store/result.h"

namespace db {

// CSV for spreadsheet programs and accountants: UTF-8 with a byte-order mark (so that
// Chinese is read as Chinese), fields quoted as RFC 4180 has it, lines ended by CR LF.
QByteArray CsvLine(const QStringList &fields);
QByteArray CsvByteOrderMark();
// Appends one field (no separator) to `out`; what CsvLine does for each field.
void AppendCsvField(QByteArray &out, QStringView text);

// A CSV file that appears only when it is complete: lines are gathered in a buffer and
// written in large pieces; abandon() (or destruction without commit()) leaves no file and
// an existing one as it was.
class CsvFile
{
public:
    explicit CsvFile(const QString &path);
    Status open(const QStringList &headers);
    // The line being made: append fields with AppendCsvField and separators, then endLine().
    QByteArray &line() { return m_buffer; }
    void separator() { m_buffer += ','; }
    Status endLine();
    Status commit();
    void abandon() { m_file.cancelWriting(); }

private:
    Status failure() const;
    QSaveFile m_file;
    QByteArray m_buffer;
};

// The texts of one exported row, made from the row the list reads.
using CsvCells = std::function<QStringList(const QVariantList &row)>;

// Writes every record of a list (not one page) to `path`: the headers, then one line per
// record in list order. The file appears only when it is complete: a failure or a stop
// asked for through `progress` leaves no file (and an existing one as it was).
Status ExportCsv(Connection &c, const PagedQuery &q, const QStringList &headers, const CsvCells &cells,
                 const QString &path, Progress &progress);
Status ExportCsv(const PagedQuery &q, const QStringList &headers, const CsvCells &cells, const QString &path,
                 Progress &progress);

// The reason an export stopped when the shop keeper cancelled it.
QString ExportCancelled();

} // namespace db
