#pragma once
#include <QString>

// The counter's settings (QSettings group "counter"): label layout and slips.
namespace printing {

enum class SlipMode { Always, Ask, Never };

QString LabelLayoutKey();
void SetLabelLayoutKey(const QString &key);

SlipMode SlipPrinting();
void SetSlipPrinting(SlipMode mode);
QString ShopName();
void SetShopName(const QString &name);
QString SlipWidthKey(); // "58", "80" or "a5"
void SetSlipWidthKey(const QString &key);

} // namespace printing
