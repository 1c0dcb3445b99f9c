#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include "data/shop/slips.h"
#include "data/store/result.h"

class QPainter;
class QPrinter;

namespace printing {

// The paper a slip is printed on: a 58 or 80 mm receipt roll, or an A5 sheet.
struct SlipPaper
{
    QString key;
    QString caption;
    double width = 80; // millimetres
    bool sheet = false;
};
const QList<SlipPaper> &SlipPapers();
const SlipPaper &SlipPaperByKey(const QString &key); // 80 mm for an unknown key

// The rows of a slip, top to bottom, as printed.
QStringList SlipRows(const db::SlipText &slip, const QString &shopName);
// The page of the slip in millimetres: the paper's width, as long as the rows need on a
// roll, A5 on a sheet.
QSizeF SlipPageSize(const SlipPaper &paper, int rows);
// The rows drawn on a page of that size, dotsPerMm device units to a millimetre; a row
// too wide for the paper is cut at a whole character.
void PaintSlip(QPainter &p, const SlipPaper &paper, const QStringList &rows, double dotsPerMm);

db::Status WriteSlipPdf(const QString &path, const SlipPaper &paper, const QStringList &rows);
void PrintSlip(QPrinter &printer, const SlipPaper &paper, const QStringList &rows);

} // namespace printing
