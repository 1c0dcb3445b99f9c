#include "printing/slip.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include "data/store/formatting.h"
#include "printing/labelsheet.h"

namespace printing {
namespace {

const double kRowMm = 4.5;
const double kMarginMm = 3;

double fontMm(const SlipPaper &paper)
{
    return paper.width < 70 ? 2.8 : 3.2;
}

} // namespace

const QList<SlipPaper> &SlipPapers()
{
    static const QList<SlipPaper> papers = {{QStringLiteral("58"), QStringLiteral("58 毫米小票"), 58, false},
                                            {QStringLiteral("80"), QStringLiteral("80 毫米小票"), 80, false},
                                            {QStringLiteral("a5"), QStringLiteral("A5"), 148, true}};
    return papers;
}

const SlipPaper &SlipPaperByKey(const QString &key)
{
    for (const SlipPaper &p : SlipPapers()) {
        if (p.key == key)
            return p;
    }
    return SlipPapers().at(1);
}

QStringList SlipRows(const db::SlipText &slip, const QString &shopName)
{
    QStringList rows;
    rows << shopName << slip.kind << QStringLiteral("日期：%1").arg(slip.when.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
         << QStringLiteral("客户：%1 %2").arg(db::FormatRecordNumber(slip.customer), slip.customerName) << QString();
    for (const db::SlipText::Disc &d : slip.discs)
        rows << QStringLiteral("%1 %2").arg(db::FormatRecordNumber(d.number), d.title);
    rows << QStringLiteral("共 %1 张").arg(slip.discs.size());
    if (slip.depositTaken > 0)
        rows << QStringLiteral("押金收取：%1 元").arg(slip.depositTaken);
    if (slip.depositRefunded > 0)
        rows << QStringLiteral("押金退还：%1 元").arg(slip.depositRefunded);
    rows << QStringLiteral("经手人：%1").arg(slip.clerk);
    return rows;
}

QSizeF SlipPageSize(const SlipPaper &paper, int rows)
{
    if (paper.sheet)
        return QSizeF(148, 210);
    return QSizeF(paper.width, 2 * kMarginMm + (rows + 1) * kRowMm);
}

void PaintSlip(QPainter &p, const SlipPaper &paper, const QStringList &rows, double dotsPerMm)
{
    const double margin = (paper.sheet ? 12 : kMarginMm) * dotsPerMm;
    const double width = paper.width * dotsPerMm - 2 * margin;
    const double row = kRowMm * dotsPerMm;
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(qMax(1, int(fontMm(paper) * dotsPerMm)));
    p.setPen(Qt::black);
    double y = margin;
    for (int i = 0; i < rows.size(); ++i) {
        // The shop name and the kind of slip are centred headings.
        const bool heading = i < 2;
        QFont f = font;
        f.setBold(heading);
        p.setFont(f);
        const QString text = CutToWidth(rows.at(i), QFontMetricsF(f, p.device()), width);
        p.drawText(QRectF(margin, y, width, row), (heading ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter, text);
        y += row;
    }
}

db::Status WriteSlipPdf(const QString &path, const SlipPaper &paper, const QStringList &rows)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return db::Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    {
        QPdfWriter pdf(&file);
        pdf.setCreator(QStringLiteral("Lanlan"));
        pdf.setResolution(600);
        pdf.setPageLayout(QPageLayout(QPageSize(SlipPageSize(paper, int(rows.size())), QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                                      QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        QPainter p(&pdf);
        PaintSlip(p, paper, rows, pdf.logicalDpiX() / 25.4);
    }
    if (!file.commit())
        return db::Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    return {};
}

void PrintSlip(QPrinter &printer, const SlipPaper &paper, const QStringList &rows)
{
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(SlipPageSize(paper, int(rows.size())), QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter p(&printer);
    PaintSlip(p, paper, rows, printer.logicalDpiX() / 25.4);
}

} // namespace printing
