#include "media/Probe.h"

#include <QDeadlineTimer>
#include <QProcess>

QString durationFromProbeOutput(const QByteArray& standardError) {
    static const QString marker = QStringLiteral("Duration: ");
    const QString text = QString::fromLocal8Bit(standardError);
    const int at = text.indexOf(marker);
    if (at < 0)
        return QString();
    return text.mid(at + marker.size(), 8);
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
    return durationFromProbeOutput(probe.readAllStandardError());
}
