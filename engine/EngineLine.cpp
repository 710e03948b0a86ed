#include "engine/EngineLine.h"

#include <QIODevice>
#include <QLoggingCategory>

#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcEngineLineGate, "kzp.gate.engineline", QtWarningMsg)

namespace {

// The part of the line a C string would have seen.
QByteArray upToZero(const QByteArray& line) {
    const int zero = line.indexOf('\0');
    return zero < 0 ? line : line.left(zero);
}

} // namespace

namespace {

bool isStreamLine(const QByteArray& line, const char* marker) {
    // "[lavf] stream 1: audio (aac), -aid 0, ...": a demuxer's name in
    // brackets at the start, and the option with its number.
    const qsizetype close = line.indexOf("] ");
    if (!line.startsWith('[') || close < 2 || close > 32)
        return false;
    for (qsizetype i = 1; i < close; ++i) {
        const char c = line.at(i);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    const qsizetype at = line.indexOf(marker, close);
    const qsizetype digit = at + qsizetype(qstrlen(marker));
    return at > 0 && digit < line.size() && line.at(digit) >= '0' && line.at(digit) <= '9';
}

// The engine's own lines by their starts, whatever came before.
EngineLineKind engineLineShape(const QByteArray& line) {
    if (line.startsWith("ANS_TIME_POSITION"))
        return EngineLineKind::TimePosition;
    if (line.startsWith("ANS_LENGTH"))
        return EngineLineKind::Length;
    if (line.startsWith("ANS_PERCENT_POSITION"))
        return EngineLineKind::PercentPosition;
    if (line.startsWith("Playing "))
        return EngineLineKind::Playing;
    if (line.startsWith("Exiting... (End of file)") || line.startsWith("Exiting... (Quit)"))
        return EngineLineKind::EndOfPlayback;
    if (line.startsWith("*** screenshot '"))
        return EngineLineKind::Screenshot;
    if (isStreamLine(line, ", -aid "))
        return EngineLineKind::AudioStream;
    if (isStreamLine(line, ", -sid "))
        return EngineLineKind::SubtitleStream;
    if (line.startsWith("VIDEO:  "))
        return EngineLineKind::VideoStart;
    return EngineLineKind::Other;
}

} // namespace

void EngineLineClassifier::begin(const QString& playingName) {
    nameBreaks = int(playingName.count(QLatin1Char('\n')));
    nameLinesLeft = 0;
    inTags = false;
}

EngineLineKind EngineLineClassifier::classify(const QByteArray& rawLine) {
    const QByteArray line = upToZero(rawLine);
    if (nameLinesLeft > 0) {
        // The rest of the source's name, as the engine echoes it.
        --nameLinesLeft;
    } else if (inTags) {
        // Tags up to the engine's next step; none of them is the engine's own.
        if (line.startsWith("Starting playback..."))
            inTags = false;
    } else if (line.startsWith("Clip info:")) {
        inTags = true;
        return EngineLineKind::Other;
    } else {
        const EngineLineKind kind = engineLineShape(line);
        if (kind == EngineLineKind::Playing)
            nameLinesLeft = nameBreaks;
        return kind;
    }
    if (engineLineShape(line) != EngineLineKind::Other)
        qCInfo(lcEngineLineGate) << "media text shaped like an engine line is ignored:" << line.left(80);
    return EngineLineKind::Other;
}

qint64 engineLineLength(const QByteArray& rawLine) {
    QByteArray text = upToZero(rawLine);
    text.replace('\n', QByteArray());
    if (text.size() <= 11)
        return 0;
    text = text.mid(11); // after "ANS_LENGTH="
    // The leading decimal number, read without the C locale's help (the
    // player's locale may use a decimal comma).
    int i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const int start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    auto digits = [&] {
        const int from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - from;
    };
    int count = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        count += digits();
    }
    if (count == 0)
        return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        int j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            i = j;
            digits();
        }
    }
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0)
        return 0;
    // Slider ranges hold 32 bits; no real source comes near this.
    if (value >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    return qint64(value);
}

bool engineScreenshotName(const QByteArray& rawLine, QByteArray* name) {
    static const QByteArray marker("*** screenshot '");
    const QByteArray line = upToZero(rawLine);
    const int at = line.indexOf(marker);
    if (at < 0)
        return false;
    const int start = at + marker.size();
    // The engine writes "' ***" right after the name, which may itself hold
    // quotes (a folder such as "/home/o'neill/").
    const int end = line.lastIndexOf("' ***");
    if (end < start || end == start || end - start > kMaxScreenshotName)
        return false;
    *name = line.mid(start, end - start);
    return true;
}

EngineBacklogTrim trimEngineBacklog(QIODevice& output, bool& skippingLine, EngineLineClassifier& lines,
                                    qint64 cap) {
    EngineBacklogTrim trim;
    if (output.bytesAvailable() <= cap)
        return trim;
    const qint64 keep = cap / 4 * 3;
    // Bounded steps, so one call never copies much more than it drops.
    constexpr qint64 kStep = 1024 * 1024;
    for (;;) {
        const qint64 available = output.bytesAvailable();
        if (available <= keep)
            break;
        const qint64 target = qMin(available - keep, kStep);
        // The drop ends at a line end: look past the target for it.
        const QByteArray window = output.peek(qMin(available, target + kMaxEngineLineLength + 1));
        if (window.isEmpty())
            break;
        const qsizetype lineEnd = window.indexOf('\n', qsizetype(target - 1));
        // Without one the line at the target is overlong: cut there, and
        // the reader skips the rest of it.
        const qsizetype cut = lineEnd >= 0 ? lineEnd + 1 : qsizetype(target);
        // Every whole line goes through the classifier, as the reader would
        // have taken it; the tail of an overlong line, or an overlong line,
        // is no line.
        qsizetype start = 0;
        while (start < cut) {
            const qsizetype end = window.indexOf('\n', start);
            if (end < 0 || end >= cut)
                break;
            const bool tail = start == 0 && skippingLine;
            if (!tail && end - start + 1 <= kMaxEngineLineLength &&
                lines.classify(QByteArray::fromRawData(window.constData() + start, end - start + 1)) ==
                    EngineLineKind::EndOfPlayback)
                trim.endOfPlayback = true;
            start = end + 1;
        }
        skippingLine = lineEnd < 0;
        output.skip(cut);
        trim.dropped += cut;
    }
    return trim;
}
