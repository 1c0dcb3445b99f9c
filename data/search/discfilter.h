#pragma once
#include <QString>

#include "data/store/pagedquery.h"

namespace db {

// Which discs a filter lets through by their rental state.
enum class RentalState { Any, OnShelf, Out };

// The criteria by which the rentable-disc picker and the disc query find discs. Free slots
// are never discs. Texts are compared without regard to letter case; what the clerk typed
// matches literally (% and _ are not wildcards).
struct DiscFilter
{
    qint64 number = 0;  // 1 or more: only this disc; the texts below are then ignored
    QString title;      // part of t13, anywhere in it
    QString starring;   // part of t14
    QString director;   // part of t11
    QString media;      // t18, the whole value
    QString category;   // t20, the whole value
    QString country;    // t10, the whole value
    RentalState state = RentalState::Any; // applies with a number too
};

// The discs the filter selects, newest first, with the columns of the disc lists
// (DiscListField order). Empty texts select nothing by themselves. Its where/binds are the
// plain statement; a page is found through the disc index (data/search/discindex.h) or the list
// counters, never by scanning the discs.
PagedQuery DiscFilterQuery(const DiscFilter &filter);

} // namespace db
