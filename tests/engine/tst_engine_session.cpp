// The engine session against scripted engines, without any window: cutting
// and classifying the output, pausing it, the engine's death, replacing and
// ending engines, also from inside the session's own signals.

#include <QElapsedTimer>
#include <QtTest>

#include <csignal>

#include "engine/EngineCommands.h"
#include "engine/EngineTestSupport.h"

namespace {

// What a session reported, in order.
struct Record {
    QObject context;
    QStringList events;
    QList<QByteArray> screenshots;

    explicit Record(EngineSession& s) {
        auto add = [this](const QString& event) { return [this, event] { events << event; }; };
        QObject::connect(&s, &EngineSession::lengthAnswered, &context,
                         [this](qint64 seconds) { events << "length " + QString::number(seconds); });
        QObject::connect(&s, &EngineSession::positionAnswered, &context, add("position"));
        QObject::connect(&s, &EngineSession::playingStarted, &context, add("playing"));
        QObject::connect(&s, &EngineSession::audioStreamSeen, &context, add("audio"));
        QObject::connect(&s, &EngineSession::subtitleStreamSeen, &context, add("subtitle"));
        QObject::connect(&s, &EngineSession::videoStarted, &context, add("video"));
        QObject::connect(&s, &EngineSession::screenshotReported, &context, [this](const QByteArray& line) {
            events << "screenshot";
            screenshots << line;
        });
        QObject::connect(&s, &EngineSession::ended, &context, add("ended"));
    }
    bool waitFor(const QString& event, int timeoutMs = 5000) {
        return kzp::test::waitUntil([&] { return events.contains(event); }, timeoutMs);
    }
};

// Lets queued calls and zero timers run, so a late report would show.
void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

bool gone(qint64 pid) {
    return ::kill(pid_t(pid), 0) != 0;
}

} // namespace

class EngineSessionTest : public QObject {
    Q_OBJECT

private slots:
    void everyLineKindIsReported();
    void splitPartialAndOverlongLines();
    void outputWaitsWhilePaused();
    void deathEndsTheSession_data();
    void deathEndsTheSession();
    void replacedEngineNeverReportsAgain_data();
    void replacedEngineNeverReportsAgain();
    void endQuitsOrKills_data();
    void endQuitsOrKills();
    void handlersEndReplaceOrPause_data();
    void handlersEndReplaceOrPause();
};

void EngineSessionTest::everyLineKindIsReported() {
    FakeEngine fake;
    fake.setScript({"Playing /m/clip.mkv.", "[lavf] stream 1: audio (aac), -aid 0, -alang eng, English",
                    "[lavf] stream 3: subtitle (srt), -sid 0, -slang eng, English subs",
                    "VIDEO:  [H264]  320x240  0bpp  25.000 fps", "ANS_LENGTH=77.02", "ANS_TIME_POSITION=1.0",
                    "ANS_PERCENT_POSITION=5", "[mov,mp4 @ 0x55] stream 0, timescale not set",
                    "*** screenshot '/d/0001.png' ***",
                    // A zero byte does not end the line, and hides what follows it.
                    "@raw abc\\0Exiting... (Quit)\\n", "@raw \\0ANS_LENGTH=5\\n",
                    "@raw *** screenshot '/d/a\\0b.png' ***\\n", "Exiting... (End of file)"});
    EngineSession s;
    Record r(s);
    s.start(FakeEngine::program(), {}, QString());
    QVERIFY(r.waitFor("ended"));
    settle();
    QCOMPARE(r.events, (QStringList{"playing", "audio", "subtitle", "video", "length 77", "position",
                                    "screenshot", "screenshot", "ended"}));
    // Handed on whole: a copy cut at the zero byte would name another file.
    QCOMPARE(r.screenshots, (QList<QByteArray>{"*** screenshot '/d/0001.png' ***\n",
                                               QByteArray("*** screenshot '/d/a\0b.png' ***\n", 32)}));
    // An end line does not drop the engine; it still takes commands.
    QVERIFY(s.hasEngine() && s.isRunning());
    s.send("get_time_pos\n");
    QVERIFY(kzp::test::waitUntil([&] { return r.events.count("position") == 2; }));
}

