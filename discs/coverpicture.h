#pragma once
#include <QImage>
#include <QString>

namespace discs {

// Decodes a JPEG or BMP cover picture, the format told by the content. A file that is
// missing, not a picture, malformed or too large to decode safely gives a null image.
QImage LoadCoverPicture(const QString &path);

} // namespace discs
