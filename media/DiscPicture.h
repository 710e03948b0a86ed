#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "media/DiscFile.h"

// The disc thumbnail is decoded here, away from the window, which only
// receives the finished picture or a null one.
//
// Bounds: the file is at most 16 MiB (kDiscThumbnailLimit); only JPEG and PNG
// are decoded (what discs carry), and only when the header declares at most
// 4096 pixels a side and at most 64 MiB decoded. Real thumbnails are a few
// hundred pixels wide; the disc page shows the picture unscaled, so a larger
// one could not be seen whole on a common screen, and 4096 x 4096 at 32 bits
// a pixel is exactly 64 MiB. The header is checked before anything is
// allocated, so a few bytes claiming 60000 x 60000 cost nothing. Of a PNG
// only the chunks that make the picture reach the decoder, and a JPEG may
// have at most 64 scans (each one a pass over the whole picture).
inline constexpr int kDiscPictureMaxSide = 4096;
inline constexpr qint64 kDiscPictureMaxBytes = qint64(64) << 20;

// Decodes a thumbnail file's bytes; a null image when they are not a JPEG or
// PNG picture within the bounds.
QImage decodeDiscPicture(const QByteArray& bytes);

// Reads and decodes the thumbnail at `path` through readDiscFile(); a null
// image for an empty path, a file that is not a regular file or is over
// 16 MiB, or bytes decodeDiscPicture() refuses; also for a file outside
// `disc` when that is bound (see DiscFile).
QImage readDiscPicture(const QString& path, const DiscFolder& disc = DiscFolder());
