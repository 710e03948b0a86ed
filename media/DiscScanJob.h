#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include "media/DiscScan.h"

class QThread;
class QTimer;

// Reads a disc folder on a thread of its own: scanDisc() and the disc's
// thumbnail, work that grows with what the disc holds. The thread it lives on
// stays free; finished() and progress() arrive there. The result is exactly
// what scanDisc() and readDiscPicture() give on the calling thread.
class DiscScanJob : public QObject {
    Q_OBJECT

public:
    explicit DiscScanJob(QObject* parent = nullptr);
    ~DiscScanJob() override; // a running scan is stopped and waited for

    // Starts reading `folder`, unless a scan is running.
    void start(const QString& folder);
    // Stops a running scan and waits for its thread (at most one playlist
    // read, each bounded in size); the scan is not complete and finished()
    // follows at once.
    void cancel();

    bool isRunning() const { return state == State::Running; }
    bool isComplete() const { return state == State::Complete; }
    // The disc and its thumbnail (null when none) of a complete scan.
    const DiscInfo& disc() const { return scanned; }
    const QImage& picture() const { return thumbnail; }

signals:
    // Playlist files read of those the scan reads, every 100 ms or so.
    void progress(int read, int total);
    void finished();

private:
    enum class State { Idle, Running, Complete, Cancelled };

    void threadEnded();
    void reap();

    State state = State::Idle;
    QThread* thread = nullptr;
    QTimer* ticker = nullptr;
    quint64 runs = 0;
    DiscScanControl control;
    DiscInfo scanned;
    QImage thumbnail;
};
