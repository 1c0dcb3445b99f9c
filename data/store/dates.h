#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>

namespace db {

// Dates are stored as ISO text so that text order is date order.
QString toStoredDate(const QDate &d);                 // yyyy-MM-dd
QString toStoredDateTime(const QDateTime &dt);        // yyyy-MM-dd HH:mm:ss
QDate fromStoredDate(const QVariant &v);              // invalid for NULL or bad text

// How every window shows a stored date; empty for NULL.
QString DisplayDate(const QVariant &stored);
QString DisplayDate(const QDate &d);
// A date written out in words, without leading zeros: 2005年10月6日.
QString LongDisplayDate(const QDate &d);

// Calendar days from a stored date to another date; nullopt when the stored value is empty.
std::optional<qint64> DaysBetween(const QVariant &from, const QDate &to);

} // namespace db

namespace db {

// A date typed into three boxes (year, month, day), as the query windows take it.
enum class DatePart { Year, Month, Day };

struct TypedDate
{
    QDate date;                       // valid when the date exists as typed
    std::optional<DatePart> wrong;    // the box to correct otherwise
};

// Composes the date the way the boxes mean it: a day or month beyond its range rolls into
// the next month or year and day 0 is the last day of the month before; the date exists
// when the composed day and month are the ones typed (day checked first). A part that is
// not a whole number of at most 32767, or a year outside 1..9999 (stored dates are four-digit
// years), is wrong itself.
TypedDate ComposeTypedDate(const QString &year, const QString &month, const QString &day);

} // namespace db
