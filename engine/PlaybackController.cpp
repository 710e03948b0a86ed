#include "engine/PlaybackController.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTimer>

#include "config/DataFolder.h"
#include "engine/EngineLine.h"
#include "engine/EngineSession.h"
#include "engine/Snapshots.h"
#include "util/SafeWrite.h"
#include "util/TimeFormat.h"

namespace {

constexpr int kRefreshIntervalMs = 500;
constexpr int kClockStepMs = 507; // what one tick advances the player's own clock
// The engine reports a screenshot before it writes the file: a file not (or
// not completely) there yet is looked at again for about two seconds.
constexpr int kShotAttempts = 50;
constexpr int kShotRetryMs = 40;

QString elapsedText(qint64 seconds) {
    return QString::fromLatin1(formatTime(seconds));
}

} // namespace

PlaybackController::PlaybackController(QObject* parent) : QObject(parent) {
    engine = new EngineSession(this);
    refreshTimer = new QTimer(this);
    connect(refreshTimer, &QTimer::timeout, this, &PlaybackController::tick);
    connect(engine, &EngineSession::lengthAnswered, this, &PlaybackController::handleLength);
    connect(engine, &EngineSession::positionAnswered, this, &PlaybackController::handlePosition);
    connect(engine, &EngineSession::playingStarted, this, [this] {
        audioCount = 0;
        subtitleCount = 0;
    });
    connect(engine, &EngineSession::audioStreamSeen, this, [this] {
        // Audio streams announced after the first subtitle are not counted.
        if (subtitleCount == 0 && audioCount < kMaxStreamsPerSource)
            ++audioCount;
    });
    connect(engine, &EngineSession::subtitleStreamSeen, this, [this] {
        if (subtitleCount < kMaxStreamsPerSource)
            ++subtitleCount;
    });
    connect(engine, &EngineSession::videoStarted, this, &PlaybackController::handleVideoStart);
    connect(engine, &EngineSession::screenshotReported, this, &PlaybackController::handleScreenshot);
    connect(engine, &EngineSession::ended, this, &PlaybackController::handleEndOfPlayback);
}

PlaybackController::~PlaybackController() {
    refreshTimer->stop();
    // Whatever ends the program, no engine may keep playing without a window.
    endEngine();
}

bool PlaybackController::hasEngine() const {
    return engine->hasEngine();
}

void PlaybackController::setState(PlaybackState next) {
    if (state_ == next)
        return;
    state_ = next;
    // The play button and the play/pause entry follow the state alone: once
    // nothing plays, however it ended, they offer Play, which starts the
    // current source again (a Pause left there would go to a stopped engine).
    switch (next) {
    case PlaybackState::Playing:
        emit playIconChanged(true);
        emit playPauseEntryChanged("MainWnd/Pause", QStringLiteral("Pause"));
        break;
    case PlaybackState::Paused:
        emit playIconChanged(false);
        emit playPauseEntryChanged("MainWnd/Resume", QStringLiteral("Resume"));
        break;
    case PlaybackState::Idle:
    case PlaybackState::Stopped:
        emit playIconChanged(false);
        emit playPauseEntryChanged("MainWnd/Play", QStringLiteral("Play"));
        break;
    }
    emit stateChanged(next);
}

void PlaybackController::setEngineFolder(const QString& folder) {
    if (QFileInfo(folder).isDir())
        engineFolder_ = folder;
}

void PlaybackController::offerSource(const QString& path, SourceKind kind, qint64 seconds) {
    if (!isStopped())
        return;
    current = path;
    kind_ = kind;
    length = seconds;
    playing.clear();
    emit lengthTextChanged(QLatin1Char(' ') + elapsedText(length));
}

void PlaybackController::showPage(Page page) {
    page_ = page;
    emit pageChanged(page);
}

void PlaybackController::setSlider(int value) {
    slider = qBound(0, value, sliderMax);
    emit sliderValueChanged(slider);
}

void PlaybackController::send(const QByteArray& command) {
    engine->send(command);
}

void PlaybackController::startEngine() {
    QString folder = dataFolder.isEmpty() ? ::dataFolderPath() : dataFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    EngineSource source;
    source.path = current;
    source.kind = kind_;
    source.titleChosen = titleChosen_;
    source.hasTitle = titleChoice.hasTitle;
    source.title = titleChoice.title;
    // Screenshot reports of this engine are taken from this folder only, and
    // only for requests made from now on.
    shots.begin(folder);
    const quint64 window = windowId ? windowId() : 0;
    engine->start(engineProgram, engineArguments(window, folder, source), engineFolder_);
}

