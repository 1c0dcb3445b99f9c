#pragma once
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

#include "data/store/result.h"

namespace db {

class Connection;

// One rental record as the rental status window shows it.
struct StatusRow
{
    qint64 record = 0;  // table4.id: what a return acts on
    qint64 disc = 0;    // table4.discid
    QString title;      // table4.discname: the title when it was rented
    QString starring, director, media; // of the disc in the slot now
    QVariant count;     // 碟装 (table1.t7)
    QVariant rented;    // table4.s1 as stored
    std::optional<qint64> days; // to today while out, else to the return or deletion date
    QString mark;       // "", "√", "*" or "√*"
};

// A customer's details, the discs out now and every rental record, newest first.
struct RentalStatus
{
    qint64 customer = 0;
    bool found = false;   // a customer row with that number exists
    QString name, card, cardType, remark;
    QString deposit;      // empty unless a deposit above 0 is held
    bool hasCardType = false;
    bool hasDeposit = false;
    QList<StatusRow> out;     // table4.s2 NULL
    QList<StatusRow> history; // every record
    qint64 discsOut = 0;      // sum of 碟装 over `out`
    qint64 discsRented = 0;   // table2.s2; 0 when the customer has no rental record
};


// Reads everything the status window shows, with day counts up to `today`.
Result<RentalStatus> LoadRentalStatus(qint64 customerId, const QDate &today);
Result<RentalStatus> LoadRentalStatus(qint64 customerId);

// The nine cells of a status grid row: number, title, starring, director, 碟装, media,
// rental date, days, mark.
QStringList StatusCells(const StatusRow &row);

// What a return did.
struct ReturnOutcome
{
    qint64 returned = 0;  // records closed by this call
    bool settled = false; // the customer has no disc out any more and was marked "√"
    QList<qint64> closed; // the records closed, in the order given
};

// Closes the customer's rental records given by number with "√" and today's date, in one
// transaction. A record already closed (returned or deleted meanwhile) is left alone. A disc
// goes back on the shelf only while its slot still holds it: same title, same rental date,
// and no other record of it still open. When the customer has no disc out any more the
// customer is marked settled. No record given changes nothing.
Result<ReturnOutcome> ReturnDiscs(qint64 customerId, const QList<qint64> &records);
// The same return inside the caller's transaction on c (quick returns close the records of
// several customers at once).
Result<ReturnOutcome> ReturnDiscsOn(Connection &c, qint64 customerId, const QList<qint64> &records);

// Moves the customer's deposit into the deposit history (amount, date taken, today) and
// clears it, in one transaction. A customer holding no deposit (none, or already refunded
// from another window) writes nothing: the result is then false. A missing date taken is
// written as an empty date.
Result<bool> RefundDeposit(qint64 customerId);

// Moves the customer's card type into the card history (type, date set, today) and clears
// it, in one transaction. A customer without a card type writes nothing: false.
Result<bool> InvalidateCard(qint64 customerId);

} // namespace db
