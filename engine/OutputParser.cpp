// Reads the engine's output line by line and turns it into the player's view
// of playback: clock labels, slider, DVD length, end of playback, snapshots,
// and the audio and subtitle menus.

#include "ui/DRUI.h"

#include <QAction>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "engine/EngineCommands.h"
#include "engine/EngineLine.h"
#include "util/TimeFormat.h"

#include <cstring>

namespace {

// Longer lines are dropped whole, so a runaway line never grows memory or
// gets rescanned.
constexpr qint64 kMaxLineLength = kMaxEngineLineLength;
// How much buffered output one look takes in (more than one line's worth).
constexpr qint64 kReadWindow = 256 * 1024;
// One call hands the event loop back after this long; the rest of the lines
// are read on the next turn, so a flooding engine cannot freeze the window.
constexpr qint64 kParseBudgetNs = 8 * 1000 * 1000;

void checkOnly(QMenu* menu, int position) {
    if (!menu)
        return;
    const QList<QAction*> actions = menu->actions();
    for (int i = 0; i < actions.size(); ++i) {
        if (i == position) {
            actions[i]->setCheckable(true);
            actions[i]->setChecked(true);
        } else {
            actions[i]->setChecked(false);
        }
    }
}

} // namespace

void DRUI::scheduleEngineOutput() {
    if (engineOutputScheduled)
        return;
    engineOutputScheduled = true;
    QTimer::singleShot(0, this, [this] {
        engineOutputScheduled = false;
        // Paused output waits for the resume.
        if (engineOutputConnected)
            MPlayerDataRecieve();
    });
}

void DRUI::limitEngineBacklog() {
    // Wired for the engine's whole life, paused or not: the process object
    // reads the pipe whether or not the parser takes the lines.
    if (!engineProcess)
        return;
    const EngineBacklogTrim trim = trimEngineBacklog(*engineProcess, skippingLongLine);
    engineOutputDropped += trim.dropped;
    if (trim.endOfPlayback)
        handleEndOfPlayback();
}

void DRUI::MPlayerDataRecieve() {
    QPointer<QProcess> process(engineProcess);
    if (!process)
        return;
    QElapsedTimer clock;
    clock.start();
    int handled = 0;
    for (;;) {
        const qint64 available = process->bytesAvailable();
        if (available <= 0)
            return;
        // Lines are cut out of one peeked window, without a copy per line,
        // and taken from the process only once handled.
        const QByteArray window = process->peek(qMin(available, kReadWindow));
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
                handleEngineLine(QByteArray::fromRawData(data + start, length));
                // A handler may end or replace the engine.
                if (!process || process != engineProcess)
                    return;
            }
            if ((++handled & 63) == 0 && clock.nsecsElapsed() > kParseBudgetNs) {
                outOfTime = true;
                break;
            }
        }
        if (used == 0) {
            if (available <= kMaxLineLength)
                return; // a partial line stays for the next signal
            // No line end in sight: drop what is there instead of hoarding it.
            process->skip(size);
            skippingLongLine = true;
            continue;
        }
        process->skip(used);
        if (outOfTime) {
            scheduleEngineOutput();
            return;
        }
    }
}

void DRUI::handleEngineLine(const QByteArray& line) {
    switch (classifyEngineLine(line)) {
    case EngineLineKind::TimePosition:
        // The displayed clock is the player's own; answers only pace it.
        positionText = QString::number(playClock / 1000);
        if (++sliderTicks >= 5) {
            if (progressSlider)
                progressSlider->setValue(positionText.toInt());
            sliderTicks = 0;
        }
        break;
    case EngineLineKind::Length: {
        const qint64 length = engineLineLength(line);
        if (sourceKind == 1 && mediaLength == 0) {
            mediaLength = length;
            if (progressSlider)
                progressSlider->setRange(0, static_cast<qint32>(length));
        }
        if (elapsedLabel)
            elapsedLabel->setText(QString::fromLatin1(formatTime(positionText.toLongLong()) + ' '));
        if (lengthLabel)
            lengthLabel->setText(QLatin1Char(' ') + QString::fromLatin1(formatTime(mediaLength)));
        break;
    }
    case EngineLineKind::PercentPosition:
    case EngineLineKind::Other:
        break;
    case EngineLineKind::Playing:
        audioStreamCount = 0;
        subtitleStreamCount = 0;
        break;
    case EngineLineKind::EndOfPlayback:
        handleEndOfPlayback();
        break;
    case EngineLineKind::Screenshot:
        saveSnapshot(line);
        break;
    case EngineLineKind::AudioStream:
        // Audio streams announced after the first subtitle are not counted.
        if (subtitleStreamCount == 0 && audioStreamCount < kMaxStreamsPerSource)
            ++audioStreamCount;
        break;
    case EngineLineKind::SubtitleStream:
        if (subtitleStreamCount < kMaxStreamsPerSource)
            ++subtitleStreamCount;
        break;
    case EngineLineKind::VideoStart:
        handleVideoStart();
        break;
    }
}

void DRUI::handleEndOfPlayback() {
    if (progressSlider)
        progressSlider->setValue(0);
    if (elapsedLabel)
        elapsedLabel->setText(QStringLiteral("00:00:00 "));
    if (lengthLabel)
        lengthLabel->setText(QLatin1Char(' ') + QString::fromLatin1(formatTime(mediaLength)));
    if (playButton)
        playButton->setIcon(QIcon(QStringLiteral(":/image/play.png")));
    playingSource.clear();
    isPlaying = false;
    // Whatever the engine says after its end answers no request.
    engineSnapshots.end();
    StopBtn();
}

void DRUI::handleVideoStart() {
    if (subtitleTrackIndex >= 0) {
        writeEngine(engine_commands::subtitle(subtitleTrackIndex));
        checkOnly(subtitleTrackMenu, subtitleTrackIndex + 1);
    }
    if (audioTrackIndex >= 0) {
        writeEngine(engine_commands::switchAudio(audioTrackIndex));
        checkOnly(audioTrackMenu, audioTrackIndex + 1);
    }
    if (audioTrackMenu && audioStreamCount > 0 && audioTrackMenu->actions().size() != audioStreamCount + 1) {
        audioTrackMenu->clear();
        audioTrackMenu->addAction(QStringLiteral("Disable"))->setData(0);
        for (int k = 1; k <= audioStreamCount; ++k) {
            QAction* action = audioTrackMenu->addAction(QString::asprintf("Audio %d", k));
            action->setData(k);
            if (k == 1) {
                action->setCheckable(true);
                action->setChecked(true);
                writeEngine(engine_commands::switchAudioKeepPause(0));
            }
        }
    }
    if (subtitleTrackMenu && subtitleStreamCount > 0 &&
        subtitleTrackMenu->actions().size() != subtitleStreamCount + 1) {
        subtitleTrackMenu->clear();
        QAction* disable = subtitleTrackMenu->addAction(QStringLiteral("Disable"));
        disable->setData(0);
        disable->setCheckable(true);
        disable->setChecked(true);
        for (int k = 1; k <= subtitleStreamCount; ++k)
            subtitleTrackMenu->addAction(QString::asprintf("Subtitle %d", k))->setData(k);
    }
}
