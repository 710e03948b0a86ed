// Fuzz entry for the disc metadata reader.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

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
    return 0;
}
