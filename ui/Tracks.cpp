// The Video and Audio menus' reactions: subtitle, video on/off, picture size,
// audio track and channel.

#include "ui/DRUI.h"

#include "util/WindowPlacement.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>

namespace {

bool owns(QMenu* menu, QAction* action) {
    return menu && menu->actions().contains(action);
}

// Gives the window `client` as its size, frame included inside the work area
// of its screen: the size shrinks to what fits and the window moves in only
// as far as it must.
void resizeInsideWorkArea(QWidget* window, QSize client) {
    QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window->resize(client);
        return;
    }
    const QRect inner = window->geometry();
    const QMargins frame = window_placement::frameMargins(inner, window->frameGeometry());
    window->setGeometry(window_placement::fitClient(QRect(inner.topLeft(), client), frame,
                                                    screen->availableGeometry(), window->minimumSize()));
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
        if (controller->chooseSubtitle(action->data().toInt()))
            selectOnly(subtitleTrackMenu, action);
    } else if (owns(videoTrackMenu, action)) {
        // Only our surface is hidden; the engine plays on (sound included).
        if (videoSurface)
            videoSurface->setVisible(action->data().toInt() != 0);
        selectOnly(videoTrackMenu, action);
    } else {
        dispatchCommand(MenuId::Video, action); // the picture sizes
    }
}

void DRUI::resizeClient(QSize client) {
    resizeInsideWorkArea(this, client);
}

void DRUI::BDAudioMenu(QAction* action) {
    if (!action)
        return;
    if (owns(audioTrackMenu, action)) {
        if (controller->chooseAudio(action->data().toInt()))
            selectOnly(audioTrackMenu, action);
    } else if (owns(audioChannelMenu, action)) {
        const QString channel = action->data().toString();
        const AudioChannel side = channel == QLatin1String("Left")    ? AudioChannel::Left
                                  : channel == QLatin1String("Right") ? AudioChannel::Right
                                                                      : AudioChannel::Stereo;
        const bool known = side != AudioChannel::Stereo || channel == QLatin1String("Stereo");
        // An entry of unknown meaning sends nothing but is still checked.
        if (known ? controller->chooseChannel(side) : controller->hasEngine())
            selectOnly(audioChannelMenu, action);
    } else {
        dispatchCommand(MenuId::Audio, action);
    }
}
