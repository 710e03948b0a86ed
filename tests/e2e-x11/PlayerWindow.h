#pragma once

// The real player as an X11 window the end-to-end tests drive with xdotool:
// its process (ended with the test), its pop-ups, keys, menu buttons and a
// picture of its contents. Each test starts it in its own set-up. Header-only.

#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "common/Processes.h"
#include "common/Wait.h"

namespace kzp::test::x11 {

inline QString xdotool(const QStringList& arguments) {
    return outputOf(QStringLiteral("xdotool"), arguments);
}

// Whether a pixel is `colour`, each channel within `tolerance`.
inline bool nearColour(QRgb pixel, const QColor& colour, int tolerance) {
    return qAbs(qRed(pixel) - colour.red()) <= tolerance &&
           qAbs(qGreen(pixel) - colour.green()) <= tolerance &&
           qAbs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// The colour of the menu strip along the window's top.
inline constexpr QRgb kStripColour = 0xffeff2f9; // rgb(239, 242, 249)

class PlayerWindow {
public:
    QTemporaryDir dir; // the test's scratch folder for this player
    QString window;    // X window id of the main window once started
    QProcess process;

    explicit PlayerWindow(int waitMs) : waitMs(waitMs) {}
    ~PlayerWindow() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000))
                process.kill();
            process.waitForFinished(2000);
        }
    }
    PlayerWindow(const PlayerWindow&) = delete;
    PlayerWindow& operator=(const PlayerWindow&) = delete;

    // Polls until done() holds; events keep flowing, no fixed sleeps.
    template <typename Predicate> bool waitUntil(Predicate done, int timeoutMs = 0) const {
        return kzp::test::waitUntil(done, timeoutMs > 0 ? timeoutMs : waitMs, 30, 20);
    }
    // Once the started program shows its window: that window, the only one.
    bool findWindow() {
        const QStringList ids =
            xdotool({"search", "--sync", "--onlyvisible", "--name", "^Kestrune Zyl Player$"}).split('\n');
        window = ids.value(0);
        return ids.size() == 1 && !window.isEmpty();
    }
    // The program's shown windows (the main window and any pop-up), sorted.
    QStringList visibleWindows() const {
        QStringList ids = xdotool({"search", "--onlyvisible", "--pid", QString::number(process.processId())})
                              .split('\n', Qt::SkipEmptyParts);
        ids.sort();
        return ids;
    }
    void keys(const QStringList& names) const { xdotool(QStringList{"key", "--delay", "60"} + names); }
    void click(const QString& id, int x, int y) const {
        xdotool({"mousemove", "--window", id, QString::number(x), QString::number(y), "click", "1"});
    }
    // Clicks a menu button (1 File ... 6 Help); true once its pop-up shows.
    bool openMenu(int index) const {
        const int before = int(visibleWindows().size());
        click(window, (index - 1) * 100 + 50, 11);
        return waitUntil([&] { return visibleWindows().size() > before; });
    }
    QImage grab() const {
        const QString path = dir.path() + "/grab.png";
        QFile::remove(path);
        outputOf("import", {"-window", window, path});
        return QImage(path);
    }
    // The whole screen, in screen coordinates.
    QImage grabScreen() const {
        const QString path = dir.path() + "/screen.png";
        QFile::remove(path);
        outputOf("import", {"-window", "root", path});
        return QImage(path);
    }
    bool stripShown() const {
        const QImage image = grab();
        return !image.isNull() && image.pixel(900, 10) == kStripColour;
    }

private:
    int waitMs;
};

} // namespace kzp::test::x11