void PlaybackController::play() {
    if (current.isEmpty() || !QFileInfo::exists(current))
        return;
    if (current == playing) {
        if (isPlaying())
            pause();
        else
            resume();
        return;
    }

    playing = current;
    engine->discard();

    audioTrack = titleChoice.audioChoice >= 0 ? titleChoice.audioChoice - 1 : -2;
    subtitleTrack = titleChoice.subtitleChoice >= 0 ? titleChoice.subtitleChoice - 1 : -2;

    showPage(Page::Video);
    emit sliderEnabledChanged(true);
    sliderMax = int(length);
    emit sliderRangeChanged(sliderMax);
    setSlider(0);
    sliderTicks = 0;
    sliderHeld = false;
    seekTarget = 0;
    emit preparingStart(current, kind_);

    audioCount = 0;
    subtitleCount = 0;
    playClock = 0;

    startEngine();
    setState(PlaybackState::Playing);
    engine->send(engine_commands::volume(qBound(0, volume_, 100)));
    if (startPosition_ > 0) {
        engine->send(engine_commands::seek(startPosition_));
        playClock = qint64(startPosition_) * 1000;
    }
    refreshTimer->start(kRefreshIntervalMs);
    emit started(current);
}

void PlaybackController::pause() {
    // A stopped engine is quitting: pausing it would only hide its last lines.
    if (!hasEngine() || isStopped())
        return;
    refreshTimer->stop();
    engine->send(engine_commands::pause());
    engine->setOutputPaused(true);
    setState(PlaybackState::Paused);
}

void PlaybackController::resume() {
    // After a stop (or the engine's end) there is nothing to resume: restarting
    // the clock would run it over a dead engine.
    if (!hasEngine() || isStopped())
        return;
    refreshTimer->start(kRefreshIntervalMs);
    setState(PlaybackState::Playing);
    // Lines that arrived while paused are read on the next turn.
    engine->setOutputPaused(false);
}

void PlaybackController::stop() {
    if (hasEngine()) {
        refreshTimer->stop();
        engine->quit();
        emit elapsedTextChanged(QStringLiteral("00:00:00 "));
    }
    setState(hasEngine() ? PlaybackState::Stopped : PlaybackState::Idle);
    playing.clear();
    emit stopped();
    if (page_ == Page::Video)
        showPage(Page::Start);
    setSlider(0);
    emit sliderEnabledChanged(false);
}

void PlaybackController::quitEngine() {
    if (!hasEngine())
        return;
    refreshTimer->stop();
    engine->quit();
    setState(PlaybackState::Stopped);
}

void PlaybackController::navigate() {
    quitEngine();
    playing.clear();
    showPage(kind_ == SourceKind::BluRay ? Page::Disc : Page::Start);
}

void PlaybackController::endEngine() {
    if (!hasEngine())
        return;
    refreshTimer->stop();
    engine->end();
    shots.end();
    playing.clear(); // Play starts it anew: there is nothing left to resume
    setState(PlaybackState::Idle);
}

void PlaybackController::tick() {
    if (!hasEngine())
        return;
    playClock += kClockStepMs;
    engine->send(engine_commands::timeLength());
    engine->send(engine_commands::timePosition());
}

void PlaybackController::sliderPressed() {
    sliderTicks = 0;
    sliderHeld = true;
}

void PlaybackController::sliderMoved(int value) {
    seekTarget = value < 0 ? 0 : value;
    slider = qBound(0, value, sliderMax); // the handle follows the drag
}

void PlaybackController::sliderReleased() {
    if (hasEngine() && !isStopped()) {
        engine->send(engine_commands::seek(seekTarget));
        setSlider(seekTarget);
        playClock = qint64(seekTarget) * 1000;
        positionSeconds = playClock / 1000;
        emit elapsedTextChanged(elapsedText(seekTarget));
        resume();
    }
    sliderTicks = 0;
    sliderHeld = false;
}

void PlaybackController::clickSeek(int value) {
    if (!hasEngine() || isStopped())
        return;
    sliderTicks = 0;
    seekTarget = value < 0 ? 0 : value;
    setSlider(value);
    sliderReleased();
}

void PlaybackController::seekForward() {
    resume();
    if (!hasEngine())
        return;
    qint64 target = qint64(slider) + 60;
    if (target > length)
        target = length - 4;
    // A short or unknown length must not turn into a seek before the start.
    seekTarget = qint32(qMax<qint64>(0, target));
    sliderTicks = 0;
    sliderReleased();
}

void PlaybackController::seekBackward() {
    resume();
    if (!hasEngine())
        return;
    seekTarget = qMax(0, slider - 60);
    sliderTicks = 0;
    sliderReleased();
}

void PlaybackController::seekToSecond(qint64 seconds) {
    resume();
    if (!hasEngine())
        return;
    engine->send(engine_commands::seek(seconds));
    playClock = seconds * 1000;
}

