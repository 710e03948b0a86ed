// Fuzz entry for the probe's output: the bytes up to the first NUL are the
// probed file's name, the rest is what the probe wrote to standard error.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QFile>

#include "media/Probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    const QByteArray name = split < 0 ? QByteArray() : input.left(split);
    const QByteArray output = split < 0 ? input : input.mid(split + 1);
    const QString file = QFile::decodeName(name);
    const QString duration = durationFromProbeOutput(output, file);
    if (duration.size() > 8 || duration.contains(QLatin1Char('\n')))
        std::abort();
    // A length only ever comes from a header line.
    if (!duration.isEmpty() && !output.startsWith("  Duration: ") && !output.contains("\n  Duration: "))
        std::abort();
    // Tag lines before the header, as ffmpeg prints them, change nothing.
    const QByteArray tagged = "    title           : Duration: 99:59:59\n"
                              "      DURATION        : 99:59:59.000000000\n" +
                              output;
    if (name.isEmpty() && durationFromProbeOutput(tagged, file) != duration)
        std::abort();
    return 0;
}
