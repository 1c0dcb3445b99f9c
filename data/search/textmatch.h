#pragma once
#include <QString>
#include <QVariant>

namespace db {

// "The column holds this part anywhere", letter case of A-Z ignored and the part's own % and
// _ taken literally, as LIKE compares: up to the first NUL of the column and of the part.
// A part too long for a LIKE pattern is compared by instr() with the same meaning.
struct Condition
{
    QString sql; // with one ? for bind
    QVariant bind;
};
Condition ContainsCondition(const QString &column, const QString &part);
// "The column holds this value", as = compares it on the engine in use. A server holds no
// NUL (a statement cannot even carry one), so there a value holding one matches nothing.
Condition EqualsCondition(const QString &column, const QString &value);

} // namespace db
