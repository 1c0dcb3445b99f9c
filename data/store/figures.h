#pragma once
#include <QString>
#include <QStringList>

#include <functional>

#include "data/store/result.h"

namespace db {

class Connection;

// The figures 营业统计 reads, kept up to date by triggers as rows change (counting them at
// 2M rentals took seconds):
//   shop_days        per day (substr of the date, '' for a deposit without one): rentals,
//                    returns, and deposit cents held now by the day taken, taken but since
//                    refunded by the day taken, refunded by the day refunded;
//   title_counts     rentals per title per day (per = 1) and per month (per = 2);
//   customer_rentals rental records per customer, the bound the ranking walks down.
// Money is kept in whole cents so that adding and taking away never drifts.

// SELECTs counting the same figures from the rows, in the kept tables' column order: the
// upgrade fills the tables with them and the checker compares the tables against them.
QString CountedShopDays();        // day, rentals, returns, held, taken_back, refunded
QString CountedTitleCounts();     // per, span, title, n
QString CountedCustomerRentals(); // khid, n
// The INSERTs that file those counts into the empty kept tables (the upgrade, a copied shop).
QStringList FillShopFigures();

// How far a long step of work is: `part` of `parts` done.
using PartDone = std::function<void(int part, int parts)>;

// File layout version 7: the tables, their triggers and indexes, filled from the rows.
Status AddShopFigures(Connection &c, const PartDone &partDone = {});

} // namespace db
