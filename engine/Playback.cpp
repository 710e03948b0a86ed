// The playback controller: starts the engine for the current source, pauses,
// resumes, stops, seeks, sets the volume and polls the engine.

#include "ui/DRUI.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QTimer>

#include "config/DataFolder.h"
#include "config/LanguageManager.h"
#include "config/RecentFiles.h"
#include "engine/EngineCommands.h"
#include "util/DisplayText.h"
#include "util/TimeFormat.h"

namespace {

constexpr int kRefreshIntervalMs = 500;
constexpr int kClockStepMs = 507; // what one tick advances the player's own clock

void setButtonIcon(QPushButton* button, const char* picture) {
    if (button)
        button->setIcon(QIcon(QLatin1String(picture)));
}

void setPlayPauseAction(QAction* action, const char* captionKey, const char* data) {
    if (!action)
        return;
    action->setText(caption(captionKey));
    action->setData(QLatin1String(data));
}

// Ends a process we no longer want without letting it reach us again.
void discardProcess(QProcess* process, QObject* receiver) {
    QObject::disconnect(process, nullptr, receiver, nullptr);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(1000);
    }
    delete process;
}

} // namespace

QString DRUI::enginePath() const {
    if (!engineProgramOverride.isEmpty())
        return engineProgramOverride;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Player.exe");
}

void DRUI::writeEngine(const QByteArray& command) {
    // Commands to a missing or ended engine are dropped; while it is still
    // starting the process object buffers them.
    if (!engineProcess || engineProcess->state() == QProcess::NotRunning)
        return;
    engineProcess->write(command);
}

void DRUI::connectEngineOutput(bool connectIt) {
    if (!engineProcess)
        return;
    if (connectIt)
        connect(engineProcess, SIGNAL(readyReadStandardOutput()), this, SLOT(MPlayerDataRecieve()),
                Qt::UniqueConnection);
    else
        disconnect(engineProcess, SIGNAL(readyReadStandardOutput()), this, SLOT(MPlayerDataRecieve()));
    engineOutputConnected = connectIt;
}

void DRUI::endEngine() {
    if (!engineProcess)
        return;
    if (refreshTimer)
        refreshTimer->stop();
    QProcess* process = engineProcess;
    engineProcess = nullptr;
    engineOutputConnected = false;
    isStopped = true;
    disconnect(process, nullptr, this, nullptr);
    if (process->state() != QProcess::NotRunning) {
        // Ask first: a quitting engine releases its window and sound device
        // cleanly. One that does not answer within the grace is killed.
        process->write(engine_commands::quit());
        process->waitForBytesWritten(200);
        if (!process->waitForFinished(kEngineQuitGraceMs)) {
            process->kill();
            process->waitForFinished(1000);
        }
    }
    delete process;
    engineSnapshots.end();
}

void DRUI::startEngine() {
    auto* process = new QProcess; // no parent: deleted explicitly
    engineProcess = process;
    skippingLongLine = false;
    // The engine's diagnostics go where ours go; left unread they would fill
    // a buffer for nothing.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    engineOutputDropped = 0;
    // Ahead of the parser and never paused: the output waiting unread stays bounded.
    connect(process, &QProcess::readyReadStandardOutput, this, &DRUI::limitEngineBacklog);
    connectEngineOutput(true);

    // An engine that fails to start or dies ends playback. Queued, so this
    // never runs inside VideoPlay(); guarded, so an engine replaced meanwhile
    // cannot disturb its successor.
    QPointer<QProcess> guard(process);
    connect(
        process, &QProcess::finished, this,
        [this, guard] {
            if (guard && guard == engineProcess)
                engineFinished();
        },
        Qt::QueuedConnection);
    connect(
        process, &QProcess::errorOccurred, this,
        [this, guard](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart && guard && guard == engineProcess)
                engineFinished();
        },
        Qt::QueuedConnection);

    QString folder = dataFolder.isEmpty() ? dataFolderPath() : dataFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    // Screenshot reports of this engine are taken from this folder only, and
    // only for requests made from now on.
    engineSnapshots.begin(folder);
    EngineSource source;
    source.path = currentSource;
    source.kind = sourceKind;
    source.titleChosen = titleChosen;
    source.hasTitle = titleTable.contains(sourceKey);
    source.title = titleTable.value(sourceKey);
    const quint64 window = videoSurface ? quint64(videoSurface->winId()) : 0;
    process->start(enginePath(), engineArguments(window, folder, source), QIODevice::ReadWrite);
}

