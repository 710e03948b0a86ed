// Fuzz entry for the engine output classification: any bytes, split into
// lines as the parser reads them, must classify and yield values without
// reading out of bounds, and the values must stay in their documented ranges.

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdlib>

#include "engine/EngineLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    for (const QByteArray& piece : input.split('\n')) {
        const QByteArray line = piece + '\n';
        const EngineLineKind kind = classifyEngineLine(line);
        if (kind == EngineLineKind::Length) {
            const qint64 seconds = engineLineLength(line);
            if (seconds < 0 || seconds > 2147483647)
                std::abort();
        }
        QByteArray name;
        if (engineScreenshotName(line, &name)) {
            if (name.isEmpty() || name.size() > kMaxScreenshotName || name.contains('\0') ||
                !line.contains("*** screenshot '" + name + "' ***"))
                std::abort();
        }
    }
    return 0;
}
