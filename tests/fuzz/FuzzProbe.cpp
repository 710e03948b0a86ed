// Fuzz entry for the probe's output: the bytes up to the first NUL are the
// probed file's name, the rest is what the probe wrote to standard error,
// handed to the reader in two pieces (the byte after the NUL says where).
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QFile>

#include "media/Probe.h"

namespace {

QString durationOf(const QString& file, QByteArrayView output, qsizetype split) {
    ProbeOutput reader(file);
    reader.append(output.first(split));
    reader.append(output.sliced(split));
    return reader.duration();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QByteArray name = nul < 0 ? QByteArray() : input.left(nul);
    const QByteArray output = nul < 0 ? input : input.mid(nul + 1);
    const QString file = QFile::decodeName(name);
    const qsizetype split =
        output.isEmpty() ? 0 : static_cast<unsigned char>(output[0]) % (output.size() + 1);
    const QString duration = durationOf(file, output, split);
    if (duration.size() > 8 || duration.contains(QLatin1Char('\n')))
        std::abort();
    // How the output arrives changes nothing.
    if (durationOf(file, output, 0) != duration)
        std::abort();
    // A length only ever comes from a header line.
    if (!duration.isEmpty() && !output.startsWith("  Duration: ") && !output.contains("\n  Duration: "))
        std::abort();
    // Tag lines before the header, as ffmpeg prints them, change nothing.
    const QByteArray tagged = "    title           : Duration: 99:59:59\n"
                              "      DURATION        : 99:59:59.000000000\n" +
                              output;
    if (name.isEmpty() && tagged.size() <= ProbeOutput::kBound && durationOf(file, tagged, 0) != duration)
        std::abort();
    return 0;
}