void DRUI::engineFinished() {
    // Whatever the engine still said is read before its end is handled.
    if (engineOutputConnected)
        MPlayerDataRecieve();
    handleEndOfPlayback();
}

void DRUI::refreshRecentFilesMenu() {
    if (!recentFilesMenu)
        return;
    recentFilesMenu->clear();
    for (const QString& entry : std::as_const(recentFiles))
        recentFilesMenu->addAction(display_text::forMenu(entry))->setData(entry);
    recentFilesMenu->addAction(caption("MainWnd/ClearMenu"))->setData(QStringLiteral("Clear Menu"));
}

void DRUI::VideoPlay() {
    if (currentSource.isEmpty() || !QFileInfo::exists(currentSource))
        return;
    if (currentSource == playingSource) {
        if (isPlaying)
            pausePlayback();
        else
            resumePlayback();
        return;
    }

    playingSource = currentSource;
    if (engineProcess) {
        QProcess* old = engineProcess;
        engineProcess = nullptr;
        engineOutputConnected = false;
        discardProcess(old, this);
    }

    audioTrackIndex = audioChoiceTable.contains(sourceKey) ? audioChoiceTable.value(sourceKey) - 1 : -2;
    subtitleTrackIndex =
        subtitleChoiceTable.contains(sourceKey) ? subtitleChoiceTable.value(sourceKey) - 1 : -2;

    if (pageStack)
        pageStack->setCurrentIndex(2);
    if (progressSlider) {
        progressSlider->setEnabled(true);
        progressSlider->setRange(0, static_cast<qint32>(mediaLength));
        progressSlider->setValue(0);
    }
    sliderTicks = 0;
    seekTarget = 0;
    isStopped = false;

    if (sourceKind != 2) {
        if (titleMenu)
            titleMenu->clear();
        if (chapterMenu)
            chapterMenu->clear();
    }

    // The engine is created and started below (step order kept: the recent
    // list and the menus are settled before the start).
    if (addRecentFile(recentFiles, currentSource)) {
        const QString folder = dataFolder.isEmpty() ? dataFolderPath() : dataFolder;
        writeRecentFiles(folder + QStringLiteral("RecentConfig.txt"), recentFiles);
        refreshRecentFilesMenu();
    }

    audioStreamCount = 0;
    subtitleStreamCount = 0;
    playClock = 0;

    if (audioChannelMenu) {
        const QList<QAction*> channels = audioChannelMenu->actions();
        for (int i = 0; i < channels.size(); ++i) {
            channels[i]->setCheckable(i == 0);
            channels[i]->setChecked(i == 0);
        }
    }

    startEngine();

    setButtonIcon(playButton, ":/image/pause.png");
    setPlayPauseAction(playPauseAction, "MainWnd/Pause", "Pause");
    isPlaying = true;
    writeEngine(engine_commands::volume(volumeSlider ? volumeSlider->value() : 50));
    if (startPosition > 0) {
        writeEngine(engine_commands::seek(startPosition));
        playClock = qint64(startPosition) * 1000;
    }
    if (refreshTimer)
        refreshTimer->start(kRefreshIntervalMs);
    markPlayingRow();
}

void DRUI::pausePlayback() {
    // A stopped engine is quitting: pausing it would only hide its last lines.
    if (!engineProcess || isStopped)
        return;
    if (refreshTimer)
        refreshTimer->stop();
    writeEngine(engine_commands::pause());
    setButtonIcon(playButton, ":/image/play.png");
    connectEngineOutput(false);
    isPlaying = false;
    setPlayPauseAction(playPauseAction, "MainWnd/Resume", "Resume");
}

void DRUI::resumePlayback() {
    // After a stop (or the engine's end) there is nothing to resume: restarting
    // the clock would run it over a dead engine.
    if (!engineProcess || isStopped)
        return;
    if (refreshTimer)
        refreshTimer->start(kRefreshIntervalMs);
    connectEngineOutput(true);
    setButtonIcon(playButton, ":/image/pause.png");
    isPlaying = true;
    setPlayPauseAction(playPauseAction, "MainWnd/Pause", "Pause");
    // Lines that arrived while paused are waiting in the buffer.
    scheduleEngineOutput();
}

