#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

#include "data/store/pagedquery.h"
#include "data/store/result.h"

namespace db {

class Connection;

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


// The customer search index (see data/search/termindex.h): every customer is filed under each run
// of one to four characters of its name (ASCII letters in lower case, as LIKE compares
// them), its card type (as NOCASE compares it), and its last rental date and that date's
// month ('' for a customer never rented). Triggers on table2 log every change. A page of
// customers is found in the order of the customer lists by counting the result month by
// month and day by day, newest first.

// The layout step: change log, triggers, and bitmaps built from the customers already stored.
Status CreateCustomerIndex(Connection &c);
// Rebuilds the stored bitmaps from table2 and empties the log (after a bulk load).
Status RebuildCustomerIndex(Connection &c);

// Whether criteria are answered by the index: no identity card, and a name part or a card type.
bool CustomerIndexServes(const CustomerCriteria &criteria);

// The count and the keys of one page (last rental first, then highest number) of the
// customers the criteria select. `where` and `binds` are the criteria's plain statement;
// parts of a name longer than the index's terms check their candidates with it.
Result<KeyPage> FindCustomers(Connection &c, const CustomerCriteria &criteria, const QString &where,
                              const QVariantList &binds, qint64 page, int rowsPerPage);

// Folds every logged change into the stored bitmaps now.
Status CompactCustomerIndex(Connection &c);
// Compares the index with table2 without writing; one line per term and block that differs.
Status CheckCustomerIndex(Connection &c, QStringList &breaches);

} // namespace db
