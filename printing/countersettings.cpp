#include "printing/countersettings.h"

#include <QSettings>

namespace printing {
namespace {

const char *const kGroup = "counter";

QVariant value(const char *key, const QVariant &fallback)
{
    QSettings s(QStringLiteral("Lanlan"), QStringLiteral("Lanlan"));
    s.beginGroup(QLatin1String(kGroup));
    return s.value(QLatin1String(key), fallback);
}

void setValue(const char *key, const QVariant &v)
{
    QSettings s(QStringLiteral("Lanlan"), QStringLiteral("Lanlan"));
    s.beginGroup(QLatin1String(kGroup));
    s.setValue(QLatin1String(key), v);
}

} // namespace

QString LabelLayoutKey() { return value("labelLayout", QStringLiteral("a4-3x8")).toString(); }
void SetLabelLayoutKey(const QString &key) { setValue("labelLayout", key); }

SlipMode SlipPrinting()
{
    const QString v = value("slip", QStringLiteral("never")).toString();
    return v == QLatin1String("always") ? SlipMode::Always : v == QLatin1String("never") ? SlipMode::Never : SlipMode::Ask;
}

void SetSlipPrinting(SlipMode mode)
{
    setValue("slip", mode == SlipMode::Always ? QStringLiteral("always")
                     : mode == SlipMode::Never ? QStringLiteral("never")
                                               : QStringLiteral("ask"));
}

QString ShopName() { return value("shopName", QStringLiteral("澜岚影碟出租")).toString(); }
void SetShopName(const QString &name) { setValue("shopName", name); }
QString SlipWidthKey() { return value("slipWidth", QStringLiteral("80")).toString(); }
void SetSlipWidthKey(const QString &key) { setValue("slipWidth", key); }

} // namespace printing
