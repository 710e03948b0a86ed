#pragma once

// The playback engine as the controller sees it: intents in, typed reports
// out. One implementation speaks MPlayer's slave protocol (MPlayerEngine);
// tests put a fake in its place. Nothing here knows an engine's text.

#include <QByteArray>
#include <QObject>
#include <QString>

#include "engine/Source.h"

enum class AudioChannel { Stereo, Left, Right };

// Whether a change made while paused leaves the engine paused.
enum class Pausing { Resumes, Keeps };

// What a start needs besides the source.
struct EngineStart {
    Source source;
    quint64 windowId = 0;  // the window the engine draws into
    QString shotFolder;    // where the engine writes screenshots (trailing separator)
    QString workingFolder; // empty: the player's own
    int volume = 50;       // set before anything plays
};

class Engine : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // A chance to learn, once and beside the window, what every start would
    // otherwise find out anew; `program` is the engine that starts will run.
    virtual void prepare(const QString& program) { Q_UNUSED(program); }
    // Starts an engine for the source (one still held is killed first and
    // never reports again), sets its volume and goes to the start second.
    virtual void start(const QString& program, const EngineStart& start) = 0;
    // An engine was started and not ended on purpose (it may have exited).
    virtual bool hasEngine() const = 0;
    virtual bool isRunning() const = 0;

    // Holds the picture; reports wait until resume().
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Asks for the length and the position (answered by lengthAnswered and positionAnswered).
    virtual void askTimes() = 0;
    virtual void seek(qint64 second) = 0;
    // 0 to 100: the volume slider keeps a pause, the mute button resumes.
    virtual void setVolume(int value, Pausing pausing) = 0;
    // Stream numbers count from 0; -1 hides subtitles, -2 disables audio.
    virtual void chooseAudio(int stream, Pausing pausing) = 0;
    virtual void chooseSubtitle(int stream, Pausing pausing) = 0;
    virtual void chooseChannel(AudioChannel channel) = 0;
    // False when no running engine takes the request.
    virtual bool requestSnapshot() = 0;
    // The picture of snapshotTaken was saved elsewhere: the engine's file goes.
    virtual void releaseSnapshot(const QString& file) = 0;
    // Pending snapshot requests lapse (the playback they were for ended).
    virtual void forgetSnapshots() = 0;
    virtual int pendingSnapshots() const = 0;

    // Asks the engine to quit without waiting; one that does not quit within
    // a short grace is killed. Its end is still reported.
    virtual void quit() = 0;
    // Quits the engine and waits for it; afterwards nothing is reported.
    virtual void end() = 0;
    // Kills it at once (it is being replaced); nothing more is reported.
    virtual void discard() = 0;

signals:
    void playingStarted();
    void lengthAnswered(qint64 seconds);
    void positionAnswered();
    void audioStreamSeen();
    void subtitleStreamSeen();
    void videoStarted();
    // A requested snapshot: the engine's picture, complete, and its file.
    void snapshotTaken(const QByteArray& png, const QString& file);
    // The engine said playback ended, or it exited or failed to start.
    void ended(bool engineSaidSo);
};
