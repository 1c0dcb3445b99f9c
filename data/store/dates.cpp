#include "data/store/dates.h"

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

QString LongDisplayDate(const QDate &d)
{
    if (!d.isValid())
        return {};
    return QStringLiteral("%1年%2月%3日").arg(d.year()).arg(d.month()).arg(d.day());
}

QString DisplayDate(const QVariant &stored)
{
    return DisplayDate(fromStoredDate(stored));
}

std::optional<qint64> DaysBetween(const QVariant &from, const QDate &to)
{
    const QDate d = fromStoredDate(from);
    if (!d.isValid())
        return std::nullopt;
    return d.daysTo(to);
}

} // namespace db

namespace db {
namespace {

// A box's text as a number the date can be made of: ASCII digits, at most 32767.
std::optional<int> datePartNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 5)
        return std::nullopt;
    int n = 0;
    for (const QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        n = n * 10 + (c.unicode() - '0');
    }
    if (n > 32767)
        return std::nullopt;
    return n;
}

} // namespace

TypedDate ComposeTypedDate(const QString &year, const QString &month, const QString &day)
{
    const auto y = datePartNumber(year), m = datePartNumber(month), d = datePartNumber(day);
    if (!y || *y < 1 || *y > 9999)
        return {{}, DatePart::Year};
    if (!m)
        return {{}, DatePart::Month};
    if (!d)
        return {{}, DatePart::Day};
    const QDate composed = QDate(*y, 1, 1).addMonths(*m - 1).addDays(qint64(*d) - 1);
    if (!composed.isValid() || composed.day() != *d)
        return {{}, DatePart::Day};
    if (composed.month() != *m)
        return {{}, DatePart::Month};
    return {composed, std::nullopt};
}

} // namespace db
