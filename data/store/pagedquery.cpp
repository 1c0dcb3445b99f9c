#include "data/store/pagedquery.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <optional>

#include "data/store/connection.h"

namespace db {
namespace {

using KeyOrder = PagedQuery::KeyOrder;

QString whereClause(const PagedQuery &q)
{
    return q.where.trimmed().isEmpty() ? QString() : QStringLiteral(" WHERE (") + q.where + QLatin1Char(')');
}

// The bound goes first: of two bounds on the same indexed value the database searches by the
// first it meets, and a page's bound is narrower than a range in the list's own condition.
QString andClause(const PagedQuery &q, const QString &more)
{
    return q.where.trimmed().isEmpty() ? QStringLiteral(" WHERE ") + more
                                       : QStringLiteral(" WHERE ") + more + QStringLiteral(" AND (") + q.where + QLatin1Char(')');
}

QString orderClause(const PagedQuery &q, bool reversed = false)
{
    if (q.keyOrder == KeyOrder::Other)
        return q.orderBy;
    const bool descending = (q.keyOrder == KeyOrder::Descending) != reversed;
    const QString direction = descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC");
    if (q.sortValue.isEmpty())
        return q.key + direction;
    return q.sortValue + direction + QStringLiteral(", ") + q.key + direction;
}

bool sorted(const PagedQuery &q)
{
    return !q.sortValue.isEmpty() && q.keyOrder != KeyOrder::Other;
}

// A list ordered by a value ahead of the key reads that value as an extra last column,
// so that a reader can seek from the rows it has shown.
QString selectList(const PagedQuery &q)
{
    return sorted(q) ? q.columns + QStringLiteral(",") + q.sortValue : q.columns;
}

// A page: up to `limit` rows after skipping `offset`, in list order or reversed. The skip
// walks the keys alone (an index for an indexed order); only the page's rows are read in
// full, because disc rows carry cover pictures.
QString offsetStatement(const PagedQuery &q, bool reversed, const QString &keyBound = {})
{
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (SELECT %3 FROM %2%4 ORDER BY %5 LIMIT ? OFFSET ?) "
                          "ORDER BY %5")
        .arg(selectList(q), q.from, q.key, keyBound.isEmpty() ? whereClause(q) : andClause(q, keyBound),
             orderClause(q, reversed));
}

// Where the rows to skip end: the first key of the block that holds the row after them (the
// block's value, for a list ordered by a value), and how many rows of that block still have
// to be skipped. Empty when the blocks do not cover the skip (they are kept by the database,
// so that means the list changed under us).
struct BlockStart
{
    QVariant bound;
    qint64 skip = 0;
};

std::optional<BlockStart> blockStart(Connection &c, const PagedQuery &q, bool ascending, qint64 skip)
{
    auto rows = c.run(q.blocksSql, q.blocksBinds);
    if (!rows)
        return std::nullopt;
    QList<std::pair<QVariant, qint64>> blocks;
    while (rows.value().next())
        blocks.append({rows.value().value(0), rows.value().value(1).toLongLong()});
    if (!ascending)
        std::reverse(blocks.begin(), blocks.end());
    qint64 before = 0;
    for (const auto &[block, n] : std::as_const(blocks)) {
        if (before + n > skip) {
            if (sorted(q))
                return BlockStart{block, skip - before};
            const int shift = PagedQuery::BlockShift;
            const qint64 b = block.toLongLong();
            return BlockStart{ascending ? b << shift : ((b + 1) << shift) - 1, skip - before};
        }
        before += n;
    }
    return std::nullopt;
}

// A page next to a remembered row: rows strictly after (or from) it in the given direction.
// Binds: the row's key (before it twice its sort value in a list ordered by one), then the
// list's own.
QString seekStatement(const PagedQuery &q, bool reversed, bool inclusive)
{
    // Rows after the key in list order lie below it in a descending order.
    const bool below = (q.keyOrder == KeyOrder::Descending) != reversed;
    const QString op = below ? (inclusive ? QStringLiteral("<=") : QStringLiteral("<"))
                             : (inclusive ? QStringLiteral(">=") : QStringLiteral(">"));
    QString condition = q.key + op + QLatin1Char('?');
    if (sorted(q)) {
        // Spelled out rather than as a row value, so that the index on the expression
        // bounds the search.
        const QString strict = below ? QStringLiteral("<") : QStringLiteral(">");
        condition = QStringLiteral("%1 %2= ? AND (%1 %2 ? OR %3)").arg(q.sortValue, strict, condition);
    }
    return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT ?")
        .arg(selectList(q), q.from, andClause(q, condition), orderClause(q, reversed));
}

QVariantList seekBinds(const PagedQuery &q, const QVariant &key, const QVariant &value, int rowsPerPage)
{
    QVariantList binds;
    if (sorted(q))
        binds << value << value;
    binds << key << q.binds << rowsPerPage;
    return binds;
}

// Sort values of the first and last row read, for lists ordered by one.
struct EdgeValues
{
    QVariant first, last;
};

Status readRows(Connection &c, const PagedQuery &q, const QString &sql, const QVariantList &binds, bool reversed,
                Page &out, EdgeValues *edges = nullptr)
{
    auto rows = c.run(sql, binds);
    if (!rows)
        return rows.status();
    QSqlQuery &r = rows.value();
    const bool withValue = sorted(q);
    const int columns = r.record().count() - (withValue ? 1 : 0);
    QVariantList values;
    while (r.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row << r.value(i);
        out.rows << row;
        if (withValue)
            values << r.value(columns);
    }
    if (reversed) {
        std::reverse(out.rows.begin(), out.rows.end());
        std::reverse(values.begin(), values.end());
    }
    if (edges && !values.isEmpty())
        *edges = EdgeValues{values.first(), values.last()};
    return {};
}

Result<qint64> countRows(Connection &c, const PagedQuery &q)
{
    const bool own = !q.countSql.isEmpty();
    auto n = c.scalar(CountStatement(q), own ? q.countBinds : q.binds);
    if (!n)
        return n.status();
    return n->toLongLong();
}

Page emptyPage(qint64 records, qint64 page, int rowsPerPage)
{
    Page p;
    p.recordCount = records;
    p.pageCount = PageCountFor(records, rowsPerPage);
    p.page = ClampPage(page, records, rowsPerPage);
    return p;
}

// A page whose keys an index found: the rows are read by key, in list order.
Result<Page> readFoundPage(Connection &c, const PagedQuery &q, qint64 page, int rowsPerPage)
{
    auto found = q.finder(c, page, rowsPerPage);
    if (!found)
        return found.status();
    Page out = emptyPage(found->recordCount, found->page, rowsPerPage);
    if (found->keys.isEmpty())
        return out;
    QStringList marks;
    for (qsizetype i = 0; i < found->keys.size(); ++i)
        marks << QStringLiteral("?");
    const QString inKeys = q.key + QStringLiteral(" IN (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    QVariantList binds = q.binds;
    binds += found->keys;
    // The rows are checked against the list's own condition once more, so a page never
    // shows a row that does not belong to the list.
    const QString where = q.where.trimmed().isEmpty()
                              ? QStringLiteral(" WHERE ") + inKeys
                              : QStringLiteral(" WHERE (") + q.where + QStringLiteral(") AND ") + inKeys;
    const QString order = orderClause(q);
    if (Status s = readRows(c, q, QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4").arg(selectList(q), q.from, where, order),
                            binds, false, out);
        !s)
        return s;
    return out;
}

// Reads the rows of out.page by offset, from whichever end of the list is nearer when the
// order can be reversed.
Status readByOffset(Connection &c, const PagedQuery &q, int rowsPerPage, Page &out, EdgeValues *edges = nullptr)
{
    const qint64 offset = (out.page - 1) * rowsPerPage;
    const qint64 take = std::min<qint64>(rowsPerPage, out.recordCount - offset);
    const qint64 fromEnd = out.recordCount - offset - take;
    const bool reversed = q.keyOrder != KeyOrder::Other && fromEnd < offset;
    const qint64 limit = reversed ? take : qint64(rowsPerPage);
    qint64 skip = reversed ? fromEnd : offset;
    QString keyBound;
    QVariantList binds;
    if (!q.blocksSql.isEmpty() && q.keyOrder != KeyOrder::Other && skip >= (qint64(1) << PagedQuery::BlockShift)) {
        const bool ascending = (q.keyOrder == KeyOrder::Ascending) != reversed;
        if (const auto start = blockStart(c, q, ascending, skip)) {
            keyBound = (sorted(q) ? q.sortValue : q.key) + (ascending ? QStringLiteral(" >= ?") : QStringLiteral(" <= ?"));
            binds << start->bound;
            skip = start->skip;
        }
    }
    binds << q.binds << limit << skip;
    return readRows(c, q, offsetStatement(q, reversed, keyBound), binds, reversed, out, edges);
}

} // namespace

qint64 PageCountFor(qint64 records, int rowsPerPage)
{
    if (records <= 0 || rowsPerPage <= 0)
        return 0;
    return (records + rowsPerPage - 1) / rowsPerPage;
}

qint64 ClampPage(qint64 page, qint64 records, int rowsPerPage)
{
    return std::max<qint64>(1, std::min(page, std::max<qint64>(1, PageCountFor(records, rowsPerPage))));
}

QString CountStatement(const PagedQuery &q)
{
    if (!q.countSql.isEmpty())
        return q.countSql;
    return QStringLiteral("SELECT count(*) FROM %1%2").arg(q.from, whereClause(q));
}

Result<qint64> CountRows(Connection &c, const PagedQuery &q)
{
    if (q.finder) {
        auto found = q.finder(c, 1, 1);
        if (!found)
            return found.status();
        return found->recordCount;
    }
    return countRows(c, q);
}

namespace {

// Two passes in key order, merged: the early columns of every row, and the late columns of
// the few rows where they may be set (their rows are among the first pass's rows).
Status readWithLateColumns(Connection &c, const PagedQuery &q, const std::function<bool(const QVariantList &row)> &row)
{
    QStringList early = q.columns.split(QLatin1Char(','));
    const QStringList late = early.mid(early.size() - q.lateColumns);
    early.resize(early.size() - q.lateColumns);
    const QString order = orderClause(q);
    auto lateRows = c.run(QStringLiteral("SELECT %1, %2 FROM %3%4 ORDER BY %5")
                              .arg(q.key, late.join(QLatin1Char(',')), q.from, andClause(q, QLatin1Char('(') + q.lateWhere + QLatin1Char(')')), order),
                          q.binds);
    if (!lateRows)
        return lateRows.status();
    QSqlQuery &l = lateRows.value();
    // Opened second, so that both statements read as of the same moment inside a transaction
    // the caller may hold; without one each reads the file as it is.
    auto rows = c.run(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4").arg(early.join(QLatin1Char(',')), q.from, whereClause(q), order),
                      q.binds);
    if (!rows)
        return rows.status();
    QSqlQuery &r = rows.value();
    const bool descending = q.keyOrder == PagedQuery::KeyOrder::Descending;
    bool lateHere = l.next();
    const int columns = int(early.size());
    while (r.next()) {
        QVariantList values;
        values.reserve(columns + q.lateColumns);
        for (int i = 0; i < columns; ++i)
            values << r.value(i);
        const qint64 key = values.first().toLongLong();
        // A late row whose key the first pass has gone past (written meanwhile) is skipped.
        while (lateHere && (descending ? l.value(0).toLongLong() > key : l.value(0).toLongLong() < key))
            lateHere = l.next();
        const bool match = lateHere && l.value(0).toLongLong() == key;
        for (int i = 0; i < q.lateColumns; ++i)
            values << (match ? l.value(i + 1) : QVariant());
        if (!row(values))
            return {};
    }
    if (r.lastError().isValid())
        return c.failure(r.lastError());
    if (l.lastError().isValid())
        return c.failure(l.lastError());
    return {};
}

} // namespace

Status ReadAllRows(Connection &c, const PagedQuery &q, const std::function<bool(const QVariantList &row)> &row)
{
    if (q.finder) {
        // The index finds keys a page at a time; large pages keep the lookups few.
        constexpr int kRows = 1000;
        for (qint64 page = 1;; ++page) {
            auto read = readFoundPage(c, q, page, kRows);
            if (!read)
                return read.status();
            for (const QVariantList &r : std::as_const(read->rows)) {
                if (!row(r))
                    return {};
            }
            if (read->page < page || page >= read->pageCount)
                return {};
        }
    }
    if (q.lateColumns > 0 && q.keyOrder != KeyOrder::Other && q.sortValue.isEmpty())
        return readWithLateColumns(c, q, row);
    auto rows = c.run(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4").arg(q.columns, q.from, whereClause(q), orderClause(q)),
                      q.binds);
    if (!rows)
        return rows.status();
    QSqlQuery &r = rows.value();
    const int columns = r.record().count();
    while (r.next()) {
        QVariantList values;
        values.reserve(columns);
        for (int i = 0; i < columns; ++i)
            values << r.value(i);
        if (!row(values))
            return {};
    }
    if (r.lastError().isValid())
        return c.failure(r.lastError());
    return {};
}

QString OffsetPageStatement(const PagedQuery &q)
{
    return offsetStatement(q, false);
}

// The counts of a page and the page number they allow, without its rows yet.
Result<Page> countedPage(Connection &c, const PagedQuery &q, qint64 page, int rowsPerPage)
{
    auto count = countRows(c, q);
    if (!count)
        return count.status();
    return emptyPage(*count, page, rowsPerPage);
}

Result<Page> ReadPage(Connection &c, const PagedQuery &q, qint64 page, int rowsPerPage)
{
    if (rowsPerPage <= 0)
        return Status::failure(QStringLiteral("每页行数必须大于零。"));
    if (q.finder)
        return readFoundPage(c, q, page, rowsPerPage);
    auto counted = countedPage(c, q, page, rowsPerPage);
    if (!counted)
        return counted;
    Page out = counted.value();
    if (out.recordCount == 0)
        return out;
    if (Status s = readByOffset(c, q, rowsPerPage, out); !s)
        return s;
    return out;
}

Result<Page> ReadPage(const PagedQuery &q, qint64 page, int rowsPerPage)
{
    Connection c;
    if (!c.ok())
        return c.status();
    return ReadPage(c, q, page, rowsPerPage);
}

Result<Page> PageReader::read(Connection &c, const PagedQuery &q, qint64 page, int rowsPerPage)
{
    if (rowsPerPage <= 0)
        return Status::failure(QStringLiteral("每页行数必须大于零。"));
    if (q.keyOrder == KeyOrder::Other || q.versionSql.isEmpty() || q.finder)
        return ReadPage(c, q, page, rowsPerPage);

    // Remembered keys hold only for the same rows: same statement, same values, no change since.
    QString identity = c.path() + QLatin1Char('\n') + q.columns + QLatin1Char('\n') + q.from + QLatin1Char('\n') + q.where + QLatin1Char('\n')
                       + orderClause(q);
    for (const QVariantList *binds : {&q.binds, &q.countBinds, &q.blocksBinds}) {
        identity += QLatin1Char('\n');
        for (const QVariant &b : *binds)
            identity += QLatin1Char('\n') + b.toString();
    }
    auto version = c.scalar(q.versionSql);
    if (!version)
        return version.status();
    if (identity != m_identity || *version != m_version || rowsPerPage != m_rowsPerPage) {
        m_bounds.clear();
        m_identity = identity;
        m_version = *version;
        m_rowsPerPage = rowsPerPage;
    }

    auto counted = countedPage(c, q, page, rowsPerPage);
    if (!counted)
        return counted;
    Page out = counted.value();
    if (out.recordCount == 0)
        return out;

    Status s;
    EdgeValues edges;
    if (auto same = m_bounds.constFind(out.page); same != m_bounds.cend()) {
        s = readRows(c, q, seekStatement(q, false, true), seekBinds(q, same->first, same->firstValue, rowsPerPage),
                     false, out, &edges);
    } else if (auto before = m_bounds.constFind(out.page - 1); before != m_bounds.cend()) {
        s = readRows(c, q, seekStatement(q, false, false), seekBinds(q, before->last, before->lastValue, rowsPerPage),
                     false, out, &edges);
    } else if (auto after = m_bounds.constFind(out.page + 1); after != m_bounds.cend()) {
        s = readRows(c, q, seekStatement(q, true, false), seekBinds(q, after->first, after->firstValue, rowsPerPage),
                     true, out, &edges);
    } else {
        s = readByOffset(c, q, rowsPerPage, out, &edges);
    }
    if (!s)
        return s;
    if (!out.rows.isEmpty())
        m_bounds.insert(out.page, Bounds{out.rows.first().first(), out.rows.last().first(), edges.first, edges.last});
    return out;
}

Result<Page> PageReader::read(const PagedQuery &q, qint64 page, int rowsPerPage)
{
    Connection c;
    if (!c.ok())
        return c.status();
    return read(c, q, page, rowsPerPage);
}

} // namespace db
