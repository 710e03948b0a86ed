#pragma once

// The engine as MPlayer in slave mode: its command line, its command texts,
// its output lines (through the session's classifier) and its screenshot
// reports. The only place that knows MPlayer's text.

#include "engine/Engine.h"
#include "engine/EngineSession.h"
#include "engine/Snapshots.h"

class QProcess;

class MPlayerEngine : public Engine {
    Q_OBJECT

public:
    explicit MPlayerEngine(QObject* parent = nullptr);

    // Asks the launcher what the display offers, so that each start skips
    // that question (it costs tens of milliseconds before the engine runs).
    void prepare(const QString& program) override;
    void start(const QString& program, const EngineStart& start) override;
    bool hasEngine() const override { return session.hasEngine(); }
    bool isRunning() const override { return session.isRunning(); }
    void pause() override;
    void resume() override;
    void askTimes() override;
    void seek(qint64 second) override;
    void setVolume(int value, Pausing pausing) override;
    void chooseAudio(int stream, Pausing pausing) override;
    void chooseSubtitle(int stream, Pausing pausing) override;
    void chooseChannel(AudioChannel channel) override;
    bool requestSnapshot() override;
    void releaseSnapshot(const QString& file) override;
    void forgetSnapshots() override { shots.end(); }
    int pendingSnapshots() const override { return shots.pending(); }
    void quit() override { session.quit(); }
    void end() override;
    void discard() override { session.discard(); }

    // The process and its lines, for tests that watch the pipe.
    EngineSession& processSession() { return session; }

private:
    void handleScreenshot(const QByteArray& line);
    void collectShot(const QByteArray& reported, QString name, int attemptsLeft);

    QProcess* asking = nullptr; // the launcher answering prepare()
    EngineSession session;
    EngineSnapshots shots; // the user's pending snapshot requests
};
