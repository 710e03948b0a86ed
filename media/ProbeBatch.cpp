#include "media/ProbeBatch.h"

#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QVariant>

namespace {

// How long a killed probe may take to be reaped before it is given up on.
constexpr int kReapMs = 5000;
const char* const kTimedOut = "kzpTimedOut";

} // namespace

// One probe per core and one more: between one probe's end and the next one's
// start (the window thread reaps one and starts the next) a core would wait.
// On two cores, 40 clips took 0.51-0.76 times one by one with one probe per
// core, 0.47-0.54 with one more (bench/open).
ProbeBatch::ProbeBatch(QObject* parent)
    : QObject(parent), maxRunning(qMax(1, QThread::idealThreadCount()) + 1) {}

ProbeBatch::~ProbeBatch() {
    stopAll();
}

void ProbeBatch::start(const QStringList& fileList) {
    if (state == State::Running)
        return;
    files = fileList;
    results = QStringList(files.size(), QString());
    next = done = 0;
    state = State::Running;
    // Without a program every file has no duration, as runProbe() says.
    if (programPath.isEmpty()) {
        next = done = total();
        if (total() > 0)
            emit progress(done, total());
    }
    launchProbes();
}

void ProbeBatch::cancel() {
    if (state != State::Running)
        return;
    state = State::Cancelled;
    stopAll();
    emit finished();
}

void ProbeBatch::stopAll() {
    const QList<QProcess*> probes = running.keys();
    running.clear();
    for (QProcess* probe : probes) {
        probe->disconnect(this);
        probe->kill();
        probe->waitForFinished(kReapMs);
        delete probe;
    }
}

void ProbeBatch::launchProbes() {
    // A probe that fails to start ends inside launch(); the loop here goes on
    // instead of recursing once per file.
    if (launching)
        return;
    launching = true;
    while (state == State::Running && running.size() < maxRunning && next < total())
        launch(next++);
    launching = false;
    if (state == State::Running && running.isEmpty() && next >= total()) {
        state = State::Complete;
        emit finished();
    }
}

void ProbeBatch::launch(int index) {
    auto* probe = new QProcess(this);
    running.insert(probe, index);
    // At the caller's priority, as one probe after another runs: the user
    // waits for them, and below the other programs of a busy machine they
    // starved. The window thread needs no head start: it wakes only for the
    // probes' events and then runs briefly (bench/open measures both).
    const auto output = std::make_shared<ProbeOutput>(files[index]);
    connect(probe, &QProcess::finished, this, [this, probe, output] {
        probeEnded(probe, probe->property(kTimedOut).toBool() ? QString() : output->duration());
    });
    connect(probe, &QProcess::errorOccurred, this, [this, probe](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) // no finished() follows
            probeEnded(probe, QString());
    });
    if (timeoutMs >= 0) {
        // The limit counts from the start, as runProbe()'s deadline does; the
        // killed probe ends through finished() like any other.
        auto* limit = new QTimer(probe);
        limit->setSingleShot(true);
        connect(limit, &QTimer::timeout, probe, [probe] {
            probe->setProperty(kTimedOut, true);
            probe->kill();
        });
        limit->start(timeoutMs);
    }
    startProbe(*probe, programPath, output);
}

void ProbeBatch::probeEnded(QProcess* probe, const QString& duration) {
    const auto found = running.constFind(probe);
    if (found == running.constEnd())
        return;
    const int index = found.value();
    running.erase(found);
    if (auto* limit = probe->findChild<QTimer*>())
        limit->stop();
    // Not deleted here: this runs inside one of the probe's own signals.
    probe->disconnect(this);
    probe->deleteLater();
    results[index] = duration;
    ++done;
    emit progress(done, total());
    launchProbes();
}
