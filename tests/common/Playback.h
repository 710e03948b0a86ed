#pragma once

// Sources and the MPlayer session of a playback controller, for tests that
// drive the real engine interface.

#include "common/FakeEngine.h"
#include "engine/MPlayerEngine.h"
#include "engine/PlaybackController.h"

// A source value for `path`.
inline Source sourceAt(const QString& path, SourceKind kind = SourceKind::File, qint64 length = 0) {
    Source source;
    source.path = path;
    source.kind = kind;
    source.length = length;
    return source;
}

// The MPlayer process session behind a controller (its default engine).
inline EngineSession& mplayerSession(const PlaybackController& controller) {
    return static_cast<MPlayerEngine&>(controller.playbackEngine()).processSession();
}

// Everything written to the engine so far has reached the fake engine: a poll
// written after it has arrived.
inline bool engineCaughtUp(Engine& engine, const FakeEngine& fake) {
    const int polls = fake.count("get_time_pos");
    engine.askTimes();
    return fake.waitForCommand("get_time_pos", polls + 1);
}
inline bool engineCaughtUp(PlaybackController& controller, const FakeEngine& fake) {
    return engineCaughtUp(controller.playbackEngine(), fake);
}
