#include "engine/MPlayerEngine.h"

#include <QProcess>
#include <QTimer>

#include "engine/EngineCommands.h"
#include "tools/launcher/VideoOutput.h"

namespace {

// MPlayer reports a screenshot before it writes the file: a file not (or not
// completely) there yet is looked at again for about two seconds.
constexpr int kShotAttempts = 50;
constexpr int kShotRetryMs = 40;

} // namespace

MPlayerEngine::MPlayerEngine(QObject* parent) : Engine(parent) {
    connect(&session, &EngineSession::playingStarted, this, &Engine::playingStarted);
    connect(&session, &EngineSession::lengthAnswered, this, &Engine::lengthAnswered);
    connect(&session, &EngineSession::positionAnswered, this, &Engine::positionAnswered);
    connect(&session, &EngineSession::audioStreamSeen, this, &Engine::audioStreamSeen);
    connect(&session, &EngineSession::subtitleStreamSeen, this, &Engine::subtitleStreamSeen);
    connect(&session, &EngineSession::videoStarted, this, &Engine::videoStarted);
    connect(&session, &EngineSession::screenshotReported, this, &MPlayerEngine::handleScreenshot);
    connect(&session, &EngineSession::ended, this, &Engine::ended);
}

void MPlayerEngine::prepare(const QString& program) {
    if (asking)
        return;
    asking = new QProcess(this);
    asking->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(asking, &QProcess::finished, this, [this] {
        // One short line in the launcher's own shape, for this display, or nothing.
        const QByteArray line = asking->read(256).trimmed();
        if (displayFactsFromText(line, qgetenv("DISPLAY")))
            session.setEnvironmentValue(QByteArrayLiteral("KZP_DISPLAY_FACTS"), line);
    });
    // Once the event loop runs: the window is built and shown first.
    QTimer::singleShot(0, asking, [this, program] {
        asking->start(program, {QStringLiteral("--display-facts")}, QIODevice::ReadOnly);
    });
}

void MPlayerEngine::start(const QString& program, const EngineStart& start) {
    // Screenshot reports of this engine are taken from this folder only, and
    // only for requests made from now on.
    shots.begin(start.shotFolder);
    session.start(program, engineArguments(start.windowId, start.shotFolder, start.source),
                  start.workingFolder);
    session.send(engine_commands::volume(qBound(0, start.volume, 100)));
    if (start.source.startSecond > 0)
        session.send(engine_commands::seek(start.source.startSecond));
}

void MPlayerEngine::pause() {
    session.send(engine_commands::pause());
    session.setOutputPaused(true);
}

void MPlayerEngine::resume() {
    // MPlayer leaves its pause at the next command that does not keep it
    // (the next poll); lines that arrived meanwhile are read on the next turn.
    session.setOutputPaused(false);
}

void MPlayerEngine::askTimes() {
    session.send(engine_commands::timeLength());
    session.send(engine_commands::timePosition());
}

void MPlayerEngine::seek(qint64 second) {
    session.send(engine_commands::seek(second));
}

void MPlayerEngine::setVolume(int value, Pausing pausing) {
    session.send(pausing == Pausing::Keeps ? engine_commands::volumeKeepPause(value)
                                           : engine_commands::volumeAbsolute(value));
}

void MPlayerEngine::chooseAudio(int stream, Pausing pausing) {
    session.send(pausing == Pausing::Keeps ? engine_commands::switchAudioKeepPause(stream)
                                           : engine_commands::switchAudio(stream));
}

void MPlayerEngine::chooseSubtitle(int stream, Pausing pausing) {
    session.send(pausing == Pausing::Keeps ? engine_commands::subtitleKeepPause(stream)
                                           : engine_commands::subtitle(stream));
}

void MPlayerEngine::chooseChannel(AudioChannel channel) {
    const int side = channel == AudioChannel::Left ? -1 : channel == AudioChannel::Right ? 1 : 0;
    session.send(engine_commands::balanceKeepPause(side));
}

bool MPlayerEngine::requestSnapshot() {
    // Counted only when the command goes out: each report must answer one.
    if (!session.isRunning() || !shots.request())
        return false;
    session.send(engine_commands::screenshot());
    return true;
}

void MPlayerEngine::releaseSnapshot(const QString& file) {
    shots.remove(file);
}

void MPlayerEngine::end() {
    session.end();
    shots.end();
}

void MPlayerEngine::handleScreenshot(const QByteArray& line) {
    QByteArray reported;
    if (engineScreenshotName(line, &reported))
        collectShot(reported, QString(), kShotAttempts);
}

// Hands on the picture of a report that answers a request, once the engine
// has written all of it.
void MPlayerEngine::collectShot(const QByteArray& reported, QString name, int attemptsLeft) {
    auto again = [&] {
        if (attemptsLeft > 1)
            QTimer::singleShot(kShotRetryMs, this, [this, reported, name, attemptsLeft] {
                collectShot(reported, name, attemptsLeft - 1);
            });
    };
    // Once taken, the file is looked at again without a new judgement.
    if (name.isEmpty()) {
        switch (shots.take(reported, &name)) {
        case EngineSnapshots::Report::Ignored:
            return;
        case EngineSnapshots::Report::NotYet:
            again();
            return;
        case EngineSnapshots::Report::Taken:
            break;
        }
    }
    const QByteArray png = shots.read(name);
    if (!isCompletePng(png)) {
        again();
        return;
    }
    emit snapshotTaken(png, name);
}
