#pragma once
#include <QString>

#include "data/store/figures.h"
#include "data/store/result.h"

namespace db {

class Connection;

// Rental records per customer per year, one row per customer and year, kept by triggers on
// table4 like the other figures (figures.h). The customer ranking of a period within one
// year walks the customers down the records of the months the period touches: a customer's
// records in the period are at most those, and one pass over a year's rows finds the few
// customers worth counting exactly. The months are kept as running totals, so that any run
// of months is a difference of two columns:
//   year        the rental date's first four characters
//   upto01…12   records of that year up to the end of the month (the date's characters 6–7)
//   odd         records whose month part is none of 01–12; a period may hold them, so they
//               count towards every period of the year
// Rows left at zero by deletes and corrections stay, as the other figures' rows do.
constexpr int kMonthColumns = 13; // odd, upto01..upto12

// The column of the records up to month `m`, or of the odd dates (m = 0).
QString MonthColumn(int m);

// A SELECT counting the same from the rows: year, khid, odd, upto01..upto12; `also` narrows the
// records counted (an SQL condition on table4).
QString CountedCustomerMonths(const QString &also = {});
// The INSERT that files those counts into customer_months (the upgrade, a copied shop).
QString FillCustomerMonths(const QString &also = {});

// File layout version 8 and the matching server step: the table, its triggers (by the
// connection's engine) and its rows counted from table4.
Status AddCustomerMonths(Connection &c, const PartDone &partDone = {});

} // namespace db