void PlaybackController::toggleMute() {
    muted = !muted;
    volume_ = muted ? 0 : 50;
    emit volumeChanged(volume_, muted);
    if (hasEngine())
        engine->send(engine_commands::volumeAbsolute(volume_));
}

void PlaybackController::setVolume(int value) {
    if (value < 0)
        value = 0;
    volume_ = value;
    muted = value == 0;
    emit volumeChanged(value, muted);
    if (hasEngine())
        engine->send(engine_commands::volumeKeepPause(value));
}

bool PlaybackController::chooseSubtitle(int entry) {
    if (!hasEngine())
        return false;
    engine->send(engine_commands::subtitleKeepPause(entry - 1));
    return true;
}

bool PlaybackController::chooseAudio(int entry) {
    if (!hasEngine())
        return false;
    engine->send(engine_commands::switchAudioKeepPause(entry == 0 ? -2 : entry - 1));
    return true;
}

bool PlaybackController::chooseChannel(AudioChannel channel) {
    if (!hasEngine())
        return false;
    const int side = channel == AudioChannel::Left ? -1 : channel == AudioChannel::Right ? 1 : 0;
    engine->send(engine_commands::balanceKeepPause(side));
    return true;
}

void PlaybackController::setTrackMenuSizes(int audio, int subtitles) {
    audioEntries = audio;
    subtitleEntries = subtitles;
}

void PlaybackController::requestSnapshot() {
    // Counted only when the command goes out: each report must answer one.
    if (engine->isRunning() && shots.request())
        engine->send(engine_commands::screenshot());
}

void PlaybackController::handlePosition() {
    // The displayed clock is the player's own; answers only pace it.
    positionSeconds = playClock / 1000;
    // A handle in the user's hand stays there: moved, the slider would report
    // the playing second as the place to seek to.
    if (!sliderHeld && ++sliderTicks >= 5) {
        setSlider(int(positionSeconds));
        sliderTicks = 0;
    }
}

void PlaybackController::handleLength(qint64 seconds) {
    if (kind_ == SourceKind::Dvd && length == 0) {
        length = seconds;
        sliderMax = int(seconds);
        emit sliderRangeChanged(sliderMax);
        setSlider(slider);
    }
    emit elapsedTextChanged(elapsedText(positionSeconds) + QLatin1Char(' '));
    emit lengthTextChanged(QLatin1Char(' ') + elapsedText(length));
}

void PlaybackController::handleEndOfPlayback() {
    setSlider(0);
    emit elapsedTextChanged(QStringLiteral("00:00:00 "));
    emit lengthTextChanged(QLatin1Char(' ') + elapsedText(length));
    emit playIconChanged(false);
    playing.clear();
    // Whatever the engine says after its end answers no request.
    shots.end();
    stop();
}

void PlaybackController::handleVideoStart() {
    if (subtitleTrack >= 0) {
        engine->send(engine_commands::subtitle(subtitleTrack));
        emit subtitleTrackChecked(subtitleTrack + 1);
    }
    if (audioTrack >= 0) {
        engine->send(engine_commands::switchAudio(audioTrack));
        emit audioTrackChecked(audioTrack + 1);
    }
    if (audioCount > 0 && audioEntries != audioCount + 1) {
        audioEntries = audioCount + 1;
        emit audioTracksRebuilt(audioCount);
        engine->send(engine_commands::switchAudioKeepPause(0));
    }
    if (subtitleCount > 0 && subtitleEntries != subtitleCount + 1) {
        subtitleEntries = subtitleCount + 1;
        emit subtitleTracksRebuilt(subtitleCount);
    }
}

void PlaybackController::handleScreenshot(const QByteArray& line) {
    QByteArray reported;
    if (engineScreenshotName(line, &reported))
        collectShot(reported, QString(), kShotAttempts);
}

// Saves the engine's screenshot in the chosen format under a free name in the
// snapshot folder; the engine's file goes only once the copy is safe.
void PlaybackController::collectShot(const QByteArray& reported, QString name, int attemptsLeft) {
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
    const QImage image = QImage::fromData(png, "PNG");
    if (image.isNull())
        return; // the engine's file stays: nothing was saved from it

    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, snapshotImageFormat(snapshotFormatText)))
        return;
    // The stored folder text is used as written: the name is appended to it.
    const QFileInfo wanted(snapshotFolder(dataFolder.isEmpty() ? ::dataFolderPath() : dataFolder) +
                           snapshotBaseName(QDateTime::currentDateTime(), snapshotFormatText));
    QDir().mkpath(wanted.absolutePath());
    // Written as a new file under a free name, never through a link, and
    // counted only once every byte is on disc: else the engine's file stays.
    const QString target = writeNewFile(wanted.absolutePath(), wanted.fileName(), encoded);
    if (target.isEmpty())
        return;
    shots.remove(name);
    emit snapshotSaved(target);
}
