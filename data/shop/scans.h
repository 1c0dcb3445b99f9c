#pragma once
#include <QDate>
#include <QString>
#include <QVariant>

#include <optional>

#include "data/shop/rentals.h"
#include "data/store/result.h"

namespace db {

// What a scanner typed: a disc number (digits only), a customer card (the letter C and
// digits), or something that is neither.
struct ScanCode
{
    enum class Kind { Disc, Customer, Invalid };
    Kind kind = Kind::Invalid;
    qint64 number = 0;
};
ScanCode ParseScanCode(const QString &typed);

// The letter a customer card's barcode starts with: a scan tells a card from a disc.
inline constexpr char kCustomerCodeLetter = 'C';
// The text a label's barcode carries.
QString DiscCode(qint64 disc);
QString CustomerCode(qint64 customer);

// A disc's open rental record, as the quick-return window lists it.
struct OpenRental
{
    qint64 record = 0;
    qint64 disc = 0;
    qint64 customer = 0;
    QString title;          // table4.discname
    QString customerName;   // table2.t1
    QVariant rented;        // table4.s1 as stored
    std::optional<qint64> days; // to today
};

// A scanned disc as it is now.
struct DiscScan
{
    enum class State { Rentable, Out, Deleted, Unknown };
    qint64 id = 0;
    State state = State::Unknown;
    PreRentDisc disc;                 // when rentable
    QString renter;                   // table1.s3 when out
    QVariant since;                   // table1.s1 when out
    std::optional<OpenRental> open;   // the open record when out
};

// Reads one disc by number: a slot without a title is a deleted disc, a number without a
// slot an unknown one. Days out are counted to `today`.
Result<DiscScan> ScanDisc(qint64 id, const QDate &today);

// The short line a window shows for a disc that cannot be rented or returned.
QString ScanRefusal(const DiscScan &scan);

} // namespace db