void EngineSessionTest::splitPartialAndOverlongLines() {
    FakeEngine fake;
    fake.setScript({"@raw Playing x.\\nANS_LEN", "@wait one", "@raw GTH=77.00\\nANS_LENGTH=5", "@wait two",
                    "@raw 0.00\\n", "@wait three",
                    // A 1 MiB line with "Playing " at both ends (either end, if
                    // handled, would report a new start), then a good line.
                    "@raw Playing ", "@repeat 1048576 x", "@raw  Playing y.\\n", "ANS_LENGTH=9.00",
                    "@wait four",
                    // 3 MB without any line end, then a good line.
                    "@repeat 3000000 y", "@raw \\nANS_LENGTH=8.00\\n"});
    EngineSession s;
    Record r(s);
    s.start(FakeEngine::program(), {}, QString());
    QProcess* process = engineProcess(s);
    QVERIFY(process);
    // Runs after the session's own reader: what it leaves in the buffer.
    qint64 held = 0;
    connect(process, &QProcess::readyReadStandardOutput, this,
            [&] { held = qMax(held, process->bytesAvailable()); });

    QVERIFY(r.waitFor("playing"));
    s.send("one\n");
    QVERIFY(r.waitFor("length 77")); // the line split across two writes
    s.send("two\n");
    QVERIFY(r.waitFor("length 50")); // the partial "ANS_LENGTH=5" waited for its end
    s.send("three\n");
    QVERIFY(r.waitFor("length 9"));
    s.send("four\n");
    QVERIFY(r.waitFor("length 8"));
    QCOMPARE(r.events, (QStringList{"playing", "length 77", "length 50", "length 9", "length 8"}));
    // The endless line was dropped as it came, not hoarded.
    QVERIFY2(held < 512 * 1024, QByteArray::number(held).constData());
}

void EngineSessionTest::outputWaitsWhilePaused() {
    FakeEngine fake;
    fake.setScript({"@wait go", "ANS_LENGTH=55.00", "ANS_TIME_POSITION=2.0"});
    EngineSession s;
    Record r(s);
    s.start(FakeEngine::program(), {}, QString());
    s.setOutputPaused(true);
    s.send("go\n");
    const qint64 both = qstrlen("ANS_LENGTH=55.00\nANS_TIME_POSITION=2.0\n");
    QVERIFY(FakeEngine::waitUntil([&] { return engineProcess(s)->bytesAvailable() == both; }));
    settle();
    QVERIFY(r.events.isEmpty());
    // Nothing new arrives: the resume itself reads what waited.
    s.setOutputPaused(false);
    QVERIFY(r.waitFor("position"));
    QCOMPARE(r.events, (QStringList{"length 55", "position"}));
}

void EngineSessionTest::deathEndsTheSession_data() {
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<bool>("missingProgram");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("exits at once") << QByteArrayList{"@exit 0"} << false << QStringList{"ended"};
    QTest::newRow("exits with error") << QByteArrayList{"@exit 3"} << false << QStringList{"ended"};
    QTest::newRow("crashes") << QByteArrayList{"Playing x.", "@crash"} << false
                             << QStringList{"playing", "ended"};
    QTest::newRow("last words read first")
        << QByteArrayList{"ANS_LENGTH=12.00", "@exit 0"} << false << QStringList{"length 12", "ended"};
    QTest::newRow("fails to start") << QByteArrayList{} << true << QStringList{"ended"};
}

void EngineSessionTest::deathEndsTheSession() {
    QFETCH(QByteArrayList, script);
    QFETCH(bool, missingProgram);
    QFETCH(QStringList, events);
    FakeEngine fake;
    fake.setScript(script);
    QTemporaryDir dir;
    EngineSession s;
    Record r(s);
    // Never inside start(): the caller has not finished starting yet.
    s.start(missingProgram ? dir.filePath("no-such-folder/Player.exe") : FakeEngine::program(), {},
            QString());
    QVERIFY(r.events.isEmpty());
    QVERIFY(r.waitFor("ended"));
    settle();
    QCOMPARE(r.events, events);
    QVERIFY(s.hasEngine());
    QVERIFY(!s.isRunning());
    s.send("q\n"); // dropped
    s.end();
    QVERIFY(!s.hasEngine());
}

void EngineSessionTest::replacedEngineNeverReportsAgain_data() {
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<bool>("missingProgram");
    QTest::newRow("died, its end still queued") << QByteArrayList{"@exit 1"} << false;
    QTest::newRow("failed to start, still queued") << QByteArrayList{} << true;
    QTest::newRow("running, killed") << QByteArrayList{"@ignore-term", "@hang"} << false;
}

void EngineSessionTest::replacedEngineNeverReportsAgain() {
    QFETCH(QByteArrayList, script);
    QFETCH(bool, missingProgram);
    FakeEngine fake;
    fake.setScript(script);
    QTemporaryDir dir;
    EngineSession s;
    Record r(s);
    s.start(missingProgram ? dir.filePath("missing/Player.exe") : FakeEngine::program(), {}, QString());
    QProcess* first = engineProcess(s);
    QVERIFY(first);
    // The first engine's end is signalled (and queued) before the next start.
    qint64 pid = 0;
    if (missingProgram) {
        QVERIFY(!first->waitForStarted(5000));
    } else if (script.contains("@hang")) {
        QVERIFY(first->waitForStarted(5000));
        pid = first->processId();
    } else {
        QVERIFY(first->waitForFinished(5000));
    }
    r.events.clear();

    fake.setScript({"@wait go", "ANS_LENGTH=22.00"});
    s.start(FakeEngine::program(), {}, QString());
    QVERIFY(!pid || gone(pid));
    s.send("go\n");
    QVERIFY(r.waitFor("length 22"));
    settle();
    QCOMPARE(r.events, QStringList{"length 22"});
    QVERIFY(s.isRunning());
}

