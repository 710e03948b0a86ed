#include "app/FirstShow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "util/WindowPlacement.h"

namespace {

// Gives `window` a size, and once shown a place, whose frame fits its
// screen's work area, where it does not fit already. True once the window
// manager's frame is known (the window is mapped and framed).
bool fitIntoWorkArea(QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // A maximised, full-screen or minimised window is the window manager's to place.
    if (!screen || window->windowState() != Qt::WindowNoState)
        return true;
    const QRect client = window->geometry();
    const QMargins frame = window_placement::frameMargins(client, window->frameGeometry());
    const QSize minimum = window->minimumSize().expandedTo(window->minimumSizeHint());
    QRect area = screen->availableGeometry();
    // Under a fractional scale factor the area, the frame and the window's
    // place are each rounded to whole scaled pixels: one on every side
    // absorbs that.
    const qreal ratio = window->devicePixelRatioF();
    if (ratio != qreal(qRound(ratio)))
        area.adjust(1, 1, -1, -1);
    const QRect fitted = window_placement::fitFirstShow(client, frame, area, minimum);
    if (fitted != client) {
        // Before the first show only the size: the window manager places it.
        if (window->isVisible())
            window->setGeometry(fitted);
        else
            window->resize(fitted.size());
    }
    return !frame.isNull();
}

// Fits a newly shown window again whenever it is exposed, moved or resized,
// until the window manager's frame is known: it is only once the window is
// mapped. Without a frame (no window manager, or one that draws none) it
// gives up after a few seconds, having fitted the window as it stands.
class FirstShowFit : public QObject {
public:
    explicit FirstShowFit(QWidget* window) : QObject(window), window(window) {
        window->windowHandle()->installEventFilter(this);
        QTimer::singleShot(5000, this, [this] { deleteLater(); });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if ((type == QEvent::Expose || type == QEvent::Move || type == QEvent::Resize) &&
            window->isVisible() && fitIntoWorkArea(window))
            deleteLater();
        return false;
    }

private:
    QWidget* window;
};

} // namespace

void showInsideWorkArea(QWidget* window) {
    fitIntoWorkArea(window);
    window->show();
    if (window->windowHandle())
        new FirstShowFit(window);
}
