// Fuzz entry for the disc thumbnail: the bytes are read as the thumbnail file
// through the same bounded open, read and decode as on a disc. A picture
// comes out only within the bounds; nothing else may crash or run away.
#include <cstdint>
#include <cstdlib>

#include "FuzzFile.h"
#include "media/DiscPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString file = fuzzInputFile(data, size);
    if (file.isEmpty())
        return 0;
    const QImage image = readDiscPicture(file);
    if (image.isNull())
        return 0;
    if (image.width() > kDiscPictureMaxSide || image.height() > kDiscPictureMaxSide ||
        qint64(image.sizeInBytes()) > kDiscPictureMaxBytes)
        std::abort();
    // Only JPEG and PNG are decoded.
    const QByteArray head(reinterpret_cast<const char*>(data), qsizetype(qMin<size_t>(size, 8)));
    if (!head.startsWith("\x89PNG") && !head.startsWith("\xFF\xD8\xFF"))
        std::abort();
    return 0;
}
