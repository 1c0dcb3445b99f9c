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

// A date in words, as the rental windows show today: 2005年10月6日 (no leading zeros).
QString DisplayLongDate(const QDate &d);

// Calendar days from a stored date to another date; nullopt when the stored value is empty.
std::optional<qint64> DaysBetween(const QVariant &from, const QDate &to);

} // namespace db
