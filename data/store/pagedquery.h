#pragma once
#include <QList>
#include <QMap>
#include <QString>
#include <QVariantList>

#include <functional>

#include "data/store/result.h"

namespace db {

class Connection;

// The record count of a list and the keys of one of its pages, in list order, as an index
// kept beside the table finds them. `page` is the page asked for, clamped to the pages
// that exist (1 for an empty list).
struct KeyPage
{
    qint64 page = 1;
    qint64 recordCount = 0;
    QVariantList keys;
};
using KeyFinder = std::function<Result<KeyPage>(Connection &c, qint64 page, int rowsPerPage)>;

// What a paged list reads: `columns` of the rows of `from` that pass `where`, in list order.
// The first column must be the record number (`key`), which every list row links to.
struct PagedQuery
{
    enum class KeyOrder { Other, Ascending, Descending };

    QString columns;            // e.g. "id,t13,t38"
    QString from;               // one table
    QString where;              // with ? placeholders for binds; empty for every row
    QVariantList binds;
    QString key = QStringLiteral("id");
    // A list ordered by its key alone is paged by seeking the key; any other order is given
    // in orderBy and must end in the key so that it is total.
    KeyOrder keyOrder = KeyOrder::Other;
    QString orderBy;
    // Optional, with an ascending or descending key: an expression the list is ordered by
    // ahead of the key, in the key's direction (e.g. the last rental date, then the number).
    // Pages are then sought by (value, key). It must never be NULL (wrap a column that may be
    // in ifnull) and wants an index on (expression, key) over the rows of the list.
    QString sortValue;
    // Optional: a statement giving the same number as count(*) over from/where (a counter
    // kept by the database), and one giving a number that changes whenever the rows of the
    // list may have changed. Without them the rows are counted and nothing is remembered.
    QString countSql;
    QVariantList countBinds;
    QString versionSql;
    // Optional, for a list ordered by an integer key: a statement giving (block, rows of the
    // list in it) in ascending block order, where block = key >> BlockShift. A page far from
    // both ends is then found by adding up blocks instead of stepping over every row before it.
    // With a sortValue the blocks are the values instead: (value, rows of the list with it)
    // in ascending value order.
    QString blocksSql;
    QVariantList blocksBinds;
    static constexpr int BlockShift = 10;
    // Optional: finds the count and the keys of a page without the statements above (a
    // substring search, say). The page's rows are then read by key, and only those that
    // pass `where`; from/where/binds still say which rows the list holds.
    KeyFinder finder;
    // Optional, for reading every row (an export) of a list ordered by its key alone: the
    // last `lateColumns` of `columns` sit behind a large column (a cover) in the table, so
    // reading them means reading through it. They are then read apart, by a second pass in
    // the same order over the rows that also pass `lateWhere` (a condition a small index
    // answers), and are NULL in every other row.
    int lateColumns = 0;
    QString lateWhere;
};

// One page of a list: the counts the page counter shows and the rows of the page asked for.
struct Page
{
    qint64 page = 1;         // the page the rows belong to
    qint64 pageCount = 0;    // ceil(recordCount / rows per page)
    qint64 recordCount = 0;
    QList<QVariantList> rows;
};

qint64 PageCountFor(qint64 records, int rowsPerPage);
// The page a read gives for `page`: 1 for page 0 or below and for an empty list, the last
// page for a page beyond it.
qint64 ClampPage(qint64 page, qint64 records, int rowsPerPage);

// Reads the record count and the rows of one page; never the whole result. A page beyond
// the last (the result shrank since it was shown) gives the last page; page 0 or below
// gives page 1.
Result<Page> ReadPage(const PagedQuery &q, qint64 page, int rowsPerPage);
Result<Page> ReadPage(Connection &c, const PagedQuery &q, qint64 page, int rowsPerPage);

// A list window's reader: it remembers the first and last key of the pages it has read, so
// that the next, previous or same page is found by seeking the key instead of stepping over
// every row before it. What it remembers is dropped when the list's rows may have changed.
class PageReader
{
public:
    Result<Page> read(const PagedQuery &q, qint64 page, int rowsPerPage);
    Result<Page> read(Connection &c, const PagedQuery &q, qint64 page, int rowsPerPage);
    void forget() { m_bounds.clear(); }

private:
    // Key and sort value of the first and last row of a page.
    struct Bounds { QVariant first, last, firstValue, lastValue; };
    QString m_identity;
    QVariant m_version;
    int m_rowsPerPage = 0;
    QMap<qint64, Bounds> m_bounds;
};

// Every row of the list, in list order, one at a time (an export): `row` is called for each
// and stops the read by returning false. Rows are streamed, never held all at once.
Status ReadAllRows(Connection &c, const PagedQuery &q, const std::function<bool(const QVariantList &row)> &row);
// The number of rows of the list, as its page counter shows it.
Result<qint64> CountRows(Connection &c, const PagedQuery &q);

// The statements behind a page, for the benchmark and for tests.
QString CountStatement(const PagedQuery &q);
QString OffsetPageStatement(const PagedQuery &q); // binds: q.binds, LIMIT, OFFSET

} // namespace db
