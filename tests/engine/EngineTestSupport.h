#pragma once

// A real main window wired to the fake engine, with the parser's per-line
// handler opened up for direct feeding.

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QTimer>

#include "common/FakeEngine.h"
#include "ui/DRUI.h"

class TestWindow : public DRUI {
public:
    TestWindow() {
        setupWindow();
        setEnginePath(FakeEngine::program());
        // Menus of our own, so the checks do not depend on how the menu bar is built.
        audioTrackMenu = ownMenu();
        subtitleTrackMenu = ownMenu();
        videoTrackMenu = ownMenu();
        audioChannelMenu = ownMenu();
        for (const char* channel : {"Stereo", "Left", "Right"})
            audioChannelMenu->addAction(QLatin1String(channel))->setData(QLatin1String(channel));
        videoTrackMenu->addAction(QStringLiteral("Disable"))->setData(0);
        videoTrackMenu->addAction(QStringLiteral("Video"))->setData(1);
        recentFilesMenu = ownMenu();
        playPauseAction = ownMenu()->addAction(QStringLiteral("Play"));
    }
    ~TestWindow() override { qDeleteAll(menus); }

    using DRUI::handleEngineLine;

    QMenu* ownMenu() {
        menus.append(new QMenu);
        return menus.last();
    }
    QStringList texts(QMenu* menu) const {
        QStringList list;
        for (QAction* action : menu->actions())
            list << action->text();
        return list;
    }
    int checkedIndex(QMenu* menu) const {
        const QList<QAction*> actions = menu->actions();
        int found = -1;
        for (int i = 0; i < actions.size(); ++i)
            if (actions[i]->isChecked())
                found = found < 0 ? i : -2; // -2: more than one
        return found;
    }
    // Plays `path` as a file of the given length.
    void playFile(const QString& path, qint64 length = 100) {
        currentSource = path;
        sourceKind = 0;
        mediaLength = length;
        VideoPlay();
    }
    // Plays the DVD folder `path`; its length comes from the engine's answers.
    void playFolder(const QString& path) {
        currentSource = path;
        sourceKind = 1;
        mediaLength = 0;
        VideoPlay();
    }
    bool engineRunning() const { return engineProcess && engineProcess->state() == QProcess::Running; }

    QList<QMenu*> menus;
};

inline bool sameIcon(const QIcon& icon, const char* picture) {
    const QPixmap expected(QLatin1String{picture});
    if (expected.isNull())
        return false;
    return icon.pixmap(expected.size()).toImage().convertToFormat(QImage::Format_ARGB32) ==
           expected.toImage().convertToFormat(QImage::Format_ARGB32);
}

// The name a snapshot is saved under: Snapshot-YYYY-MM-DD hh-mm-ss.JPG.
inline bool isSnapshotName(const QString& name) {
    return QRegularExpression("^Snapshot-\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.JPG$")
        .match(name)
        .hasMatch();
}

// A file to play (its content does not matter to the fake engine).
inline QString makeSource(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("not really a video");
    return path;
}
