// Fuzz entry for the recent-files list: whatever the file holds, its entries
// are whole lines without line ends, and writing them gives them back.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QStringList>

#include "config/RecentFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList entries = parseRecentFiles(bytes);
    QByteArray written;
    bool endsInCr = false; // read back without it, as a CR LF line end
    for (const QString& entry : entries) {
        if (entry.isEmpty() || entry.contains(QLatin1Char('\n')))
            std::abort();
        endsInCr = endsInCr || entry.endsWith(QLatin1Char('\r'));
        written += entry.toLocal8Bit() + '\n';
    }
    if (!endsInCr && parseRecentFiles(written) != entries)
        std::abort();
    return 0;
}
