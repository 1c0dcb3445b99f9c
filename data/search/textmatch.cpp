#include "data/search/textmatch.h"

#include "data/store/location.h"

namespace db {
namespace {

// SQLite refuses LIKE patterns longer than this many bytes.
constexpr qsizetype kLikePatternMax = 50000;

} // namespace

Condition ContainsCondition(const QString &column, const QString &part)
{
    if (ShopLocation::serverInUse()) {
        // The server holds no NUL; the part counts up to its first, as LIKE reads it on the
        // file. lower() of the columns' "C" collation folds A-Z only, and the trigram indexes
        // of the server layout are on this very expression.
        const qsizetype nul = part.indexOf(QChar(0));
        QString escaped = nul < 0 ? part : part.left(nul);
        escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
        escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
        return {QStringLiteral("lower(%1::text) LIKE lower(?) ESCAPE '\\'").arg(column),
                QLatin1Char('%') + escaped + QLatin1Char('%')};
    }
    QString escaped = part;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    const QString pattern = QLatin1Char('%') + escaped + QLatin1Char('%');
    if (pattern.toUtf8().size() <= kLikePatternMax)
        return {QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(column), pattern};
    // LIKE reads both texts only up to a NUL; lower() folds A-Z only, as LIKE does.
    const qsizetype nul = part.indexOf(QChar(0));
    return {QStringLiteral("instr(lower(CASE WHEN instr(%1, char(0)) > 0 THEN substr(%1, 1, instr(%1, char(0)) - 1) "
                           "ELSE %1 END), lower(?)) > 0")
                .arg(column),
            nul < 0 ? part : part.left(nul)};
}

Condition EqualsCondition(const QString &column, const QString &value)
{
    const qsizetype nul = value.indexOf(QChar(0));
    if (nul >= 0 && ShopLocation::serverInUse())
        return {QStringLiteral("%1 = ? AND 1 = 0").arg(column), value.left(nul)};
    return {QStringLiteral("%1 = ?").arg(column), value};
}

} // namespace db
