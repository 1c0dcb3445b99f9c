#include "data/store/formatting.h"

namespace db {

QString FormatRecordNumber(qint64 n)
{
    return QStringLiteral("%1").arg(n, 6, 10, QLatin1Char('0'));
}

} // namespace db
