#pragma once
#include <QDate>
#include <QString>

#include <optional>

#include "data/search/customerindex.h"
#include "data/store/pagedquery.h"

namespace db {

// The customers the criteria select, in the order of the customer lists. No criterion
// lists every customer; a from-date after the to-date lists none.
PagedQuery CustomerCriteriaQuery(const CustomerCriteria &criteria);

// The criteria as the query window hands them to its result window: identity card, name,
// card type, from-date and to-date joined by "@@@", a date as year-month-day as typed
// ("--" when not given). Each text and date part is trimmed.
struct TypedCriteria
{
    QString card, name, cardType;
    QString fromYear, fromMonth, fromDay;
    QString toYear, toMonth, toDay;
};
QString CustomerCriteriaText(const TypedCriteria &typed);
// The criteria the typed texts mean, without going through the joined text, which a
// typed "@@@" would split in the wrong place.
CustomerCriteria CustomerCriteriaOf(const TypedCriteria &typed);
// Reads them back. A name holding "@@@" itself keeps it: the fields around it are fixed.
CustomerCriteria ParseCustomerCriteria(const QString &text);

} // namespace db
