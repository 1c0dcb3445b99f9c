#include "discs/coverpicture.h"

#include <QImageReader>

namespace discs {
namespace {
// A scanned cover is a few megapixels; anything far beyond that is refused, not decoded.
constexpr qint64 kMaxPixels = 40'000'000;
constexpr int kAllocationLimitMb = 256;
} // namespace

QImage LoadCoverPicture(const QString &path)
{
    if (path.isEmpty())
        return {};
    if (QImageReader::allocationLimit() == 0 || QImageReader::allocationLimit() > kAllocationLimitMb)
        QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return {};
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxPixels)
        return {};
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

} // namespace discs
