#pragma once
#include <QList>
#include <QString>

#include "data/store/result.h"

namespace db {

// What one label carries: the text its barcode encodes, the number in digits, the title
// and the slot (empty on a customer card).
struct LabelText
{
    QString code;
    QString number;
    QString title;
    QString slot;
};

// The labels of the discs given, in the order given; a number without a disc (deleted or
// unknown) gets no label.
Result<QList<LabelText>> DiscLabels(const QList<qint64> &ids);
// The labels of every disc numbered from..to, in number order.
Result<QList<LabelText>> DiscLabelRange(qint64 from, qint64 to);
// Customer cards: the code starts with the customer letter, the title is the name.
Result<QList<LabelText>> CustomerLabels(const QList<qint64> &ids);

} // namespace db
