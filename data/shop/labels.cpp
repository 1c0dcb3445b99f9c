#include "data/shop/labels.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

#include "data/shop/scans.h"
#include "data/store/connection.h"
#include "data/store/formatting.h"

namespace db {
namespace {

LabelText discLabel(const QSqlQuery &r)
{
    const qint64 id = r.value(0).toLongLong();
    return {DiscCode(id), FormatRecordNumber(id), r.value(1).toString().trimmed(), r.value(2).toString().trimmed()};
}

// Rows of the ids one statement at a time: a selection may be larger than SQLite's limit
// of bound values.
template <class Make>
Result<QList<LabelText>> byIds(const QString &sql, const QList<qint64> &ids, Make make)
{
    Connection c;
    if (!c.ok())
        return c.status();
    QSqlQuery q = c.query();
    if (!q.prepare(sql))
        return c.failure(q.lastError());
    QList<LabelText> out;
    for (const qint64 id : ids) {
        q.bindValue(0, id);
        if (Status s = c.execPrepared(q); !s)
            return s;
        if (q.next())
            out << make(q);
        q.finish();
    }
    return out;
}

} // namespace

Result<QList<LabelText>> DiscLabels(const QList<qint64> &ids)
{
    return byIds(QStringLiteral("SELECT id, t13, t38 FROM table1 WHERE id = ? AND t13 IS NOT NULL"), ids, discLabel);
}

Result<QList<LabelText>> DiscLabelRange(qint64 from, qint64 to)
{
    Connection c;
    if (!c.ok())
        return c.status();
    auto q = c.run(QStringLiteral("SELECT id, t13, t38 FROM table1 WHERE id BETWEEN ? AND ? AND t13 IS NOT NULL ORDER BY id"),
                   {from, to});
    if (!q)
        return q.status();
    QList<LabelText> out;
    while (q.value().next())
        out << discLabel(q.value());
    return out;
}

Result<QList<LabelText>> CustomerLabels(const QList<qint64> &ids)
{
    return byIds(QStringLiteral("SELECT id, t1 FROM table2 WHERE id = ? AND t1 IS NOT NULL"), ids, [](const QSqlQuery &r) {
        const qint64 id = r.value(0).toLongLong();
        return LabelText{CustomerCode(id), CustomerCode(id), r.value(1).toString().trimmed(), QString()};
    });
}

} // namespace db
