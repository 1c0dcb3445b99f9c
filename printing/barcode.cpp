#include "printing/barcode.h"

#include <QPainter>

#include <zint.h>

#include <cmath>
#include <memory>

namespace printing {

QList<bool> Code128Modules(const QString &text)
{
    std::unique_ptr<zint_symbol, void (*)(zint_symbol *)> symbol(ZBarcode_Create(), ZBarcode_Delete);
    if (!symbol)
        return {};
    symbol->symbology = BARCODE_CODE128;
    const QByteArray bytes = text.toLatin1();
    if (bytes.isEmpty() || ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char *>(bytes.constData()),
                                           int(bytes.size())) >= ZINT_ERROR)
        return {};
    QList<bool> modules;
    modules.reserve(symbol->width);
    // One row: bit i of the row's bytes is module i.
    for (int i = 0; i < symbol->width; ++i)
        modules << bool((symbol->encoded_data[0][i / 8] >> (i % 8)) & 1);
    return modules;
}

bool DrawCode128(QPainter &p, const QRectF &area, const QString &text)
{
    const QList<bool> modules = Code128Modules(text);
    if (modules.isEmpty())
        return false;
    const int total = int(modules.size()) + 20;
    // Whole device pixels per module: fractional ones give bars of uneven width.
    const double perModule = std::floor(area.width() / total);
    if (perModule < 1)
        return false;
    double x = area.left() + (area.width() - perModule * modules.size()) / 2;
    for (const bool bar : modules) {
        if (bar)
            p.fillRect(QRectF(std::round(x), area.top(), perModule, area.height()), Qt::black);
        x += perModule;
    }
    return true;
}

} // namespace printing
