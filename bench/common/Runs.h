#pragma once

// Times of repeated runs of one piece of work, for the benches' medians.

#include <QElapsedTimer>
#include <QList>

#include <algorithm>
#include <functional>

// Runs `work` once to warm the caches, then `runs` times; the times in
// milliseconds, sorted (median in the middle, best first, worst last).
inline QList<double> timedRuns(int runs, const std::function<void()>& work) {
    work();
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times << double(timer.nsecsElapsed()) / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times;
}
