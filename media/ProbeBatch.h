#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include "media/Probe.h"

class QProcess;

// Probes the lengths of many files without blocking the thread it lives on:
// each probe is a process that the thread's event loop drives, and at most
// maxRunning of them run at once. File for file, the results are what
// runProbe() gives one after another (the same program, arguments, time limit
// and reading of standard error), in the order of the files, however the
// probes finish. The probes run at a lower priority than the caller, so that
// the thread's event loop keeps its turn on the processor.
class ProbeBatch : public QObject {
    Q_OBJECT

public:
    explicit ProbeBatch(QObject* parent = nullptr);
    ~ProbeBatch() override; // running probes are killed and reaped

    void setProgram(const QString& program) { programPath = program; }
    void setTimeout(int milliseconds) { timeoutMs = milliseconds; } // < 0: no limit
    int timeout() const { return timeoutMs; }
    void setMaxRunning(int count) { maxRunning = qMax(1, count); } // default: one per core, and one more
    int maxRunningProbes() const { return maxRunning; }

    // Starts probing `files`, unless a run is going on; a finished or
    // cancelled batch starts afresh. When nothing needs a process (no files,
    // no program) finished() comes before this returns.
    void start(const QStringList& files);
    // Kills the running probes, waits for them to end and ends the batch:
    // it is not complete, and finished() follows at once.
    void cancel();

    bool isRunning() const { return state == State::Running; }
    bool isComplete() const { return state == State::Complete; } // every file probed
    int total() const { return static_cast<int>(files.size()); }
    int finishedCount() const { return done; }
    // The length texts in the order of the files (empty: no duration).
    QStringList durations() const { return results; }

signals:
    void progress(int finished, int total);
    void finished();

private:
    enum class State { Idle, Running, Complete, Cancelled };

    void launchProbes();
    void launch(int index);
    void probeEnded(QProcess* process, const QString& duration);
    void stopAll();

    QString programPath;
    int timeoutMs = kProbeTimeoutMs;
    int maxRunning = 1;
    State state = State::Idle;
    QStringList files;
    QStringList results;
    int next = 0;
    int done = 0;
    bool launching = false;
    QHash<QProcess*, int> running; // probe -> index of its file
};
