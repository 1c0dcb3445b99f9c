#pragma once
#include <QImage>
#include <QSize>
#include <QString>

namespace discs {

struct CoverPicture
{
    QImage image;    // null when the file cannot be shown
    QString problem; // why, in words for the shop keeper
    bool ok() const { return !image.isNull(); }
};

// Decodes a JPEG or BMP cover picture, the format told by the content, never by the name.
// Other formats, damaged files and pictures too large to decode safely give a null image
// and the reason. A picture larger than fit is decoded at about that size (a JPEG decoder
// then never holds the full picture).
CoverPicture LoadCoverPicture(const QString &path, const QSize &fit = QSize());

} // namespace discs
