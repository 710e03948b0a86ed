#include "media/Probe.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>

namespace {

Q_LOGGING_CATEGORY(lcProbeGate, "kzp.gate.probe", QtWarningMsg)

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

ProbeOutput::ProbeOutput(const QString& file) : fileName(file), name(asLogged(QFile::encodeName(file))) {}

bool ProbeOutput::append(QByteArrayView bytes) {
    if (cut)
        return false;
    const qsizetype room = kBound - kept.size();
    if (bytes.size() <= room) {
        kept.append(bytes);
        return true;
    }
    kept.append(bytes.first(room));
    cut = true;
    qCInfo(lcProbeGate) << "probe output passed" << kBound << "bytes; the rest is not read:" << fileName;
    return false;
}

QString ProbeOutput::duration() const {
    QByteArray text = asLogged(kept);
    // Each place is replaced by one character that is not a blank, so that
    // no line can start where the name was.
    if (!name.isEmpty() && (name.contains('\n') || name.startsWith(kHeaderLine))) {
        if ((name.startsWith(kHeaderLine) || name.contains('\n' + kHeaderLine)) && text.contains(name))
            qCInfo(lcProbeGate) << "a header line inside the probed name is ignored:" << fileName;
        text.replace(name, QByteArrayLiteral("?"));
    }
    if (cut) {
        // The bound may have split a place where the name is printed, and
        // whatever that place holds lies in the last name's length; the line
        // the bound cut short is not whole either.
        text.chop(qMin(text.size(), name.size()));
        text.truncate(text.lastIndexOf('\n') + 1);
    }
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

void startProbe(QProcess& probe, const QString& program, const std::shared_ptr<ProbeOutput>& output) {
    // Only standard error matters; anything else must neither fill memory nor
    // leave the probe waiting for input.
    probe.setStandardOutputFile(QProcess::nullDevice());
    probe.setStandardInputFile(QProcess::nullDevice());
    // Read as it arrives, so that what the process object holds stays small too.
    QObject::connect(&probe, &QProcess::readyReadStandardError, &probe, [&probe, output] {
        if (!output->append(probe.readAllStandardError()))
            probe.kill();
    });
    probe.start(program, {QStringLiteral("-i"), output->file()});
}

QString runProbe(const QString& program, const QString& file, int timeoutMs) {
    if (program.isEmpty())
        return QString();
    const auto output = std::make_shared<ProbeOutput>(file);
    QProcess probe;
    QDeadlineTimer deadline(QDeadlineTimer::Forever);
    if (timeoutMs >= 0)
        deadline.setRemainingTime(timeoutMs);
    auto remaining = [&deadline] {
        return deadline.isForever() ? -1 : static_cast<int>(qMax<qint64>(1, deadline.remainingTime()));
    };
    startProbe(probe, program, output);
    if (!probe.waitForStarted(remaining()))
        return QString();
    if (!probe.waitForFinished(remaining())) {
        probe.kill();
        probe.waitForFinished(5000);
        return QString();
    }
    return output->duration();
}
