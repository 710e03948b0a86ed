#pragma once

// How long a window's thread goes without painting while some work runs.

#include <QElapsedTimer>
#include <QEvent>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "common/Wait.h"

// Asks the window for a paint every 10 ms and notes when it paints. A corner
// pixel only: whether the window thread is free to paint is what counts, and
// repainting the whole window 100 times a second would itself take a core.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* window) : window(window) {
        window->installEventFilter(this);
        connect(&ticker, &QTimer::timeout, window, [window] { window->update(0, 0, 1, 1); });
        ticker.start(10);
        clock.start();
    }
    // The longest time between two paints while `work` runs, in ms: from the
    // last paint before it to the first paint after it.
    double longestGap(const std::function<void()>& work) {
        const qsizetype before = paints.size();
        kzp::test::waitUntil([&] { return paints.size() > before; });
        const qsizetype from = paints.size() - 1;
        work();
        const qsizetype after = paints.size();
        kzp::test::waitUntil([&] { return paints.size() > after; });
        double longest = 0;
        for (qsizetype i = from + 1; i < paints.size(); ++i)
            longest = qMax(longest, (paints[i] - paints[i - 1]) / 1e6);
        return longest;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window && event->type() == QEvent::Paint)
            paints << clock.nsecsElapsed();
        return false;
    }

private:
    QWidget* window;
    QTimer ticker;
    QElapsedTimer clock;
    QList<qint64> paints;
};
