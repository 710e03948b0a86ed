#include "engine/PlaybackController.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTimer>

#include "config/DataFolder.h"
#include "engine/EngineLine.h"
#include "engine/MPlayerEngine.h"
#include "engine/Snapshots.h"
#include "util/SafeWrite.h"
#include "util/TimeFormat.h"

namespace {

constexpr int kRefreshIntervalMs = 500;
constexpr int kClockStepMs = 507; // what one tick advances the player's own clock

QString elapsedText(qint64 seconds) {
    return QString::fromLatin1(formatTime(seconds));
}

} // namespace

PlaybackController::PlaybackController(QObject* parent)
    : QObject(parent), engine(std::make_unique<MPlayerEngine>()) {
    refreshTimer = new QTimer(this);
    connect(refreshTimer, &QTimer::timeout, this, &PlaybackController::tick);
    connectEngine();
}

PlaybackController::~PlaybackController() {
    refreshTimer->stop();
    // Whatever ends the program, no engine may keep playing without a window.
    endEngine();
}

void PlaybackController::setEngine(std::unique_ptr<Engine> replacement) {
    if (!isStopped() || !replacement)
        return;
    engine->end();
    engine = std::move(replacement);
    connectEngine();
}

void PlaybackController::connectEngine() {
    Engine* e = engine.get();
    connect(e, &Engine::lengthAnswered, this, &PlaybackController::handleLength);
    connect(e, &Engine::positionAnswered, this, &PlaybackController::handlePosition);
    connect(e, &Engine::playingStarted, this, [this] {
        audioCount = 0;
        subtitleCount = 0;
    });
    connect(e, &Engine::audioStreamSeen, this, [this] {
        // Audio streams announced after the first subtitle are not counted.
        if (subtitleCount == 0 && audioCount < kMaxStreamsPerSource)
            ++audioCount;
    });
    connect(e, &Engine::subtitleStreamSeen, this, [this] {
        if (subtitleCount < kMaxStreamsPerSource)
            ++subtitleCount;
    });
    connect(e, &Engine::videoStarted, this, &PlaybackController::handleVideoStart);
    connect(e, &Engine::snapshotTaken, this, &PlaybackController::saveSnapshot);
    connect(e, &Engine::ended, this, &PlaybackController::handleEngineEnd);
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
    emit playIconChanged(next == PlaybackState::Playing);
    emit stateChanged(next);
}

void PlaybackController::offerSource(const Source& source) {
    if (!isStopped())
        return;
    current = source;
    emit lengthTextChanged(QLatin1Char(' ') + elapsedText(current.length));
}

void PlaybackController::learnLength(const QString& path, qint64 seconds) {
    if (current.path != path || current.length != 0)
        return;
    current.length = seconds;
    if (!isStopped() && playing.path == path)
        playing.length = seconds;
    sliderMax = int(seconds);
    emit sliderRangeChanged(sliderMax);
    setSlider(slider);
    emit lengthTextChanged(QLatin1Char(' ') + elapsedText(seconds));
}

void PlaybackController::showPage(Page page) {
    page_ = page;
    emit pageChanged(page);
}

void PlaybackController::setSlider(int value) {
    slider = qBound(0, value, sliderMax);
    emit sliderValueChanged(slider);
}

void PlaybackController::open(const Source& source, OpenMode mode) {
    current = source;
    if (current.path.isEmpty() || !QFileInfo::exists(current.path))
        return;
    if (mode == OpenMode::PauseOrResume && !isStopped() && current.path == playing.path) {
        if (isPlaying())
            pause();
        else
            resume();
        return;
    }
    start();
}

void PlaybackController::start() {
    finish(EndReason::Replaced);
    playing = current;
    if (QFileInfo(current.engineFolder).isDir())
        engineFolder_ = current.engineFolder;

    audioTrack = current.audioChoice >= 0 ? current.audioChoice - 1 : -2;
    subtitleTrack = current.subtitleChoice >= 0 ? current.subtitleChoice - 1 : -2;

    showPage(Page::Video);
    emit sliderEnabledChanged(true);
    sliderMax = int(current.length);
    emit sliderRangeChanged(sliderMax);
    setSlider(0);
    sliderTicks = 0;
    sliderHeld = false;
    seekTarget = 0;
    emit preparingStart(current.path, current.kind);

    audioCount = 0;
    subtitleCount = 0;
    playClock = qint64(qMax(0, current.startSecond)) * 1000;

    EngineStart how;
    how.source = current;
    how.windowId = windowId ? windowId() : 0;
    how.shotFolder = dataFolder.isEmpty() ? ::dataFolderPath() : dataFolder;
    if (!how.shotFolder.endsWith(QLatin1Char('/')))
        how.shotFolder += QLatin1Char('/');
    how.workingFolder = engineFolder_;
    how.volume = volume_;
    engine->start(engineProgram, how);
    setState(PlaybackState::Playing);
    refreshTimer->start(kRefreshIntervalMs);
    emit started(current.path);
}

