#include "discs/coverpicture.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include "data/shop/discrecords.h"

namespace discs {
namespace {
// A scanned cover is a few megapixels; anything far beyond that is refused, not decoded.
constexpr qint64 kMaxPixels = 30'000'000;
// Above what the largest accepted picture needs (30 megapixels at 4 bytes each).
constexpr int kAllocationLimitMb = 128;

// JPEG and BMP are the shop's cover formats; the file's first bytes say which it is, so a
// decoder for some other format never sees a file named .jpg.
QByteArray formatOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(3);
    if (head.size() == 3 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8 && uchar(head[2]) == 0xFF)
        return QByteArrayLiteral("jpeg");
    if (head.startsWith("BM"))
        return QByteArrayLiteral("bmp");
    return {};
}

CoverPicture refused(const QString &why)
{
    return {QImage(), why};
}

} // namespace

CoverPicture LoadCoverPicture(const QString &path, const QSize &fit)
{
    if (path.isEmpty())
        return refused(QStringLiteral("没有选择文件。"));
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return refused(QStringLiteral("无法读取这个文件。"));
    if (info.size() > db::kMaxPhotoBytes)
        return refused(QStringLiteral("文件太大（%1 MB），封面图片最大 %2 MB。")
                           .arg(info.size() / (1024 * 1024))
                           .arg(db::kMaxPhotoBytes / (1024 * 1024)));
    const QByteArray format = formatOf(path);
    if (format.isEmpty())
        return refused(QStringLiteral("这不是 JPEG 或 BMP 图片。"));
    if (QImageReader::allocationLimit() == 0 || QImageReader::allocationLimit() > kAllocationLimitMb)
        QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(path, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    // The size comes from the header alone: a huge picture is refused before anything else.
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxPixels)
        return refused(QStringLiteral("图片太大（%1 × %2 像素）。").arg(size.width()).arg(size.height()));
    if (!reader.canRead())
        return refused(QStringLiteral("图片已损坏，无法显示。"));
    if (size.isValid() && fit.isValid() && (size.width() > fit.width() || size.height() > fit.height()))
        reader.setScaledSize(fit);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return refused(QStringLiteral("图片已损坏，无法显示。"));
    return {image, QString()};
}

} // namespace discs
