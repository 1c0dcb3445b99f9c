#pragma once
#include <QList>
#include <QtGlobal>

#include "data/shop/slips.h"

class QWidget;

// What other windows and the menus may open of printing.
namespace printing {

// The label window ("打印碟片标签") for the discs given (the selected rows of a list), or,
// with none given, for a range of numbers typed into it.
void OpenDiscLabels(const QList<qint64> &discs = {});
// The label window for customer cards.
void OpenCustomerLabels(const QList<qint64> &customers);

// The counter settings ("柜台设置"): shop name, slips.
void OpenCounterSettings();

// After a rental or a return: prints the slips as the counter setting says (always: at
// once; ask: after a question; never: not at all), through the print dialog, where a PDF
// file may be chosen as well.
void OfferSlips(QWidget *parent, const QList<db::SlipText> &slips);

} // namespace printing
