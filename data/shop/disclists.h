#pragma once
#include <QDate>
#include <QStringList>
#include <QVariantList>

#include "data/store/pagedquery.h"

namespace db {

// Columns every disc list selects, in this order.
enum DiscListField { DL_id, DL_t13, DL_t38, DL_t7, DL_t18, DL_t14, DL_t11, DL_t10, DL_t20, DL_s1, DL_s3 };

// Every disc in the catalogue (free slots are not discs), newest first.
PagedQuery AllDiscsQuery();
// Discs out with a customer, newest first.
PagedQuery RentedDiscsQuery();

// The eleven cells of a disc list row: number, shelf, title, starring, director, set size,
// country, media, category, days out (from s1 to today; empty when not out), customer.
// Texts are trimmed; NULL gives an empty cell.
QStringList DiscListCells(const QVariantList &row, const QDate &today);

} // namespace db
