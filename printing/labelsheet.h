#pragma once
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include "data/shop/labels.h"
#include "data/store/progress.h"
#include "data/store/result.h"

class QFontMetricsF;
class QPainter;
class QPagedPaintDevice;

namespace printing {

// Where labels sit on a page, in millimetres.
struct LabelLayout
{
    QString key;       // stored in the settings
    QString caption;   // as the label window offers it
    QSizeF page;       // the page (a sheet, or one label of a roll)
    int columns = 1, rows = 1;
    QSizeF label;      // one label
    QPointF origin;    // top left corner of the first label
    QSizeF pitch;      // from one label to the next, across and down
};

// A4 sheets of 3 × 8 labels of 70 × 37 mm, and single 50 × 30 mm labels of a roll printer.
const QList<LabelLayout> &LabelLayouts();
const LabelLayout &LabelLayoutByKey(const QString &key); // the first one for an unknown key

struct LabelJob
{
    LabelLayout layout;
    QList<db::LabelText> labels;
    int offset = 0; // labels already used on the first sheet
};

int LabelsPerPage(const LabelLayout &layout);
int PageCount(const LabelJob &job);

// One label drawn in rect (device units, dotsPerMm of them to a millimetre).
void PaintLabel(QPainter &p, const QRectF &rect, double dotsPerMm, const db::LabelText &label);
// Page `page` (from 0) of the job, the painter's origin at the page's top left corner.
void PaintLabelPage(QPainter &p, const LabelJob &job, int page, double dotsPerMm);
// Every page of the job on a paged device (a PDF writer or a printer) at its resolution,
// reporting each page; false when stopped.
bool PaintLabelPages(QPainter &p, QPagedPaintDevice &device, const LabelJob &job, db::Progress &progress);

// The job as a PDF file, written whole or not at all.
db::Status WriteLabelsPdf(const QString &path, const LabelJob &job, db::Progress &progress);
// One page as an image at dpi, white background: what the printed page looks like.
QImage RenderLabelPage(const LabelJob &job, int page, int dpi);

// The longest start of text, cut at a whole character, that is no wider than width.
QString CutToWidth(const QString &text, const QFontMetricsF &metrics, double width);

} // namespace printing