void PlaybackController::finish(EndReason reason) {
    if (isStopped())
        return; // that playback has ended already: once is all
    const Source endedSource = playing;
    const qint64 second = playClock / 1000;
    refreshTimer->stop();
    engine->forgetSnapshots(); // whatever the engine says from now on answers no request
    switch (reason) {
    case EndReason::Closed:
        engine->end();
        break;
    case EndReason::Replaced:
        engine->discard();
        break;
    default: // an engine that has ended already takes no harm from it
        engine->quit();
        break;
    }
    playing = Source();
    setState(engine->hasEngine() ? PlaybackState::Stopped : PlaybackState::Idle);
    if (reason != EndReason::Replaced) {
        setSlider(0);
        emit sliderEnabledChanged(false);
        emit elapsedTextChanged(QStringLiteral("00:00:00 "));
        emit lengthTextChanged(QLatin1Char(' ') + elapsedText(endedSource.length));
        if (reason == EndReason::Navigated)
            showPage(endedSource.kind == SourceKind::BluRay ? Page::Disc : Page::Start);
        else if (page_ == Page::Video)
            showPage(Page::Start);
    }
    emit ended(endedSource, second, reason);
}

void PlaybackController::pause() {
    // A stopped engine is quitting: pausing it would only hide its last lines.
    if (!hasEngine() || isStopped())
        return;
    refreshTimer->stop();
    engine->pause();
    setState(PlaybackState::Paused);
}

void PlaybackController::resume() {
    // After a stop (or the engine's end) there is nothing to resume: restarting
    // the clock would run it over a dead engine.
    if (!hasEngine() || isStopped())
        return;
    refreshTimer->start(kRefreshIntervalMs);
    setState(PlaybackState::Playing);
    engine->resume();
}

void PlaybackController::stop() {
    if (!isStopped()) {
        finish(EndReason::Stopped);
        return;
    }
    // Nothing plays: the video area and the slider are put back all the same.
    if (page_ == Page::Video)
        showPage(Page::Start);
    setSlider(0);
    emit sliderEnabledChanged(false);
}

void PlaybackController::navigate() {
    if (!isStopped())
        finish(EndReason::Navigated);
    else
        showPage(current.kind == SourceKind::BluRay ? Page::Disc : Page::Start);
}

void PlaybackController::endEngine() {
    finish(EndReason::Closed);
    if (!hasEngine())
        return;
    // A quitting engine (stopped, its end not yet seen) is waited for too.
    refreshTimer->stop();
    engine->end();
    setState(PlaybackState::Idle);
}

void PlaybackController::tick() {
    if (!hasEngine())
        return;
    playClock += kClockStepMs;
    engine->askTimes();
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
        engine->seek(seekTarget);
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
    if (target > playing.length)
        target = playing.length - 4;
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
    engine->seek(seconds);
    playClock = seconds * 1000;
}

void PlaybackController::toggleMute() {
    muted = !muted;
    volume_ = muted ? 0 : 50;
    emit volumeChanged(volume_, muted);
    if (hasEngine())
        engine->setVolume(volume_, Pausing::Resumes);
}

void PlaybackController::setVolume(int value) {
    if (value < 0)
        value = 0;
    volume_ = value;
    muted = value == 0;
    emit volumeChanged(value, muted);
    if (hasEngine())
        engine->setVolume(value, Pausing::Keeps);
}

bool PlaybackController::chooseSubtitle(int entry) {
    if (!hasEngine())
        return false;
    engine->chooseSubtitle(entry - 1, Pausing::Keeps);
    return true;
}

bool PlaybackController::chooseAudio(int entry) {
    if (!hasEngine())
        return false;
    engine->chooseAudio(entry == 0 ? -2 : entry - 1, Pausing::Keeps);
    return true;
}

bool PlaybackController::chooseChannel(AudioChannel channel) {
    if (!hasEngine())
        return false;
    engine->chooseChannel(channel);
    return true;
}

void PlaybackController::setTrackMenuSizes(int audio, int subtitles) {
    audioEntries = audio;
    subtitleEntries = subtitles;
}

void PlaybackController::requestSnapshot() {
    // After the end nothing answers: pending requests have lapsed.
    if (!isStopped())
        engine->requestSnapshot();
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
    // A DVD's length is known only once its engine answers.
    if (playing.kind == SourceKind::Dvd && playing.length == 0) {
        playing.length = seconds;
        if (current.path == playing.path)
            current.length = seconds;
        sliderMax = int(seconds);
        emit sliderRangeChanged(sliderMax);
        setSlider(slider);
    }
    emit elapsedTextChanged(elapsedText(positionSeconds) + QLatin1Char(' '));
    emit lengthTextChanged(QLatin1Char(' ') + elapsedText(playing.length));
}

void PlaybackController::handleEngineEnd(bool engineSaidSo) {
    // An engine already stopped, navigated away from or replaced ends quietly.
    finish(engineSaidSo ? EndReason::EndOfFile : EndReason::EngineFailed);
}

void PlaybackController::handleVideoStart() {
    if (subtitleTrack >= 0) {
        engine->chooseSubtitle(subtitleTrack, Pausing::Resumes);
        emit subtitleTrackChecked(subtitleTrack + 1);
    }
    if (audioTrack >= 0) {
        engine->chooseAudio(audioTrack, Pausing::Resumes);
        emit audioTrackChecked(audioTrack + 1);
    }
    if (audioCount > 0 && audioEntries != audioCount + 1) {
        audioEntries = audioCount + 1;
        emit audioTracksRebuilt(audioCount);
        engine->chooseAudio(0, Pausing::Keeps);
    }
    if (subtitleCount > 0 && subtitleEntries != subtitleCount + 1) {
        subtitleEntries = subtitleCount + 1;
        emit subtitleTracksRebuilt(subtitleCount);
    }
}

// Saves the engine's picture in the chosen format under a free name in the
// snapshot folder; the engine's file goes only once the copy is safe.
void PlaybackController::saveSnapshot(const QByteArray& png, const QString& file) {
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
    engine->releaseSnapshot(file);
    emit snapshotSaved(target);
}
