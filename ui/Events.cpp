// Event handling of the main window: full screen, keys, the event filter on
// the video surface and the sliders, repaint-time menu states, closing, and
// drag and drop.

#include "ui/DRUI.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QUrl>

#include "media/ProbeBatch.h"
#include "util/SourceKind.h"

namespace {

void makeActive(QAction* discEntry, QAction* active) {
    if (!discEntry || !active)
        return;
    QMenu* list = discEntry->menu<QMenu*>();
    // Only an entry still listed there: the list may have been rebuilt since.
    if (list && list->activeAction() != active && list->actions().contains(active))
        list->setActiveAction(active);
}

} // namespace

// Brings menus and the now-playing label in line with the page the video
// area shows. Cheap and idempotent: it runs on every page or playback state
// change, and on every repaint.
void DRUI::updateMenuStates() {
    if (!pageStack)
        return;
    const Page page = Page(pageStack->currentIndex());
    const bool disc = controller->currentSource().kind == SourceKind::BluRay;
    if (page == Page::Disc && disc) {
        if (discMenu && !discMenu->isVisible())
            discMenu->show();
        makeActive(discSubtitleAction, activeSubtitleAction);
        makeActive(discAudioAction, activeAudioAction);
    }
    const CommandContext context{page, controller->state(), disc};
    for (const CommandRow& row : CommandTable::rows()) {
        QAction* action = commandActions[int(row.id)];
        if (!action || !row.enabledWhen)
            continue;
        if (const std::optional<bool> enabled = row.enabledWhen(context))
            action->setEnabled(*enabled);
    }
    if (page == Page::Video) {
        if (nowPlayingLabel && !isAddingFiles()) { // the probes' progress shows there meanwhile
            const QString name = disc ? (discNameLabel ? discNameLabel->text() : QString())
                                      : QFileInfo(controller->currentSource().path).fileName();
            const QString text = QStringLiteral("    ") + name;
            if (nowPlayingLabel->text() != text)
                nowPlayingLabel->setText(text);
        }
    }
}

// Back from full screen: strip and control panel return, the play list stays hidden.
void DRUI::leaveFullScreen() {
    if (menuStrip)
        menuStrip->show();
    if (controlPanel)
        controlPanel->show();
    showNormal();
}

void DRUI::FullScreenBtn() {
    if (controller->isStopped())
        return;
    if (!isFullScreen()) {
        if (menuStrip)
            menuStrip->hide();
        if (controlPanel)
            controlPanel->hide();
        if (playListTable)
            playListTable->hide();
        showFullScreen();
    } else {
        leaveFullScreen();
    }
}

// The window manager may end full screen by itself (a key of its own, another
// window taking the screen): the strip and the panel come back as with Escape.
void DRUI::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isFullScreen() && menuStrip && menuStrip->isHidden()) {
        menuStrip->show();
        if (controlPanel)
            controlPanel->show();
    }
}

void DRUI::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        // Not tied to the engine: playback may have ended while full screen.
        if (isFullScreen())
            leaveFullScreen();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool DRUI::eventFilter(QObject* watched, QEvent* event) {
    if (watched && watched == videoSurface) {
        if (event->type() == QEvent::MouseButtonDblClick)
            FullScreenBtn();
        else if (event->type() == QEvent::Show)
            updateMenuStates(); // the video page just came up
    } else if (event->type() == QEvent::MouseButtonPress && !controller->isStopped()) {
        // A click taken here is not passed on: the slider's own page step
        // would move the handle away from where the click put it.
        if (watched && (watched == progressSlider || watched == volumeSlider) && clickSlider(watched, event))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void DRUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        event->accept();
}

void DRUI::resizeEvent(QResizeEvent* event) {
    if (centralWidget)
        centralWidget->resize(width(), height());
    QMainWindow::resizeEvent(event);
}

void DRUI::paintEvent(QPaintEvent*) {
    updateMenuStates();
}

void DRUI::closeEvent(QCloseEvent*) {
    // No engine may keep playing once the window is gone, however it closes;
    // no probe or disc scan either.
    probes.cancel();
    discScan.cancel();
    endEngine();
    QCoreApplication::quit();
}

void DRUI::btnCloseSlot() {
    // Stops the timer, sends quit, marks the engine stopped and kills it if it
    // has not exited within a short grace; then the object is gone.
    endEngine();
    close();
}

void DRUI::btnMinSlot() {
    showMinimized();
}

void DRUI::btnMenButtonSlot() {}

void DRUI::dragEnterEvent(QDragEnterEvent* event) {
    event->setDropAction(event->proposedAction());
    event->accept();
}

void DRUI::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (isAddingFiles() || !data || !data->hasUrls() || data->urls().isEmpty()) {
        event->ignore();
        return;
    }
    const QUrl first = data->urls().constFirst();
    const QString path = first.isLocalFile() ? first.toLocalFile() : QString();
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (QFileInfo(path).isDir())
        loadDiscFolder(path);
    else
        addFiles(QStringList{path});
}
