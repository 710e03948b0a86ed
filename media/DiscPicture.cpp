#include "media/DiscPicture.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <iterator>

#include "media/DiscFile.h"

namespace {

// JPEG scans are each a pass over the whole picture; real files have at
// most a dozen or so.
constexpr int kMaxJpegScans = 64;

// The format is taken from the first bytes only, so that no other decoder
// ever sees disc data whatever the file is named.
QByteArray pictureFormat(const QByteArray& bytes) {
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QByteArrayLiteral("png");
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QByteArrayLiteral("jpeg");
    return QByteArray();
}

// The PNG chunks that make the picture, copied as they are; every other
// chunk (texts, colour profiles, ...) is dropped unread. The PNG decoder
// reads any chunk whole at the length it declares and inflates compressed
// ones without a limit, so a few hundred bytes could make it allocate
// gigabytes. Empty when a chunk runs past the bytes or there is no end chunk.
QByteArray picturePngChunks(const QByteArray& bytes) {
    static const QByteArrayView kept[] = {"IHDR", "PLTE", "tRNS", "IDAT", "IEND"};
    QByteArray out = bytes.left(8);
    qsizetype pos = 8;
    while (bytes.size() - pos >= 12) {
        const auto* at = reinterpret_cast<const uchar*>(bytes.constData() + pos);
        const quint32 length =
            (quint32(at[0]) << 24) | (quint32(at[1]) << 16) | (quint32(at[2]) << 8) | at[3];
        if (length > quint64(bytes.size() - pos - 12))
            return QByteArray();
        const QByteArrayView type(bytes.constData() + pos + 4, 4);
        const qsizetype chunk = 12 + qsizetype(length);
        if (std::find(std::begin(kept), std::end(kept), type) != std::end(kept))
            out.append(bytes.constData() + pos, chunk);
        if (type == "IEND")
            return out;
        pos += chunk;
    }
    return QByteArray();
}

} // namespace

QImage decodeDiscPicture(const QByteArray& bytes) {
    const QByteArray format = pictureFormat(bytes);
    if (format.isEmpty() || bytes.size() > kDiscThumbnailLimit)
        return QImage();
    QByteArray data = format == "png" ? picturePngChunks(bytes) : bytes; // shared, not copied
    if (data.isEmpty() || (format == "jpeg" && data.count("\xFF\xDA") > kMaxJpegScans))
        return QImage();
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

QImage readDiscPicture(const QString& path, const DiscFolder& disc) {
    if (path.isEmpty())
        return QImage();
    QByteArray bytes;
    if (readDiscFile(path, kDiscThumbnailLimit, bytes, disc) != 0)
        return QImage();
    return decodeDiscPicture(bytes);
}
