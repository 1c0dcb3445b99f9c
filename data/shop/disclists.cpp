#include "data/shop/disclists.h"

#include "data/store/dates.h"
#include "data/store/formatting.h"

namespace db {
namespace {

PagedQuery discQuery(const QString &where, const QString &counter, int blockList)
{
    PagedQuery q;
    q.columns = QStringLiteral("id,t13,t38,t7,t18,t14,t11,t10,t20,s1,s3");
    q.from = QStringLiteral("table1");
    q.where = where;
    q.keyOrder = PagedQuery::KeyOrder::Descending;
    // Kept by triggers on table1, so a page costs no counting however many discs there are.
    q.countSql = QStringLiteral("SELECT %1 FROM list_counts WHERE id = 1").arg(counter);
    q.versionSql = QStringLiteral("SELECT table1_changes FROM list_counts WHERE id = 1");
    q.blocksSql = QStringLiteral("SELECT block, n FROM list_blocks WHERE list = %1 AND n > 0 ORDER BY block")
                      .arg(blockList);
    // s1 and s3 come after the cover in the row; only a disc out has them (a rental sets
    // both, a return or a delete clears both), and the index table1_out finds those.
    q.lateColumns = 2;
    q.lateWhere = QStringLiteral("t13 IS NOT NULL AND s3 IS NOT NULL");
    return q;
}

QString cell(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString().trimmed();
}

} // namespace

PagedQuery AllDiscsQuery()
{
    return discQuery(QStringLiteral("t13 IS NOT NULL"), QStringLiteral("discs"), 1);
}

PagedQuery RentedDiscsQuery()
{
    return discQuery(QStringLiteral("t13 IS NOT NULL AND s3 IS NOT NULL"), QStringLiteral("discs_out"), 2);
}

QStringList DiscListCells(const QVariantList &row, const QDate &today)
{
    auto at = [&](DiscListField f) { return f < row.size() ? row.at(f) : QVariant(); };
    QString days;
    if (const auto d = DaysBetween(at(DL_s1), today))
        days = QString::number(*d);
    return {FormatRecordNumber(at(DL_id).toLongLong()),
            cell(at(DL_t38)),
            cell(at(DL_t13)),
            cell(at(DL_t14)),
            cell(at(DL_t11)),
            cell(at(DL_t7)),
            cell(at(DL_t10)),
            cell(at(DL_t18)),
            cell(at(DL_t20)),
            days,
            cell(at(DL_s3))};
}

} // namespace db
