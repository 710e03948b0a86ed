#include "dialogs/ModalGroup.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPushButton>
#include <QScreen>

#include "util/WindowPlacement.h"

namespace {

// The application's own windows that a user sees and minimises: not menus,
// pop-up lists or tool tips.
bool isPlainWindow(const QWidget* widget) {
    const Qt::WindowType type = widget->windowType();
    return widget->isWindow() && widget->isVisible() && (type == Qt::Window || type == Qt::Dialog);
}

bool isMinimised(const QWidget* widget) {
    return widget->windowState().testFlag(Qt::WindowMinimized);
}

void restore(QWidget* widget) {
    if (isMinimised(widget))
        widget->setWindowState(widget->windowState() & ~Qt::WindowMinimized);
}

} // namespace

ModalGroup::ModalGroup(QDialog* owner) : QObject(owner), dialog(owner) {
    // Window state changes of every window pass here while the dialog lives;
    // the filter is gone with the dialog.
    qApp->installEventFilter(this);
}

void ModalGroup::minimiseApplication() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (isPlainWindow(widget) && !isMinimised(widget))
            widget->showMinimized();
}

void ModalGroup::makeStripButton(QPushButton* button) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setDefault(false);
}

void ModalGroup::placeOverActiveWindow(QWidget* dialog) {
    QWidget* anchor = QApplication::activeWindow();
    if (anchor == dialog)
        anchor = nullptr;
    QScreen* screen = anchor ? anchor->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect over = anchor ? anchor->frameGeometry() : area;
    dialog->move(window_placement::centredFramePosition(dialog->frameGeometry().size(), over, area));
}

bool ModalGroup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && !following && dialog && dialog->isVisible() &&
        watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (isPlainWindow(widget))
            follow(widget);
    }
    return QObject::eventFilter(watched, event);
}

void ModalGroup::follow(QWidget* changed) {
    following = true;
    const bool minimised = isMinimised(changed);
    if (minimised) {
        minimiseApplication();
    } else {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (isPlainWindow(widget))
                restore(widget);
        // Back on top of the window it blocks, with the keyboard.
        dialog->raise();
        dialog->activateWindow();
    }
    following = false;
}
