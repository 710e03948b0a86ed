// Fuzz entry for the disc metadata reader: the bytes are read as the metadata
// file itself and as text in memory, and the thumbnail name they give must
// never lead out of the metadata folder.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "FuzzFile.h"
#include "media/DiscScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArray name = "untouched", thumbnail = "untouched";
    readDiscMetadataText(text, name, thumbnail);
    if (name.size() >= 256 || thumbnail.size() >= 256)
        std::abort();
    // A value that was set came from a line holding its tag.
    if (name != "untouched" && !text.contains("<di:name>"))
        std::abort();
    if (thumbnail != "untouched" && (!text.contains("<di:thumbnail href=\"") || thumbnail.contains('"')))
        std::abort();

    // The file reader gives the same, within its bound.
    const QString file = fuzzInputFile(data, size);
    if (!file.isEmpty()) {
        QByteArray fileName = "untouched", fileThumbnail = "untouched";
        readDiscMetadata(file, fileName, fileThumbnail);
        const bool read = qint64(size) <= (qint64(1) << 20);
        if (read ? (fileName != name || fileThumbnail != thumbnail)
                 : (fileName != "untouched" || fileThumbnail != "untouched"))
            std::abort();
    }

    // The thumbnail's path is a plain name directly inside the folder.
    const QString folder = QStringLiteral("/meta/");
    const QString path = discThumbnailPath(folder, thumbnail);
    if (!path.isEmpty()) {
        const QString rest = path.mid(folder.size());
        if (!path.startsWith(folder) || rest.isEmpty() || rest.contains(QLatin1Char('/')) ||
            rest == QLatin1String("..") || rest == QLatin1String("."))
            std::abort();
    }
    return 0;
}
