#pragma once

// Shared pieces of the engine tests: sources to play, the controller's
// refresh timer and the session's process (to watch the clock and the pipe
// without fixed waits), the snapshot name pattern, and a controller wired to
// the fake engine.

#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "common/FakeEngine.h"
#include "common/Playback.h"
#include "engine/EngineSession.h"
#include "engine/MPlayerEngine.h"
#include "engine/PlaybackController.h"

// A file to play (its content does not matter to the fake engine).
inline QString makeSource(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("not really a video");
    return path;
}

// The name a snapshot is saved under: Snapshot-YYYY-MM-DD hh-mm-ss.<format>.
inline bool isSnapshotName(const QString& name, const QString& format = QStringLiteral("JPG")) {
    return QRegularExpression("^Snapshot-\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\." + format + "$")
        .match(name)
        .hasMatch();
}

// The controller's refresh timer: whether the clock runs and the engine is polled.
inline QTimer* refreshTimer(const PlaybackController& controller) {
    return controller.findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
}

// The engine process the session holds now (null without one).
inline QProcess* engineProcess(const EngineSession& session) {
    return session.findChild<QProcess*>(QString(), Qt::FindDirectChildrenOnly);
}

// The commands received, without the refresh polls.
inline QList<QByteArray> withoutPolls(QList<QByteArray> commands) {
    commands.removeAll("get_time_length");
    commands.removeAll("get_time_pos");
    return commands;
}

// A controller wired to the fake engine, with its own data folder.
struct Rig {
    FakeEngine fake;
    QTemporaryDir media;
    QTemporaryDir data;
    PlaybackController c;

    Rig() {
        c.setEngineProgram(FakeEngine::program());
        c.setDataFolder(folder());
    }
    QString folder() const { return data.path() + '/'; }
    // Plays a new file (or, for DVDs and discs, a folder) of `length` seconds.
    QString play(const QString& name = QStringLiteral("clip.mkv"), qint64 length = 100,
                 SourceKind kind = SourceKind::File) {
        QString source = media.filePath(name);
        if (kind == SourceKind::File)
            makeSource(media, name);
        else
            QDir().mkpath(source);
        c.open(sourceAt(source, kind, length), OpenMode::PauseOrResume);
        return source;
    }
    // Everything written before this call has reached the engine: a poll
    // sent after it has arrived.
    bool roundTrip() { return engineCaughtUp(c, fake); }
    bool timerActive() const { return refreshTimer(c)->isActive(); }
    // A screenshot report as if the engine had printed it.
    void feed(const QByteArray& line) { emit mplayerSession(c).screenshotReported(line + '\n'); }
    // Largest unread engine output seen while `done` does not hold; -1 on time-out.
    template <typename Predicate> qint64 largestBacklog(Predicate done, int timeoutMs) {
        qint64 largest = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (QProcess* engine = engineProcess(mplayerSession(c)))
                largest = qMax(largest, engine->bytesAvailable());
        });
        probe.start(1);
        return FakeEngine::waitUntil(done, timeoutMs) ? largest : -1;
    }
};
