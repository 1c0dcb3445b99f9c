#pragma once
#include <QList>
#include <QMap>
#include <QString>
#include <QtTest>

#include "data/store/pagedquery.h"

namespace testsupport {

// The record numbers of a page's rows, in order.
inline QList<qint64> IdsOf(const db::Page &p)
{
    QList<qint64> ids;
    for (const QVariantList &r : p.rows)
        ids << r.first().toLongLong();
    return ids;
}

// Reads every page of 30 rows forward ("f"), backward ("b") or each with a reader of its own
// ("o"): every page holds its number and the whole count, reads the same twice, and the pages
// together list exactly `expected`, in order.
inline void WalkEveryPage(const db::PagedQuery &q, const QList<qint64> &expected, const QString &walk)
{
    const qint64 pages = db::PageCountFor(expected.size(), 30);
    QMap<qint64, QList<qint64>> seen;
    db::PageReader reader;
    for (qint64 i = 1; i <= pages; ++i) {
        const qint64 page = walk == QLatin1String("b") ? pages + 1 - i : i;
        auto p = walk == QLatin1String("o") ? db::ReadPage(q, page, 30) : reader.read(q, page, 30);
        QVERIFY2(p.ok(), qPrintable(p.error()));
        QCOMPARE(p->page, page);
        QCOMPARE(p->recordCount, qint64(expected.size()));
        seen.insert(page, IdsOf(*p));
        // Reading the same page again gives the same rows.
        auto again = reader.read(q, page, 30);
        QVERIFY(again.ok());
        QCOMPARE(IdsOf(*again), seen.value(page));
    }
    QList<qint64> listed;
    for (const QList<qint64> &ids : std::as_const(seen))
        listed += ids;
    QCOMPARE(listed, expected);
}

} // namespace testsupport
