// Fuzz entry for the engine output classification: any bytes, split into
// lines as the parser reads them, run through one classifier in order, must
// classify and yield values without reading out of bounds; a line counts only
// in a shape that starts it, and values stay in their documented ranges. The
// first line names the source ('|' stands for a line break in the name).

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "engine/EngineLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const QList<QByteArray> pieces = input.split('\n');
    EngineLineClassifier lines;
    lines.begin(QString::fromLocal8Bit(pieces.first()).replace(QLatin1Char('|'), QLatin1Char('\n')));
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QByteArray line = pieces.at(i) + '\n';
        const EngineLineKind kind = lines.classify(line);
        static const char* const shapes[] = {"ANS_", "Playing ", "Exiting... (", "*** screenshot '",
                                             "[",    "VIDEO:  "};
        bool shaped = false;
        for (const char* shape : shapes)
            shaped = shaped || line.startsWith(shape);
        if (kind != EngineLineKind::Other && !shaped)
            std::abort();
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
