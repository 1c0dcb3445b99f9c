#include "data/pagedquery.h"

#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <optional>

#include "data/connection.h"

namespace db {
namespace {

using KeyOrder = PagedQuery::KeyOrder;

QString whereClause(const PagedQuery &q)
{
    return q.where.trimmed().isEmpty() ? QString() : QStringLiteral(" WHERE (") + q.where + QLatin1Char(')');
}

QString andClause(const PagedQuery &q, const QString &more)
{
    return q.where.trimmed().isEmpty() ? QStringLiteral(" WHERE ") + more
                                       : QStringLiteral(" WHERE (") + q.where + QStringLiteral(") AND ") + more;
}

QString orderClause(const PagedQuery &q, bool reversed = false)
{
    switch (q.keyOrder) {
    case KeyOrder::Ascending:
        return q.key + (reversed ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    case KeyOrder::Descending:
        return q.key + (reversed ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
    case KeyOrder::Other:
        break;
    }
    return q.orderBy;
}

// A page: up to `limit` rows after skipping `offset`, in list order or reversed. The skip
// walks the keys alone (an index for an indexed order); only the page's rows are read in
// full, because disc rows carry cover pictures.
QString offsetStatement(const PagedQuery &q, bool reversed, const QString &keyBound = {})
{
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (SELECT %3 FROM %2%4 ORDER BY %5 LIMIT ? OFFSET ?) "
                          "ORDER BY %5")
        .arg(q.columns, q.from, q.key, keyBound.isEmpty() ? whereClause(q) : andClause(q, keyBound),
             orderClause(q, reversed));
}

// Where the rows to skip end: the first key of the block that holds the row after them, and
// how many rows of that block still have to be skipped. Empty when the blocks do not cover
// the skip (they are kept by the database, so that means the list changed under us).
struct BlockStart
{
    qint64 key = 0;
    qint64 skip = 0;
};

std::optional<BlockStart> blockStart(Connection &c, const PagedQuery &q, bool ascending, qint64 skip)
{
    auto rows = c.run(q.blocksSql);
    if (!rows)
        return std::nullopt;
    QList<std::pair<qint64, qint64>> blocks;
    while (rows.value().next())
        blocks.append({rows.value().value(0).toLongLong(), rows.value().value(1).toLongLong()});
    if (!ascending)
        std::reverse(blocks.begin(), blocks.end());
    qint64 before = 0;
    for (const auto &[block, n] : std::as_const(blocks)) {
        if (before + n > skip) {
            const int shift = PagedQuery::BlockShift;
            return BlockStart{ascending ? block << shift : ((block + 1) << shift) - 1, skip - before};
        }
        before += n;
    }
    return std::nullopt;
}

// A page next to a remembered key: rows strictly after (or from) it in the given direction.
QString seekStatement(const PagedQuery &q, bool reversed, bool inclusive)
{
    // Rows after the key in list order lie below it in a descending order.
    const bool below = (q.keyOrder == KeyOrder::Descending) != reversed;
    const QString op = below ? (inclusive ? QStringLiteral("<=") : QStringLiteral("<"))
                             : (inclusive ? QStringLiteral(">=") : QStringLiteral(">"));
    return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT ?")
        .arg(q.columns, q.from, andClause(q, q.key + op + QLatin1Char('?')), orderClause(q, reversed));
}

Status readRows(Connection &c, const QString &sql, const QVariantList &binds, bool reversed, Page &out)
{
    auto rows = c.run(sql, binds);
    if (!rows)
        return rows.status();
    QSqlQuery &r = rows.value();
    const int columns = r.record().count();
    while (r.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row << r.value(i);
        out.rows << row;
    }
    if (reversed)
        std::reverse(out.rows.begin(), out.rows.end());
    return {};
}

Result<qint64> countRows(Connection &c, const PagedQuery &q)
{
    const bool own = !q.countSql.isEmpty();
    auto n = c.scalar(CountStatement(q), own ? QVariantList() : q.binds);
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
    if (Status s = readRows(c, QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4").arg(q.columns, q.from, where, order),
                            binds, false, out);
        !s)
        return s;
    return out;
}

// Reads the rows of out.page by offset, from whichever end of the list is nearer when the
// order can be reversed.
Status readByOffset(Connection &c, const PagedQuery &q, int rowsPerPage, Page &out)
{
    const qint64 offset = (out.page - 1) * rowsPerPage;
    const qint64 take = std::min<qint64>(rowsPerPage, out.recordCount - offset);
    const qint64 fromEnd = out.recordCount - offset - take;
    const bool reversed = q.keyOrder != KeyOrder::Other && fromEnd < offset;
    const qint64 limit = reversed ? take : qint64(rowsPerPage);
    qint64 skip = reversed ? fromEnd : offset;
    QString keyBound;
    QVariantList binds = q.binds;
    if (!q.blocksSql.isEmpty() && q.keyOrder != KeyOrder::Other && skip >= (qint64(1) << PagedQuery::BlockShift)) {
        const bool ascending = (q.keyOrder == KeyOrder::Ascending) != reversed;
        if (const auto start = blockStart(c, q, ascending, skip)) {
            keyBound = q.key + (ascending ? QStringLiteral(" >= ?") : QStringLiteral(" <= ?"));
            binds << start->key;
            skip = start->skip;
        }
    }
    binds << limit << skip;
    return readRows(c, offsetStatement(q, reversed, keyBound), binds, reversed, out);
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
    for (const QVariant &b : q.binds)
        identity += QLatin1Char('\n') + b.toString();
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
    if (auto same = m_bounds.constFind(out.page); same != m_bounds.cend()) {
        QVariantList binds = q.binds;
        binds << same->first << rowsPerPage;
        s = readRows(c, seekStatement(q, false, true), binds, false, out);
    } else if (auto before = m_bounds.constFind(out.page - 1); before != m_bounds.cend()) {
        QVariantList binds = q.binds;
        binds << before->last << rowsPerPage;
        s = readRows(c, seekStatement(q, false, false), binds, false, out);
    } else if (auto after = m_bounds.constFind(out.page + 1); after != m_bounds.cend()) {
        QVariantList binds = q.binds;
        binds << after->first << rowsPerPage;
        s = readRows(c, seekStatement(q, true, false), binds, true, out);
    } else {
        s = readByOffset(c, q, rowsPerPage, out);
    }
    if (!s)
        return s;
    if (!out.rows.isEmpty())
        m_bounds.insert(out.page, Bounds{out.rows.first().first(), out.rows.last().first()});
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
