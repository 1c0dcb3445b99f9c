#pragma once
#include <QSqlQuery>
#include <QList>
#include <QString>

#include <optional>

#include "data/store/result.h"

namespace db {

// A disc as the pre-rent list shows it.
struct PreRentDisc
{
    qint64 id = 0;
    QString shelf;     // t38
    QString title;     // t13, as stored: the commit checks the slot still holds it
    QString starring;  // t14
    QString director;  // t11
    qint64 count = 0;  // t7, discs in the package
    QString country;   // t10
    QString media;     // t18
    QString category;  // t20
};

// The columns a pre-rent disc is read from, in the order PreRentDiscOf reads them.
inline constexpr const char *kPreRentColumns = "id, t13, t38, t7, t18, t14, t11, t10, t20";
// The disc in the current row of a statement that selects kPreRentColumns first.
PreRentDisc PreRentDiscOf(const QSqlQuery &row);

// The discs asked for, in the order asked; a disc that is deleted or out by now is not
// among them but in notRentable.
struct PreRentRead
{
    QList<PreRentDisc> discs;
    QList<qint64> notRentable;
};
Result<PreRentRead> ReadPreRentDiscs(const QList<qint64> &ids);

// A disc of the pre-rent list as the rental commits it: its number and the title shown.
struct PickedDisc
{
    qint64 id = 0;
    QString title;
};

// What the rental window hands to the commit. Texts are trimmed here again.
struct RentalRequest
{
    QString name;      // t1
    QString card;      // t2, identity card: finds an existing customer
    QString cardType;  // t3
    QString deposit;   // t4, digits only
    QString remark;    // t5
    qint64 tagCustomerId = 0; // the customer loaded into the window; 0 for a new one
    QList<PickedDisc> discs;
};

// Saves the customer (found by identity card, else the loaded one, else a new row), writes
// one rental record per disc and marks each disc out, all in one transaction. A disc that
// is no longer rentable refuses the whole commit, naming it; nothing is written then. A
// card type new to the list (letter case ignored) is added to it after the commit. A
// customer found by identity card under another name takes the discs already out along to
// the new name; a deposit of 0 stores no deposit.
// Returns the customer's number.
Result<qint64> CommitRental(const RentalRequest &request);

// A stored customer as the rental window shows it: absent values leave the field as it is.
struct RentalCustomer
{
    qint64 id = 0;
    std::optional<QString> name, card, cardType, deposit, remark;
};
Result<RentalCustomer> LoadRentalCustomer(qint64 id);

// The message that asks for the renter's name.
QString RenterNameMissingMessage();

} // namespace db
