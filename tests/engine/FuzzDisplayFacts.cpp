// Fuzz entry for the launcher's display-facts variable: any bytes (the first
// line names the display, the rest is the variable's text) must be refused or
// give facts that the same text describes exactly.

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

#include "tools/launcher/VideoOutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = input.indexOf('\n');
    const QByteArray display = cut < 0 ? input : input.left(cut);
    const QByteArray text = cut < 0 ? QByteArray() : input.mid(cut + 1);
    if (const std::optional<DisplayFacts> facts = displayFactsFromText(text, display))
        if (displayFactsText(display, *facts) != text)
            std::abort();
    return 0;
}
