// The Video and Audio menus' reactions (subtitle, video on/off, picture size,
// audio track, channel) and snapshots.

#include "ui/DRUI.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>

#include "config/DataFolder.h"
#include "engine/EngineCommands.h"
#include "engine/EngineLine.h"
#include "engine/Snapshots.h"
#include "util/TimeFormat.h"

namespace {

bool owns(QMenu* menu, QAction* action) {
    return menu && menu->actions().contains(action);
}

// Every action of the menu unchecked, then the chosen one checked.
void selectOnly(QMenu* menu, QAction* chosen) {
    for (QAction* action : menu->actions())
        action->setChecked(false);
    chosen->setCheckable(true);
    chosen->setChecked(true);
}

} // namespace

void DRUI::BDVideoMenu(QAction* action) {
    if (!action)
        return;
    if (owns(subtitleTrackMenu, action)) {
        const QByteArray command = engine_commands::subtitleKeepPause(action->data().toInt() - 1);
        if (engineProcess) {
            writeEngine(command);
            selectOnly(subtitleTrackMenu, action);
        }
    } else if (owns(videoTrackMenu, action)) {
        // Only our surface is hidden; the engine plays on (sound included).
        if (videoSurface)
            videoSurface->setVisible(action->data().toInt() != 0);
        selectOnly(videoTrackMenu, action);
    } else {
        const QString size = action->data().toString();
        if (size == QLatin1String("HalfSize")) {
            resize(500, 340);
        } else if (size == QLatin1String("NormalSize")) {
            resize(1000, 680);
        } else if (size == QLatin1String("DoubleSize")) {
            QScreen* screen = QGuiApplication::primaryScreen();
            const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 2000, 1360);
            resize(qMin(2000, area.width()), qMin(1360, area.height()));
        } else if (size == QLatin1String("Fit2Screen")) {
            setWindowState(Qt::WindowMaximized);
        }
    }
}

void DRUI::BDAudioMenu(QAction* action) {
    if (!action)
        return;
    QMenu* menu = nullptr;
    QByteArray command;
    if (owns(audioTrackMenu, action)) {
        menu = audioTrackMenu;
        const int n = action->data().toInt();
        command = engine_commands::switchAudioKeepPause(n == 0 ? -2 : n - 1);
    } else if (owns(audioChannelMenu, action)) {
        menu = audioChannelMenu;
        const QString channel = action->data().toString();
        if (channel == QLatin1String("Stereo"))
            command = QByteArrayLiteral("pausing_keep balance 0 1\n");
        else if (channel == QLatin1String("Left"))
            command = QByteArrayLiteral("pausing_keep balance -1 1\n");
        else if (channel == QLatin1String("Right"))
            command = QByteArrayLiteral("pausing_keep balance 1 1\n");
    } else {
        return;
    }
    if (!engineProcess)
        return;
    if (!command.isEmpty())
        writeEngine(command);
    selectOnly(menu, action);
}

void DRUI::Snapshot() {
    // Counted only when the command goes out: each report must answer one.
    if (engineProcess && engineProcess->state() != QProcess::NotRunning && engineSnapshots.request())
        writeEngine(engine_commands::screenshot());
}

namespace {

// The engine reports a screenshot before it writes the file: a file not (or
// not completely) there yet is looked at again for about two seconds.
constexpr int kShotAttempts = 50;
constexpr int kShotRetryMs = 40;

// Saves the engine's screenshot in the chosen format under a free name in
// the snapshot folder; the engine's file goes only once the copy is safe.
void collectEngineShot(DRUI* window, const QByteArray& reported, QString name, int attemptsLeft) {
    // Once taken, the file is looked at again without a new judgement.
    auto again = [&] {
        if (attemptsLeft > 1)
            QTimer::singleShot(kShotRetryMs, window, [window, reported, name, attemptsLeft] {
                collectEngineShot(window, reported, name, attemptsLeft - 1);
            });
    };
    if (name.isEmpty()) {
        switch (window->engineSnapshots.take(reported, &name)) {
        case EngineSnapshots::Report::Ignored:
            return;
        case EngineSnapshots::Report::NotYet:
            again();
            return;
        case EngineSnapshots::Report::Taken:
            break;
        }
    }
    const QByteArray png = window->engineSnapshots.read(name);
    if (!isCompletePng(png)) {
        again();
        return;
    }
    const QImage image = QImage::fromData(png, "PNG");
    if (image.isNull())
        return; // the engine's file stays: nothing was saved from it

    const QString folder =
        snapshotFolder(window->dataFolder.isEmpty() ? dataFolderPath() : window->dataFolder);
    const QString wanted = folder + snapshotBaseName(QDateTime::currentDateTime(), window->snapshotFormat);
    QDir().mkpath(QFileInfo(wanted).absolutePath());
    QSaveFile file(firstFreeFileName(wanted));
    if (!file.open(QIODevice::WriteOnly))
        return;
    if (!image.save(&file, snapshotImageFormat(window->snapshotFormat)) || !file.commit())
        return;
    window->engineSnapshots.remove(name);
}

} // namespace

void DRUI::saveSnapshot(const QByteArray& engineLine) {
    QByteArray reported;
    if (engineScreenshotName(engineLine, &reported))
        collectEngineShot(this, reported, QString(), kShotAttempts);
}
