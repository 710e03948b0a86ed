#include "media/DiscScanJob.h"

#include <QThread>
#include <QTimer>

#include "media/DiscPicture.h"

namespace {

constexpr int kProgressMs = 100;

} // namespace

DiscScanJob::DiscScanJob(QObject* parent) : QObject(parent), ticker(new QTimer(this)) {
    ticker->setInterval(kProgressMs);
    connect(ticker, &QTimer::timeout, this, [this] {
        // Nothing to show while the playlists are being listed.
        if (state == State::Running && control.total > 0)
            emit progress(control.read, control.total);
    });
}

DiscScanJob::~DiscScanJob() {
    reap();
}

void DiscScanJob::start(const QString& folder) {
    if (state == State::Running)
        return;
    reap(); // a cancelled scan's thread may not be reaped yet
    scanned = DiscInfo();
    thumbnail = QImage();
    control.stop = false;
    control.read = 0;
    control.total = 0;
    state = State::Running;
    // The thread writes only `scanned` and `thumbnail`, which nothing reads
    // before its end has been seen on this thread.
    thread = QThread::create([this, folder] {
        DiscInfo disc = scanDisc(folder, &control);
        if (!control.stop)
            thumbnail = readDiscPicture(disc.thumbnailPath, DiscFolder(disc.folder));
        scanned = std::move(disc);
    });
    // Queued to this thread. The run number tells a stale end (of a thread
    // already stopped and reaped) from this run's.
    connect(thread, &QThread::finished, this, [this, run = ++runs] {
        if (run == runs)
            threadEnded();
    });
    ticker->start();
    thread->start();
}

void DiscScanJob::cancel() {
    if (state != State::Running)
        return;
    reap();
    scanned = DiscInfo();
    thumbnail = QImage();
    state = State::Cancelled;
    ticker->stop();
    emit finished();
}

void DiscScanJob::threadEnded() {
    if (state != State::Running)
        return;
    reap();
    state = State::Complete;
    ticker->stop();
    emit progress(control.read, control.total);
    emit finished();
}

void DiscScanJob::reap() {
    if (!thread)
        return;
    control.stop = true;
    thread->disconnect(this);
    thread->wait();
    delete thread;
    thread = nullptr;
}
