#pragma once

// MPlayer's process and its output: starts it with an argument list,
// writes commands, cuts its output into lines, classifies them and reports
// what they mean. Ending the engine (quit, grace, kill) happens here only.

#include <QByteArray>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "engine/EngineLine.h"

class QProcess;

class EngineSession : public QObject {
    Q_OBJECT

public:
    explicit EngineSession(QObject* parent = nullptr);
    ~EngineSession() override; // ends a running engine

    // Starts a new engine; one still held is killed first and never reports
    // again. An empty working directory keeps the player's own.
    void start(const QString& program, const QStringList& arguments, const QString& workingDirectory);
    // An engine was started and not ended on purpose (it may have exited).
    bool hasEngine() const { return process != nullptr; }
    bool isRunning() const;
    // A variable the engines started from now on get besides the player's own.
    void setEnvironmentValue(const QByteArray& name, const QByteArray& value);
    // Output read while paused waits until it is resumed.
    void setOutputPaused(bool paused);
    bool isOutputPaused() const { return outputPaused; }
    // Asks the engine to quit and, without waiting here, kills it when it has
    // not exited within the grace: an engine blocked opening a side file reads
    // no commands. Its end is reported as usual.
    void quit();
    // Asks the engine to quit and kills it when it has not exited within the
    // grace; afterwards there is no engine and nothing more is reported.
    void end();
    // Kills the engine at once (it is being replaced).
    void discard();

    // Reads and handles buffered output now (tests and the end of an engine).
    void readOutput();
    // Unread output dropped over the cap since the engine started.
    qint64 droppedBytes() const { return dropped; }

signals:
    void lengthAnswered(qint64 seconds);
    void positionAnswered();
    void playingStarted();
    void audioStreamSeen();
    void subtitleStreamSeen();
    void videoStarted();
    void screenshotReported(const QByteArray& line);
    // The engine said playback ended (true), or it exited or failed to start.
    void ended(bool engineSaidSo);

private:
    // Command text is MPlayer's: only its implementation writes it (and the
    // session's own protocol test). Dropped without a running engine; while
    // it starts, the process keeps it.
    friend class MPlayerEngine;
    friend class EngineSessionTest;
    void send(const QByteArray& command);

    void scheduleRead();
    void limitBacklog();
    void handleLine(const QByteArray& line);
    void processEnded(QProcess* which);
    QProcess* release();
    // Ends the engine held now: quit and grace first when askFirst, else killed at once.
    void finish(bool askFirst);

    QProcess* process = nullptr;
    QProcessEnvironment environment; // empty: the player's own
    bool outputPaused = false;
    bool readScheduled = false;
    bool skippingLongLine = false; // dropping the rest of an overlong line
    EngineLineClassifier lines;    // the running engine's lines, in order
    qint64 dropped = 0;
};
