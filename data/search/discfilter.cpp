#include "data/search/discfilter.h"

#include "data/search/discindex.h"
#include "data/search/textmatch.h"

namespace db {
PagedQuery DiscFilterQuery(const DiscFilter &f)
{
    PagedQuery q;
    q.columns = QStringLiteral("id,t13,t38,t7,t18,t14,t11,t10,t20,s1,s3");
    q.from = QStringLiteral("table1");
    q.keyOrder = PagedQuery::KeyOrder::Descending;
    QStringList where{QStringLiteral("t13 IS NOT NULL")};
    auto add = [&](const QString &condition, const QVariant &value) {
        where << condition;
        q.binds << value;
    };
    auto addPart = [&](const QString &column, const QString &part) {
        const Condition c = ContainsCondition(column, part);
        add(c.sql, c.bind);
    };
    if (f.number >= 1) {
        add(QStringLiteral("id = ?"), f.number);
    } else {
        if (!f.title.isEmpty())
            addPart(QStringLiteral("t13"), f.title);
        if (!f.starring.isEmpty())
            addPart(QStringLiteral("t14"), f.starring);
        if (!f.director.isEmpty())
            addPart(QStringLiteral("t11"), f.director);
        for (const auto &[column, value] : {std::pair{"t18", &f.media}, std::pair{"t20", &f.category},
                                            std::pair{"t10", &f.country}}) {
            if (!value->isEmpty()) {
                const Condition c = EqualsCondition(QLatin1String(column), *value);
                add(c.sql, c.bind);
            }
        }
    }
    if (f.state == RentalState::OnShelf)
        where << QStringLiteral("s3 IS NULL");
    else if (f.state == RentalState::Out)
        where << QStringLiteral("s3 IS NOT NULL");
    q.where = where.join(QStringLiteral(" AND "));

    if (DiscIndexServes(f)) {
        // Substrings and values are looked up in the disc index, which counts and pages
        // without reading the discs; the statement above stays what the list means.
        q.finder = [f, where = q.where, binds = q.binds](Connection &c, qint64 page, int rowsPerPage) {
            return FindDiscs(c, f, where, binds, page, rowsPerPage);
        };
    } else if (f.number < 1 && f.title.isEmpty() && f.starring.isEmpty() && f.director.isEmpty() && f.media.isEmpty()
               && f.category.isEmpty() && f.country.isEmpty()) {
        // Every disc, or every disc in one rental state: counted and paged by the counters
        // the disc lists keep.
        q.versionSql = QStringLiteral("SELECT table1_changes FROM list_counts WHERE id = 1");
        const char *count = "discs";
        QString blocks = QStringLiteral("SELECT block, n FROM list_blocks WHERE list = 1 AND n > 0 ORDER BY block");
        if (f.state == RentalState::Out) {
            count = "discs_out";
            blocks = QStringLiteral("SELECT block, n FROM list_blocks WHERE list = 2 AND n > 0 ORDER BY block");
        } else if (f.state == RentalState::OnShelf) {
            count = "discs - discs_out";
            blocks = QStringLiteral("SELECT a.block, a.n - coalesce(b.n, 0) FROM list_blocks a "
                                    "LEFT JOIN list_blocks b ON b.list = 2 AND b.block = a.block "
                                    "WHERE a.list = 1 AND a.n - coalesce(b.n, 0) > 0 ORDER BY a.block");
        }
        q.countSql = QStringLiteral("SELECT %1 FROM list_counts WHERE id = 1").arg(QLatin1String(count));
        q.blocksSql = blocks;
    }
    return q;
}

} // namespace db
