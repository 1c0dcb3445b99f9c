#pragma once
#include <QStringList>
#include <QVariantList>

#include "data/store/pagedquery.h"

namespace db {

// Columns every customer list selects, in this order.
enum CustomerListField { CL_id, CL_t1, CL_t2, CL_t3, CL_s2, CL_t4, CL_s1, CL_s3 };

// The order of every customer list: last rental date first (a customer never rented has no
// date and comes last), customers of one date by number, highest first, so paging neither
// repeats nor skips a customer.
inline constexpr const char *kCustomerSortValue = "ifnull(s1, '')";

// Every customer (free slots are not customers).
PagedQuery AllCustomersQuery();
// Customers who still have discs out: not settled and with discs rented.
PagedQuery UnreturnedCustomersQuery();
// Customers selected by `where` (bound with `binds`), in the order of the customer lists.
// Without counters of its own the list is counted and stepped through by the database;
// a caller that keeps counts sets countSql/blocksSql on the result.
PagedQuery CustomerQuery(const QString &where, const QVariantList &binds = {});

// The nine cells of a customer list row: number, name, identity card, card type, discs
// rented, deposit, last rental date, settled mark, and an empty last cell. Texts are
// trimmed; NULL gives an empty cell.
QStringList CustomerListCells(const QVariantList &row);

} // namespace db