void DRUI::StopBtn() {
    if (engineProcess) {
        if (refreshTimer)
            refreshTimer->stop();
        writeEngine(engine_commands::quit());
        if (elapsedLabel)
            elapsedLabel->setText(QStringLiteral("00:00:00 "));
    }
    isStopped = true;
    if (nowPlayingLabel)
        nowPlayingLabel->clear();
    playingSource.clear();
    if (pageStack && pageStack->currentIndex() == 2)
        pageStack->setCurrentIndex(0);
    if (progressSlider) {
        progressSlider->setValue(0);
        progressSlider->setEnabled(false);
    }
}

void DRUI::Navigation() {
    if (engineProcess) {
        if (refreshTimer)
            refreshTimer->stop();
        writeEngine(engine_commands::quit());
        isStopped = true;
    }
    playingSource.clear();
    if (pageStack)
        pageStack->setCurrentIndex(sourceKind == 2 ? 1 : 0);
}

void DRUI::DoRefreshGui() {
    if (!engineProcess)
        return;
    playClock += kClockStepMs;
    writeEngine(engine_commands::timeLength());
    writeEngine(engine_commands::timePosition());
}

void DRUI::SliderPress() {
    sliderTicks = 0;
}

void DRUI::SliderSeek(int value) {
    seekTarget = value < 0 ? 0 : value;
}

void DRUI::SliderRelease() {
    if (engineProcess && !isStopped) {
        writeEngine(engine_commands::seek(seekTarget));
        if (progressSlider)
            progressSlider->setValue(seekTarget);
        playClock = qint64(seekTarget) * 1000;
        positionText = QString::number(playClock / 1000);
        if (elapsedLabel)
            elapsedLabel->setText(QString::fromLatin1(formatTime(seekTarget)));
        resumePlayback();
    }
    sliderTicks = 0;
}

void DRUI::SliderMouseLButtonPress(QObject* object, QEvent* event) {
    auto* slider = qobject_cast<QSlider*>(object);
    if (!slider || !event || event->type() != QEvent::MouseButtonPress)
        return;
    auto* press = static_cast<QMouseEvent*>(event);
    if (press->button() != Qt::LeftButton || slider->width() <= 0)
        return;
    const double x = press->position().x();
    const int value =
        int(slider->minimum() + (x / slider->width()) * (slider->maximum() - slider->minimum()));
    if (value == slider->sliderPosition())
        return; // a press on the handle drags as usual
    if (slider == progressSlider) {
        if (!engineProcess || isStopped)
            return;
        seekTarget = value < 0 ? 0 : value;
        slider->setSliderPosition(value);
        SliderRelease();
    } else if (slider == volumeSlider) {
        VolumeSliderSeek(value);
    }
}

void DRUI::seekForward() {
    resumePlayback();
    if (!engineProcess)
        return;
    const int current = progressSlider ? progressSlider->value() : 0;
    qint64 target = qint64(current) + 60;
    if (target > mediaLength)
        target = mediaLength - 4;
    // A short or unknown length must not turn into a seek before the start.
    seekTarget = qint32(qMax<qint64>(0, target));
    sliderTicks = 0;
    SliderRelease();
}

void DRUI::seekBackward() {
    resumePlayback();
    if (!engineProcess)
        return;
    const int current = progressSlider ? progressSlider->value() : 0;
    seekTarget = qMax(0, current - 60);
    sliderTicks = 0;
    SliderRelease();
}

void DRUI::seekToChapter(qint64 startMs) {
    if (!engineProcess)
        return;
    resumePlayback();
    const qint64 seconds = startMs / 1000;
    writeEngine(engine_commands::seek(seconds));
    playClock = seconds * 1000;
}

void DRUI::setVolumeIcon(bool muted) {
    if (!volumeButton)
        return;
    const QPixmap picture(QLatin1String(muted ? ":/image/no-volume.png" : ":/image/volume.png"));
    volumeButton->setIcon(QIcon(picture));
    volumeButton->setIconSize(picture.size());
    volumeButton->setFixedSize(picture.size());
}

void DRUI::VolumeBtn() {
    isMuted = !isMuted;
    if (volumeSlider)
        volumeSlider->setValue(isMuted ? 0 : 50);
    if (engineProcess)
        writeEngine(isMuted ? QByteArrayLiteral("volume 0 100\n") : QByteArrayLiteral("volume 50 100\n"));
    setVolumeIcon(isMuted);
}

void DRUI::VolumeSliderSeek(int value) {
    if (value < 0)
        value = 0;
    if (volumeSlider)
        volumeSlider->setValue(value);
    isMuted = value == 0;
    setVolumeIcon(isMuted);
    if (engineProcess)
        writeEngine(engine_commands::volumeKeepPause(value));
}
