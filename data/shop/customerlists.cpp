#include "data/shop/customerlists.h"

#include "data/store/dates.h"
#include "data/store/formatting.h"

namespace db {
namespace {

// Kept by triggers on table2: list 1 is every customer, list 2 those with discs out.
PagedQuery countedQuery(const QString &where, const QString &counter, int list)
{
    PagedQuery q = CustomerQuery(where);
    q.countSql = QStringLiteral("SELECT %1 FROM list_counts WHERE id = 1").arg(counter);
    q.versionSql = QStringLiteral("SELECT table2_changes FROM list_counts WHERE id = 1");
    q.blocksSql = QStringLiteral("SELECT day, n FROM customer_days WHERE list = %1 AND n > 0 ORDER BY day").arg(list);
    return q;
}

QString cell(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString().trimmed();
}

} // namespace

PagedQuery CustomerQuery(const QString &where, const QVariantList &binds)
{
    PagedQuery q;
    q.columns = QStringLiteral("id,t1,t2,t3,s2,t4,s1,s3");
    q.from = QStringLiteral("table2");
    q.where = where;
    q.binds = binds;
    q.keyOrder = PagedQuery::KeyOrder::Descending;
    q.sortValue = QString::fromLatin1(kCustomerSortValue);
    return q;
}

PagedQuery AllCustomersQuery()
{
    return countedQuery(QStringLiteral("t1 IS NOT NULL"), QStringLiteral("customers"), 1);
}

PagedQuery UnreturnedCustomersQuery()
{
    // Written as the index on these customers is, so that the database uses it.
    return countedQuery(QStringLiteral("t1 IS NOT NULL AND s3 IS NULL AND s2 > 0"), QStringLiteral("customers_out"), 2);
}

QStringList CustomerListCells(const QVariantList &row)
{
    auto at = [&](CustomerListField f) { return f < row.size() ? row.at(f) : QVariant(); };
    return {FormatRecordNumber(at(CL_id).toLongLong()),
            cell(at(CL_t1)),
            cell(at(CL_t2)),
            cell(at(CL_t3)),
            cell(at(CL_s2)),
            cell(at(CL_t4)),
            DisplayDate(at(CL_s1)),
            cell(at(CL_s3)),
            QString()};
}

} // namespace db
