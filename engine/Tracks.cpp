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
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSaveFile>
#include <QScreen>

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
    if (engineProcess)
        writeEngine(engine_commands::screenshot());
}

void DRUI::saveSnapshot(const QByteArray& engineLine) {
    QByteArray name;
    if (!engineScreenshotName(engineLine, &name))
        return;
    const QString engineFile = localToWide(name);
    if (!QFileInfo::exists(engineFile))
        return;

    const QString folder = snapshotFolder(dataFolder.isEmpty() ? dataFolderPath() : dataFolder);
    const QString wanted = folder + snapshotBaseName(QDateTime::currentDateTime(), snapshotFormat);
    QDir().mkpath(QFileInfo(wanted).absolutePath());
    const QString target = firstFreeFileName(wanted);

    QImageReader reader(engineFile);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        return; // the engine's file stays: nothing was saved from it
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return;
    if (!image.save(&file, snapshotImageFormat(snapshotFormat)) || !file.commit())
        return;
    QFile::remove(engineFile);
}
