#pragma once
#include <QString>

namespace db {

// A disc or customer number as shown everywhere: at least six digits, zero-padded.
QString FormatRecordNumber(qint64 n);

} // namespace db
