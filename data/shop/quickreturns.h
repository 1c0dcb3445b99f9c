#pragma once
#include <QList>
#include <QString>
#include <QVariant>

#include "data/store/result.h"

namespace db {

// One record a quick return closed: enough to open it again.
struct ReturnedRecord
{
    qint64 record = 0;
    qint64 disc = 0;
    qint64 customer = 0;
};

// What one 提交 of the quick-return window returned, kept by the window for its undo.
struct QuickReturnReceipt
{
    QString returnedOn; // the return date written, as stored
    QList<ReturnedRecord> returned;
};

// Returns the open rental records given, of any customers, in one transaction, with the
// same effect as the rental status window's return (records, discs, settled customers). A
// record closed meanwhile is left alone and is not in the receipt.
Result<QuickReturnReceipt> QuickReturn(const QList<qint64> &records);

// Opens again the records of a receipt and marks their discs out again, in one
// transaction, as long as every record still carries that return, every disc's slot still
// holds that disc on the shelf, and no disc was rented again since. Otherwise nothing is
// written and the failure says why. Returns the number of records opened.
Result<qint64> UndoQuickReturn(const QuickReturnReceipt &receipt);

} // namespace db
