// An engine that floods its output for ten seconds must not freeze the
// window: the session reads within a time budget and hands the event loop
// back. A long load test, labelled "perf" and kept out of the everyday run.

#include <QElapsedTimer>
#include <QtTest>

#include <ctime>

#include "common/TestEnv.h"
#include "engine/EngineTestSupport.h"
#include "ui/DRUI.h"

KZP_TEMPORARY_HOME()

class EngineFloodTest : public QObject {
    Q_OBJECT

private slots:
    void floodKeepsWindowResponsive();
};

void EngineFloodTest::floodKeepsWindowResponsive() {
    FakeEngine fake;
    fake.setScript({"@flood 10 ANS_TIME_POSITION=1.0", "Exiting... (End of file)"});
    DRUI w;
    w.setupWindow();
    w.setEnginePath(FakeEngine::program());
    QTemporaryDir dir;
    PlaybackController& c = w.playback();
    c.setSource(sourceAt(makeSource(dir, "flood.mkv"), SourceKind::File, 100));
    w.VideoPlay();
    // A stall is work the window's thread does between two turns of its
    // event loop: measured in that thread's CPU time, so a busy machine that
    // merely delays us is not counted. The wall-clock gap is reported too.
    auto threadCpuMs = [] {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    };
    QElapsedTimer clock;
    clock.start();
    qint64 lastWall = 0;
    qint64 worstWall = 0;
    double lastCpu = threadCpuMs();
    double worstCpu = 0;
    qint64 backlog = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const double cpu = threadCpuMs();
        worstWall = qMax(worstWall, now - lastWall);
        worstCpu = qMax(worstCpu, cpu - lastCpu);
        lastWall = now;
        lastCpu = cpu;
        if (QProcess* process = engineProcess(mplayerSession(c)))
            backlog = qMax(backlog, process->bytesAvailable());
    });
    probe.start(1);
    QVERIFY(FakeEngine::waitUntil([&] { return c.isStopped(); }, 60000));
    probe.stop();
    qInfo("flood: %lld ms; longest stall %.1f ms of CPU (%lld ms wall); largest backlog %lld bytes",
          clock.elapsed(), worstCpu, worstWall, backlog);
    QVERIFY(clock.elapsed() >= 9000); // the flood really ran before its end line
    QVERIFY2(worstCpu < 100, QByteArray::number(worstCpu).constData());
    QVERIFY2(backlog < 16 * 1024 * 1024, QByteArray::number(backlog).constData());
    QCOMPARE(c.page(), Page::Start);
    QVERIFY(w.part<QWidget>("startPage")->isVisibleTo(&w));
}

QTEST_MAIN(EngineFloodTest)
#include "tst_engine_flood.moc"
