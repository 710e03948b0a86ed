#pragma once

// A fake of the engine interface for controller and window tests: it records
// each intent as a short text and reports only what the test emits.
//
//   auto* engine = IntentEngine::install(controller);
//   controller.open(source, OpenMode::Anew);
//   QCOMPARE(engine->take(), QStringList{"start clip.mkv volume 50 from 0"});
//   emit engine->ended(true); // the engine's end of file

#include <QFileInfo>
#include <QStringList>
#include <memory>

#include "engine/Engine.h"
#include "engine/PlaybackController.h"

// No signals of its own, so no moc: it emits the interface's.
class IntentEngine : public Engine {
public:
    static IntentEngine* install(PlaybackController& controller) {
        auto engine = std::make_unique<IntentEngine>();
        IntentEngine* fake = engine.get();
        controller.setEngine(std::move(engine));
        return fake;
    }

    QStringList intents;
    EngineStart lastStart;
    int shots = 0;
    bool held = false;
    bool running = false;

    // The intents so far, cleared; the refresh polls ("times") left out.
    QStringList take() {
        QStringList taken = intents;
        taken.removeAll(QStringLiteral("times"));
        intents.clear();
        return taken;
    }

    void start(const QString&, const EngineStart& how) override {
        lastStart = how;
        held = running = true;
        shots = 0;
        intents << QStringLiteral("start %1 volume %2 from %3")
                       .arg(QFileInfo(how.source.path).fileName())
                       .arg(how.volume)
                       .arg(how.source.startSecond);
    }
    bool hasEngine() const override { return held; }
    bool isRunning() const override { return running; }
    void pause() override { intents << QStringLiteral("pause"); }
    void resume() override { intents << QStringLiteral("resume"); }
    void askTimes() override { intents << QStringLiteral("times"); }
    void seek(qint64 second) override { intents << QStringLiteral("seek %1").arg(second); }
    void setVolume(int value, Pausing pausing) override {
        intents << QStringLiteral("volume %1%2").arg(value).arg(keeps(pausing));
    }
    void chooseAudio(int stream, Pausing pausing) override {
        intents << QStringLiteral("audio %1%2").arg(stream).arg(keeps(pausing));
    }
    void chooseSubtitle(int stream, Pausing pausing) override {
        intents << QStringLiteral("subtitle %1%2").arg(stream).arg(keeps(pausing));
    }
    void chooseChannel(AudioChannel channel) override {
        intents << (channel == AudioChannel::Left    ? QStringLiteral("channel left")
                    : channel == AudioChannel::Right ? QStringLiteral("channel right")
                                                     : QStringLiteral("channel stereo"));
    }
    bool requestSnapshot() override {
        if (!running)
            return false;
        ++shots;
        intents << QStringLiteral("snapshot");
        return true;
    }
    void releaseSnapshot(const QString& file) override { intents << QStringLiteral("release ") + file; }
    void forgetSnapshots() override { shots = 0; }
    int pendingSnapshots() const override { return shots; }
    // A quitting engine keeps running until the test reports its end.
    void quit() override { intents << QStringLiteral("quit"); }
    void end() override {
        if (held)
            intents << QStringLiteral("end");
        held = running = false;
    }
    void discard() override {
        if (held)
            intents << QStringLiteral("discard");
        held = running = false;
    }

private:
    static QString keeps(Pausing pausing) {
        return pausing == Pausing::Keeps ? QStringLiteral(" keeping pause") : QString();
    }
};
