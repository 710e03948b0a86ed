// Playback figures, side by side in one run:
//  - CPU time of the player process alone and of the engine during 30 s of
//    real playback (real engine through Player.exe; needs an X display),
//    each as a percentage of one core;
//  - latency from a position-slider release to the fake engine receiving the
//    seek command (median and p99 over 1,000 seeks).
// Usage: bench_playback [playback-seconds] [seeks]   (run.sh wraps it in Xvfb)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

#include "common/FakeEngine.h"
#include "common/MediaClips.h"
#include "common/TestEnv.h"
#include "engine/EngineTestSupport.h"
#include "ui/DRUI.h"

namespace {

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage); // this process only, not its children
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double childCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the file (utime, stime) are 11 and 12 after the name.
    const double ticks = double(fields.value(11).toLongLong() + fields.value(12).toLongLong());
    return ticks / double(sysconf(_SC_CLK_TCK));
}

qint64 monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Runs the event loop idle, as the application would, for `ms`.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Plays `path` as a file of `length` seconds.
void playFile(DRUI& window, const QString& path, qint64 length) {
    window.playback().setCurrentSource(path);
    window.playback().setSourceKind(SourceKind::File);
    window.playback().setMediaLength(length);
    window.VideoPlay();
}

// The engine process the window's playback holds.
QProcess* engineOf(DRUI& window) {
    return engineProcess(*window.playback().session());
}

struct CpuFigures {
    bool ran = false;
    QString why;
    double seconds = 0;
    double player = 0;
    double engine = 0;
};

CpuFigures measurePlayback(int seconds) {
    CpuFigures figures;
    if (QStandardPaths::findExecutable("mplayer").isEmpty() ||
        QStandardPaths::findExecutable("ffmpeg").isEmpty()) {
        figures.why = "mplayer or ffmpeg missing";
        return figures;
    }
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        figures.why = "no X display (use run.sh)";
        return figures;
    }
    QTemporaryDir dir;
    const QString clip = dir.filePath("bench.mkv");
    kzp::test::ClipOptions options;
    options.size = QStringLiteral("640x360");
    options.seconds = seconds + 10;
    options.encoding = {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"};
    options.timeoutMs = 300000;
    options.channels = kzp::test::Channels::Forwarded;
    const kzp::test::ProgramRun ffmpeg = kzp::test::makeClip(clip, options);
    if (!ffmpeg.finished || ffmpeg.exitCode != 0) {
        figures.why = "could not make the clip";
        return figures;
    }
    qputenv("KZP_AO", "null");
    qputenv("KZP_VO", "x11");

    DRUI window;
    window.setupWindow();
    window.show();
    runFor(500);
    playFile(window, clip, seconds + 10);
    if (!engineOf(window) || !engineOf(window)->waitForStarted(5000)) {
        figures.why = "engine did not start";
        return figures;
    }
    runFor(3000); // past start-up
    const qint64 pid = engineOf(window)->processId();
    const double player0 = processCpuSeconds();
    const double engine0 = childCpuSeconds(pid);
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double player1 = processCpuSeconds();
    const double engine1 = childCpuSeconds(pid);
    if (window.playback().isStopped() || engine1 < 0) {
        figures.why = "playback ended early";
        return figures;
    }
    window.endEngine();
    figures.ran = true;
    figures.seconds = elapsed;
    figures.player = 100.0 * (player1 - player0) / elapsed;
    figures.engine = 100.0 * (engine1 - engine0) / elapsed;
    return figures;
}

struct LatencyFigures {
    bool ran = false;
    QString why;
    int count = 0;
    double median = 0;
    double p99 = 0;
    double worst = 0;
};

LatencyFigures measureSeekLatency(int seeks) {
    LatencyFigures figures;
    FakeEngine fake;
    const QString timeLog = fake.dir.filePath("times.log");
    qputenv("FAKE_ENGINE_TIMELOG", QFile::encodeName(timeLog));
    fake.setLength(100000);
    QTemporaryDir dir;
    const QString source = dir.filePath("seek.mkv");
    QFile(source).open(QIODevice::WriteOnly);

    DRUI window;
    window.setupWindow();
    window.setEnginePath(FakeEngine::program());
    playFile(window, source, 100000);
    if (!fake.waitForCommand("volume 50 2")) {
        figures.why = "fake engine did not start";
        qunsetenv("FAKE_ENGINE_TIMELOG");
        return figures;
    }
    QFile log(timeLog);
    log.open(QIODevice::ReadOnly);
    QByteArray pending;
    QList<double> latencies;
    for (int i = 0; i < seeks; ++i) {
        const int target = 1000 + i;
        const QByteArray expected = "seek " + QByteArray::number(target) + " 2";
        window.SliderPress();
        window.SliderSeek(target);
        const qint64 released = monotonicNs();
        window.SliderRelease();
        qint64 received = 0;
        QElapsedTimer guard;
        guard.start();
        while (!received && guard.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            pending += log.readAll();
            int newline;
            while ((newline = pending.indexOf('\n')) >= 0) {
                const QByteArray line = pending.left(newline);
                pending.remove(0, newline + 1);
                const int blank = line.indexOf(' ');
                if (line.mid(blank + 1) == expected)
                    received = line.left(blank).toLongLong();
            }
        }
        if (!received) {
            figures.why = "a seek never arrived";
            break;
        }
        latencies << double(received - released) / 1e6;
    }
    window.endEngine();
    qunsetenv("FAKE_ENGINE_TIMELOG");
    if (latencies.size() != seeks)
        return figures;
    std::sort(latencies.begin(), latencies.end());
    figures.ran = true;
    figures.count = int(latencies.size());
    figures.median = latencies[latencies.size() / 2];
    figures.p99 = latencies[qMin(latencies.size() - 1, qsizetype(latencies.size() * 0.99))];
    figures.worst = latencies.last();
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    kzp::test::useTemporaryHome();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 30;
    const int seeks = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;

    const CpuFigures cpu = measurePlayback(seconds);
    const LatencyFigures latency = measureSeekLatency(seeks);

    std::printf("%-44s %-30s\n", "playback CPU (% of one core)", "seek latency (release -> engine)");
    if (cpu.ran)
        std::printf("%-44s %-30s\n",
                    qPrintable(QString::asprintf("player %.2f %%   engine %.2f %%   (%.1f s)", cpu.player,
                                                 cpu.engine, cpu.seconds)),
                    latency.ran ? qPrintable(QString::asprintf("median %.3f ms   p99 %.3f ms", latency.median,
                                                               latency.p99))
                                : qPrintable("not measured: " + latency.why));
    else
        std::printf("%-44s %-30s\n", qPrintable("not measured: " + cpu.why),
                    latency.ran ? qPrintable(QString::asprintf("median %.3f ms   p99 %.3f ms", latency.median,
                                                               latency.p99))
                                : qPrintable("not measured: " + latency.why));
    if (latency.ran)
        std::printf(
            "%-44s %-30s\n", "",
            qPrintable(QString::asprintf("worst %.3f ms over %d seeks", latency.worst, latency.count)));
    std::printf("targets: player < 1 %% of a core while playing; seek latency median < 2 ms\n");
    return (cpu.ran && latency.ran) ? 0 : 1;
}
