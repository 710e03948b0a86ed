#include "media/DiscPicture.h"

#include <QBuffer>
#include <QImageReader>

#include "media/DiscFile.h"

namespace {

// The format is taken from the first bytes only, so that no other decoder
// ever sees disc data whatever the file is named.
QByteArray pictureFormat(const QByteArray& bytes) {
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QByteArrayLiteral("png");
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QByteArrayLiteral("jpeg");
    return QByteArray();
}

} // namespace

QImage decodeDiscPicture(const QByteArray& bytes) {
    const QByteArray format = pictureFormat(bytes);
    if (format.isEmpty() || bytes.size() > kDiscThumbnailLimit)
        return QImage();
    QByteArray data = bytes; // shared, not copied; the buffer only reads
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImage();
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || size.width() > kDiscPictureMaxSide ||
        size.height() > kDiscPictureMaxSide)
        return QImage();
    // Pictures with 16 bits a channel decode to 64 bits a pixel; an unknown
    // format is counted as that too.
    const QImage::Format decodedAs = reader.imageFormat();
    const int bits = decodedAs == QImage::Format_Invalid
                         ? 64
                         : qMax<int>(1, QImage::toPixelFormat(decodedAs).bitsPerPixel());
    if (qint64(size.width()) * size.height() * bits / 8 > kDiscPictureMaxBytes)
        return QImage();
    QImage image;
    if (!reader.read(&image))
        return QImage();
    // A decoder is held to what the header declared.
    if (image.width() > kDiscPictureMaxSide || image.height() > kDiscPictureMaxSide)
        return QImage();
    return image;
}

QImage readDiscPicture(const QString& path) {
    if (path.isEmpty())
        return QImage();
    QByteArray bytes;
    if (readDiscFile(path, kDiscThumbnailLimit, bytes) != 0)
        return QImage();
    return decodeDiscPicture(bytes);
}
