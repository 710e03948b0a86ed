#include "media/Probe.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

namespace {

const QByteArray kHeaderLine = QByteArrayLiteral("  Duration: ");

// ffmpeg's log shows control bytes other than backspace to carriage return
// as '?'; a name is looked for in the output as ffmpeg prints it.
QByteArray asLogged(QByteArray text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x08 || (byte > 0x0D && byte < 0x20))
            c = '?';
    }
    return text;
}

} // namespace

QString durationFromProbeOutput(const QByteArray& standardError, const QString& file) {
    QByteArray text = asLogged(standardError);
    const QByteArray name = asLogged(QFile::encodeName(file));
    // Each place is replaced by one character that is not a blank, so that
    // no line can start where the name was.
    if (!name.isEmpty() && (name.contains('\n') || name.startsWith(kHeaderLine)))
        text.replace(name, QByteArrayLiteral("?"));
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf('\n', from);
        if (end < 0)
            end = text.size();
        if (QByteArrayView(text).sliced(from, end - from).startsWith(kHeaderLine)) {
            const qsizetype value = from + kHeaderLine.size();
            return QString::fromLocal8Bit(text.mid(value, end - value)).left(8);
        }
        from = end + 1;
    }
    return QString();
}

QString runProbe(const QString& program, const QString& file, int timeoutMs) {
    if (program.isEmpty())
        return QString();
    QProcess probe;
    // Only standard error matters; anything else must neither fill memory nor
    // leave the probe waiting for input.
    probe.setStandardOutputFile(QProcess::nullDevice());
    probe.setStandardInputFile(QProcess::nullDevice());
    QDeadlineTimer deadline(QDeadlineTimer::Forever);
    if (timeoutMs >= 0)
        deadline.setRemainingTime(timeoutMs);
    auto remaining = [&deadline] {
        return deadline.isForever() ? -1 : static_cast<int>(qMax<qint64>(1, deadline.remainingTime()));
    };
    probe.start(program, {QStringLiteral("-i"), file});
    if (!probe.waitForStarted(remaining()))
        return QString();
    if (!probe.waitForFinished(remaining())) {
        probe.kill();
        probe.waitForFinished(5000);
        return QString();
    }
    return durationFromProbeOutput(probe.readAllStandardError(), file);
}
