#pragma once
#include <QDate>
#include <QDateTime>

namespace db {

// The one source of "now" for every rule that stamps or compares dates; tests pin it.
class Clock
{
public:
    static QDateTime now();
    static QDate today() { return now().date(); }
    static void setFixed(const QDateTime &when); // an invalid value returns to the real clock
};

} // namespace db
