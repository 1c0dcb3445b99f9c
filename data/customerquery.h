#pragma once
#include <QDate>
#include <QString>

#include <optional>

#include "data/pagedquery.h"

namespace db {

// What the customer query asks for. Texts compare without regard to letter case.
struct CustomerCriteria
{
    QString card;      // identity card (t2), the whole value; when given the rest is ignored
    QString name;      // part of the name (t1), anywhere in it; % and _ are not wildcards
    QString cardType;  // card type (t3), the whole value
    // The last rental date (s1) from and up to these days. Absent: that side is open; an
    // invalid date (one that does not exist) selects no customer.
    std::optional<QDate> from, to;

    bool operator==(const CustomerCriteria &) const = default;
};

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
