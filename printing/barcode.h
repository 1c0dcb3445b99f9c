#pragma once
#include <QList>
#include <QRectF>
#include <QString>

class QPainter;

namespace printing {

// The modules of a Code 128 symbol, left to right (true: a bar), without quiet zones;
// empty when the text cannot be encoded.
QList<bool> Code128Modules(const QString &text);

// Draws the symbol as filled bars centred in area, with quiet zones of ten modules on each
// side; the module width is a whole number of device pixels when the painter's device
// allows it, so the bars print evenly. False when the text cannot be encoded or the area
// is too narrow for one pixel per module.
bool DrawCode128(QPainter &p, const QRectF &area, const QString &text);

} // namespace printing