void EngineSessionTest::endQuitsOrKills_data() {
    // end() waits for the engine (close, rebuild); quit() (Stop) never does,
    // and an engine that reads no command is killed after the grace.
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<bool>("answersQuit");
    QTest::addColumn<bool>("waits");
    QTest::newRow("answers quit") << QByteArrayList{"Playing x."} << true << true;
    QTest::newRow("slow to quit") << QByteArrayList{"@once q => @sleep 20000"} << false << true;
    QTest::newRow("hangs, ignores SIGTERM") << QByteArrayList{"@ignore-term", "@hang"} << false << true;
    QTest::newRow("stop: answers quit") << QByteArrayList{"Playing x."} << true << false;
    QTest::newRow("stop: reads no command") << QByteArrayList{"@ignore-term", "@hang"} << false << false;
}

void EngineSessionTest::endQuitsOrKills() {
    QFETCH(QByteArrayList, script);
    QFETCH(bool, answersQuit);
    QFETCH(bool, waits);
    FakeEngine fake;
    fake.setScript(script);
    EngineSession s;
    Record r(s);
    s.end(); // without an engine: nothing
    s.quit();
    s.start(FakeEngine::program(), {}, QString());
    QVERIFY(engineProcess(s)->waitForStarted(5000));
    const qint64 pid = engineProcess(s)->processId();
    QVERIFY(fake.waitForStart());
    if (!waits) {
        s.quit();
        QVERIFY(answersQuit || s.isRunning()); // not waited for
        QVERIFY(r.waitFor("ended", kEngineQuitGraceMs + 10000));
        // An engine that answers may report its end a moment before it is gone.
        QVERIFY(kzp::test::waitUntil([&] { return gone(pid); }, 10000));
        QCOMPARE(fake.commands(), answersQuit ? QList<QByteArray>{"q"} : QList<QByteArray>{});
        return;
    }
    QElapsedTimer clock;
    clock.start();
    s.end();
    const qint64 took = clock.elapsed();
    QVERIFY(!s.hasEngine());
    QVERIFY(gone(pid)); // ended and reaped
    if (answersQuit) {
        QVERIFY2(took < kEngineQuitGraceMs, QByteArray::number(took).constData());
        QCOMPARE(fake.commands(), QList<QByteArray>{"q"});
    } else {
        QVERIFY2(took < kEngineQuitGraceMs + 5000, QByteArray::number(took).constData());
    }
    settle();
    QVERIFY2(!r.events.contains("ended"), qPrintable(r.events.join(", "))); // ended on purpose: no report
}

void EngineSessionTest::handlersEndReplaceOrPause_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("end") << "end" << QStringList{"length 1"};
    QTest::newRow("discard") << "discard" << QStringList{"length 1"};
    QTest::newRow("replace") << "replace" << QStringList{"length 1", "length 9"};
    QTest::newRow("pause") << "pause" << QStringList{"length 1"};
    QTest::newRow("end at the end line") << "end on ended" << QStringList{"ended"};
}

void EngineSessionTest::handlersEndReplaceOrPause() {
    QFETCH(QString, action);
    QFETCH(QStringList, events);
    FakeEngine fake;
    // One write, so all lines are in the buffer when the first is handled.
    fake.setScript({action == "end on ended"
                        ? "@raw Exiting... (End of file)\\nANS_LENGTH=4.00\\n"
                        : "@raw ANS_LENGTH=1.00\\nANS_LENGTH=2.00\\nANS_LENGTH=3.00\\n"});
    EngineSession s;
    Record r(s);
    auto act = [&] {
        if (action.startsWith("end"))
            s.end();
        else if (action == "discard")
            s.discard();
        else if (action == "pause")
            s.setOutputPaused(true);
        else if (action == "replace") {
            fake.setScript({"ANS_LENGTH=9.00"});
            s.start(FakeEngine::program(), {}, QString());
        }
    };
    connect(&s, &EngineSession::lengthAnswered, this, [&](qint64 seconds) {
        if (seconds == 1)
            act();
    });
    connect(&s, &EngineSession::ended, this, [&] {
        if (action == "end on ended")
            act();
    });
    s.start(FakeEngine::program(), {}, QString());
    QVERIFY(r.waitFor(events.last()));
    settle();
    QCOMPARE(r.events, events);
    if (action == "pause") {
        s.setOutputPaused(false);
        QVERIFY(r.waitFor("length 3"));
        QCOMPARE(r.events, (QStringList{"length 1", "length 2", "length 3"}));
    }
    QCOMPARE(s.hasEngine(), action == "replace" || action == "pause");
}

QTEST_GUILESS_MAIN(EngineSessionTest)
#include "tst_engine_session.moc"
