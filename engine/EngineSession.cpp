#include "engine/EngineSession.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include "engine/EngineCommands.h"
#include "engine/EngineLine.h"

#include <cstring>

namespace {

// Longer lines are dropped whole, so a runaway line never grows memory or
// gets rescanned.
constexpr qint64 kMaxLineLength = kMaxEngineLineLength;
// How much buffered output one look takes in (more than one line's worth).
constexpr qint64 kReadWindow = 256 * 1024;
// One call hands the event loop back after this long; the rest of the lines
// are read on the next turn, so a flooding engine cannot freeze the window.
constexpr qint64 kReadBudgetNs = 8 * 1000 * 1000;

} // namespace

EngineSession::EngineSession(QObject* parent) : QObject(parent) {}

EngineSession::~EngineSession() {
    end();
}

bool EngineSession::isRunning() const {
    return process && process->state() != QProcess::NotRunning;
}

void EngineSession::start(const QString& program, const QStringList& arguments,
                          const QString& workingDirectory) {
    discard();
    process = new QProcess(this);
    outputPaused = false;
    skippingLongLine = false;
    lines.begin(enginePlayingName(arguments));
    // The engine's diagnostics go where ours go; left unread they would fill
    // a buffer for nothing.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!workingDirectory.isEmpty())
        process->setWorkingDirectory(workingDirectory);
    if (!environment.isEmpty())
        process->setProcessEnvironment(environment);
    dropped = 0;
    // Ahead of the parser and never paused: the output waiting unread stays
    // bounded, whether or not the parser takes the lines.
    connect(process, &QProcess::readyReadStandardOutput, this, &EngineSession::limitBacklog);
    connect(process, &QProcess::readyReadStandardOutput, this, [this] {
        if (!outputPaused)
            readOutput();
    });
    // An engine that fails to start or dies ends playback. Queued, so this
    // never runs inside start(); guarded, so an engine replaced meanwhile
    // cannot disturb its successor.
    QPointer<QProcess> guard(process);
    connect(
        process, &QProcess::finished, this, [this, guard] { processEnded(guard); }, Qt::QueuedConnection);
    connect(
        process, &QProcess::errorOccurred, this,
        [this, guard](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                processEnded(guard);
        },
        Qt::QueuedConnection);
    process->start(program, arguments, QIODevice::ReadWrite);
}

void EngineSession::setEnvironmentValue(const QByteArray& name, const QByteArray& value) {
    if (environment.isEmpty())
        environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLocal8Bit(name), QString::fromLocal8Bit(value));
}

void EngineSession::send(const QByteArray& command) {
    if (isRunning())
        process->write(command);
}

void EngineSession::quit() {
    if (!isRunning())
        return;
    process->write(engine_commands::quit());
    QPointer<QProcess> quitting(process);
    QTimer::singleShot(kEngineQuitGraceMs, this, [quitting] {
        if (quitting && quitting->state() != QProcess::NotRunning)
            quitting->kill();
    });
}

void EngineSession::setOutputPaused(bool paused) {
    outputPaused = paused;
    // Lines that arrived while paused are waiting in the buffer.
    if (!paused && process)
        scheduleRead();
}

QProcess* EngineSession::release() {
    QProcess* old = process;
    process = nullptr;
    outputPaused = false;
    if (old)
        disconnect(old, nullptr, this, nullptr);
    return old;
}

void EngineSession::discard() {
    finish(false);
}

void EngineSession::end() {
    finish(true);
}

void EngineSession::finish(bool askFirst) {
    QProcess* old = release();
    if (!old)
        return;
    if (old->state() != QProcess::NotRunning) {
        // Ask first where there is time: a quitting engine releases its window
        // and sound device cleanly. One that does not answer is killed.
        bool quit = false;
        if (askFirst) {
            old->write(engine_commands::quit());
            old->waitForBytesWritten(200);
            quit = old->waitForFinished(kEngineQuitGraceMs);
        }
        if (!quit) {
            old->kill();
            old->waitForFinished(1000);
        }
    }
    delete old;
}

void EngineSession::processEnded(QProcess* which) {
    if (!which || which != process)
        return;
    // Whatever the engine still said is read before its end is handled.
    if (!outputPaused)
        readOutput();
    if (which == process)
        emit ended(false);
}

void EngineSession::limitBacklog() {
    if (!process)
        return;
    const EngineBacklogTrim trim = trimEngineBacklog(*process, skippingLongLine, lines);
    dropped += trim.dropped;
    if (trim.endOfPlayback)
        emit ended(true);
}

void EngineSession::scheduleRead() {
    if (readScheduled)
        return;
    readScheduled = true;
    QTimer::singleShot(0, this, [this] {
        readScheduled = false;
        if (!outputPaused)
            readOutput();
    });
}

void EngineSession::readOutput() {
    QPointer<QProcess> reading(process);
    if (!reading)
        return;
    QElapsedTimer clock;
    clock.start();
    int handled = 0;
    for (;;) {
        const qint64 available = reading->bytesAvailable();
        if (available <= 0)
            return;
        // Lines are cut out of one peeked window, without a copy per line,
        // and taken from the process only once handled.
        const QByteArray window = reading->peek(qMin(available, kReadWindow));
        const char* data = window.constData();
        const qsizetype size = window.size();
        qsizetype used = 0;
        bool outOfTime = false;
        while (used < size) {
            const void* end = std::memchr(data + used, '\n', size_t(size - used));
            if (!end)
                break;
            const qsizetype length = static_cast<const char*>(end) - (data + used) + 1;
            const qsizetype start = used;
            used += length;
            if (skippingLongLine) {
                skippingLongLine = false; // the tail of an overlong line
            } else if (length <= kMaxLineLength) {
                handleLine(QByteArray::fromRawData(data + start, length));
                // A handler may end, replace or pause the engine.
                if (!reading || reading != process || outputPaused) {
                    if (reading && reading == process)
                        reading->skip(used);
                    return;
                }
            }
            if ((++handled & 63) == 0 && clock.nsecsElapsed() > kReadBudgetNs) {
                outOfTime = true;
                break;
            }
        }
        if (used == 0) {
            if (available <= kMaxLineLength)
                return; // a partial line stays for the next signal
            // No line end in sight: drop what is there instead of hoarding it.
            reading->skip(size);
            skippingLongLine = true;
            continue;
        }
        reading->skip(used);
        if (outOfTime) {
            scheduleRead();
            return;
        }
    }
}

void EngineSession::handleLine(const QByteArray& line) {
    switch (lines.classify(line)) {
    case EngineLineKind::TimePosition:
        emit positionAnswered();
        break;
    case EngineLineKind::Length:
        emit lengthAnswered(engineLineLength(line));
        break;
    case EngineLineKind::PercentPosition:
    case EngineLineKind::Other:
        break;
    case EngineLineKind::Playing:
        emit playingStarted();
        break;
    case EngineLineKind::EndOfPlayback:
        emit ended(true);
        break;
    case EngineLineKind::Screenshot:
        emit screenshotReported(QByteArray(line.constData(), line.size()));
        break;
    case EngineLineKind::AudioStream:
        emit audioStreamSeen();
        break;
    case EngineLineKind::SubtitleStream:
        emit subtitleStreamSeen();
        break;
    case EngineLineKind::VideoStart:
        emit videoStarted();
        break;
    }
}
