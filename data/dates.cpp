#include "data/dates.h"

namespace db {

QString toStoredDate(const QDate &d)
{
    return d.toString(Qt::ISODate);
}

QString toStoredDateTime(const QDateTime &dt)
{
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDate fromStoredDate(const QVariant &v)
{
    if (v.isNull())
        return {};
    const QString text = v.toString().trimmed();
    if (text.isEmpty())
        return {};
    return QDate::fromString(text.left(10), Qt::ISODate);
}

QString DisplayDate(const QDate &d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QString DisplayDate(const QVariant &stored)
{
    return DisplayDate(fromStoredDate(stored));
}

QString DisplayLongDate(const QDate &d)
{
    if (!d.isValid())
        return {};
    return QStringLiteral("%1年%2月%3日").arg(d.year()).arg(d.month()).arg(d.day());
}

std::optional<qint64> DaysBetween(const QVariant &from, const QDate &to)
{
    const QDate d = fromStoredDate(from);
    if (!d.isValid())
        return std::nullopt;
    return d.daysTo(to);
}

} // namespace db
