#pragma once

// Shared pieces of the engine tests: sources to play, the controller's
// refresh timer and the session's process (to watch the clock and the pipe
// without fixed waits), and the snapshot name pattern.

#include <QFile>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "common/FakeEngine.h"
#include "engine/EngineSession.h"
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
