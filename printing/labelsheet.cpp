#include "printing/labelsheet.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBoundaryFinder>

#include "printing/barcode.h"

namespace printing {
namespace {

QFont labelFont(double pixels, bool bold = false)
{
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(qMax(1, int(pixels)));
    f.setBold(bold);
    return f;
}

} // namespace

const QList<LabelLayout> &LabelLayouts()
{
    static const QList<LabelLayout> layouts = {
        {QStringLiteral("a4-3x8"), QStringLiteral("A4 标签纸 3×8（70×37 毫米）"), QSizeF(210, 297), 3, 8, QSizeF(70, 37),
         QPointF(0, 0.5), QSizeF(70, 37)},
        {QStringLiteral("roll-50x30"), QStringLiteral("标签打印机 单张（50×30 毫米）"), QSizeF(50, 30), 1, 1, QSizeF(50, 30),
         QPointF(0, 0), QSizeF(50, 30)},
    };
    return layouts;
}

const LabelLayout &LabelLayoutByKey(const QString &key)
{
    for (const LabelLayout &l : LabelLayouts()) {
        if (l.key == key)
            return l;
    }
    return LabelLayouts().first();
}

int LabelsPerPage(const LabelLayout &layout)
{
    return layout.columns * layout.rows;
}

int PageCount(const LabelJob &job)
{
    const int per = LabelsPerPage(job.layout);
    const int offset = qBound(0, job.offset, per - 1);
    return job.labels.isEmpty() ? 0 : int((job.labels.size() + offset + per - 1) / per);
}

QString CutToWidth(const QString &text, const QFontMetricsF &metrics, double width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype fits = 0;
    for (qsizetype at = graphemes.toNextBoundary(); at > 0; at = graphemes.toNextBoundary()) {
        if (metrics.horizontalAdvance(text.left(at)) > width)
            break;
        fits = at;
    }
    return text.left(fits);
}

void PaintLabel(QPainter &p, const QRectF &rect, double dotsPerMm, const db::LabelText &label)
{
    const double pad = 2.5 * dotsPerMm;
    const QRectF inner = rect.adjusted(pad, pad * 0.8, -pad, -pad * 0.8);
    const double line = 3.2 * dotsPerMm;
    p.setPen(Qt::black);

    // Top line: the slot at the right, the title in what is left of the line.
    QFont text = labelFont(line * 0.85);
    p.setFont(text);
    QFontMetricsF m(text, p.device());
    double slotWidth = 0;
    if (!label.slot.isEmpty()) {
        const QString slot = CutToWidth(label.slot, m, inner.width() / 3);
        slotWidth = m.horizontalAdvance(slot) + dotsPerMm;
        p.drawText(QRectF(inner.right() - slotWidth, inner.top(), slotWidth, line), Qt::AlignRight | Qt::AlignVCenter, slot);
    }
    const double titleWidth = inner.width() - slotWidth;
    p.drawText(QRectF(inner.left(), inner.top(), titleWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
               CutToWidth(label.title, m, titleWidth));

    // The number in digits at the bottom, the bars between.
    QFont digits = labelFont(line, true);
    p.setFont(digits);
    const QRectF numberRect(inner.left(), inner.bottom() - line, inner.width(), line);
    p.drawText(numberRect, Qt::AlignHCenter | Qt::AlignVCenter, label.number);
    const QRectF bars(inner.left(), inner.top() + line + 0.8 * dotsPerMm, inner.width(),
                      numberRect.top() - inner.top() - line - 1.6 * dotsPerMm);
    DrawCode128(p, bars, label.code);
}

void PaintLabelPage(QPainter &p, const LabelJob &job, int page, double dotsPerMm)
{
    const LabelLayout &l = job.layout;
    const int per = LabelsPerPage(l);
    const int offset = qBound(0, job.offset, per - 1);
    for (int slot = 0; slot < per; ++slot) {
        const qsizetype index = qsizetype(page) * per + slot - offset;
        if (index < 0)
            continue;
        if (index >= job.labels.size())
            break;
        const int column = slot % l.columns, row = slot / l.columns;
        const QRectF rect((l.origin.x() + column * l.pitch.width()) * dotsPerMm,
                          (l.origin.y() + row * l.pitch.height()) * dotsPerMm, l.label.width() * dotsPerMm,
                          l.label.height() * dotsPerMm);
        PaintLabel(p, rect, dotsPerMm, job.labels.at(index));
    }
}

bool PaintLabelPages(QPainter &p, QPagedPaintDevice &device, const LabelJob &job, db::Progress &progress)
{
    const int pages = PageCount(job);
    progress.stage(QStringLiteral("正在生成标签……"), pages);
    const double dotsPerMm = device.logicalDpiX() / 25.4;
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            device.newPage();
        PaintLabelPage(p, job, page, dotsPerMm);
        if (!progress.advance(page + 1))
            return false;
    }
    return true;
}

db::Status WriteLabelsPdf(const QString &path, const LabelJob &job, db::Progress &progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return db::Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    {
        QPdfWriter pdf(&file);
        pdf.setCreator(QStringLiteral("Lanlan"));
        pdf.setTitle(QStringLiteral("碟片标签"));
        pdf.setResolution(600);
        pdf.setPageLayout(QPageLayout(QPageSize(job.layout.page, QPageSize::Millimeter, QString(), QPageSize::ExactMatch), QPageLayout::Portrait,
                                      QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        QPainter p(&pdf);
        if (!PaintLabelPages(p, pdf, job, progress)) {
            p.end();
            file.cancelWriting();
            return db::Status::failure(QStringLiteral("已取消，未保存。"));
        }
    }
    if (!file.commit())
        return db::Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    return {};
}

QImage RenderLabelPage(const LabelJob &job, int page, int dpi)
{
    const double dotsPerMm = dpi / 25.4;
    QImage image(QSize(qRound(job.layout.page.width() * dotsPerMm), qRound(job.layout.page.height() * dotsPerMm)),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dotsPerMm * 1000));
    image.setDotsPerMeterY(qRound(dotsPerMm * 1000));
    image.fill(Qt::white);
    QPainter p(&image);
    PaintLabelPage(p, job, page, dotsPerMm);
    return image;
}

} // namespace printing
