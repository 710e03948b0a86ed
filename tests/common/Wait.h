#pragma once

// Waiting without fixed sleeps: the event loop keeps running while a condition
// is polled. Header-only.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

namespace kzp::test {

// Polls `done` until it holds (true) or `timeoutMs` pass (false); between two
// polls events are processed for up to `eventsMs` and the thread pauses `pauseMs`.
template <typename Predicate>
bool waitUntil(Predicate done, int timeoutMs = 5000, int pauseMs = 2, int eventsMs = 5) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, eventsMs);
        QThread::msleep(pauseMs);
    }
    return true;
}

} // namespace kzp::test
