#pragma once
#include <QDateTime>
#include <QList>
#include <QString>

#include "data/shop/quickreturns.h"
#include "data/store/result.h"

namespace db {

// What a rental slip says, read back from the file after a rental or a return.
struct SlipText
{
    QString kind;          // "租碟单" or "还碟单"
    QDateTime when;
    qint64 customer = 0;
    QString customerName;
    struct Disc
    {
        qint64 number = 0;
        QString title;
    };
    QList<Disc> discs;
    qint64 depositTaken = 0;    // taken with this rental
    qint64 depositRefunded = 0; // refunded today, on a return slip
    QString clerk;              // the logged-in user
};

// The slip of a rental just committed: the customer, the discs rented today from the list
// given, and the deposit when it was taken today.
Result<SlipText> RentalSlip(qint64 customer, const QList<qint64> &discs);
// One slip per customer of a return (the quick return's receipt, or the records the
// status window closed).
Result<QList<SlipText>> ReturnSlips(const QList<ReturnedRecord> &returned);

} // namespace db
