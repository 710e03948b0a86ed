// Playback figures, side by side in one run:
//  - CPU time of the player process alone and of the engine (with the small
//    helper it may start) during 30 s of real playback through Player.exe,
//    with the video output the launcher chooses for this display; then, at the
//    same picture size, the bare engine with the plain X11 output (scaled) and
//    with OpenGL, each as a percentage of one core (needs an X display);
//  - the bare engine's CPU on the plain X11 output with an ASS subtitle line
//    always shown, drawn without and with libass ("-ass"), alternating;
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
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <numeric>
#include <sys/resource.h>
#include <unistd.h>

#include "common/FakeEngine.h"
#include "common/MediaClips.h"
#include "common/TestEnv.h"
#include "engine/EngineCommands.h"
#include "engine/EngineTestSupport.h"
#include "tools/launcher/EngineArguments.h"
#include "ui/DRUI.h"

namespace {

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage); // this process only, not its children
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// utime + stime of one process in seconds, -1 when it is gone.
double cpuSecondsOf(qint64 pid, qint64* parent = nullptr) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Fields 4, 14 and 15 of the file (ppid, utime, stime) are 1, 11 and 12 after the name.
    if (parent)
        *parent = fields.value(1).toLongLong();
    const double ticks = double(fields.value(11).toLongLong() + fields.value(12).toLongLong());
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// The engine and its own children (the launcher may leave a helper beside it).
double childCpuSeconds(qint64 pid) {
    double total = cpuSecondsOf(pid);
    if (total < 0)
        return -1;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        qint64 parent = 0;
        bool number = false;
        const qint64 other = entry.toLongLong(&number);
        if (number && other != pid) {
            const double seconds = cpuSecondsOf(other, &parent);
            if (seconds > 0 && parent == pid)
                total += seconds;
        }
    }
    return total;
}

// The "-vo" value and the options after it on the engine's command line.
QString videoOutputOf(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> words = file.readAll().split('\0');
    const int at = int(words.indexOf("-vo"));
    QStringList shown;
    for (int i = at + 1;
         at >= 0 && i < words.size() && (i == at + 1 || words[i] == "-zoom" || words[i] == "-fs"); ++i)
        shown << QString::fromLocal8Bit(words[i]);
    return shown.join(' ');
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
    window.playback().setSource(sourceAt(path, SourceKind::File, length));
    window.VideoPlay();
}

// The engine process the window's playback holds.
QProcess* engineOf(DRUI& window) {
    return engineProcess(mplayerSession(window.playback()));
}

struct CpuFigures {
    bool ran = false;
    QString why;
    double seconds = 0;
    double player = 0;
    double engine = 0;
    QString output; // what the launcher chose
    QSize size;     // the video area
    double bareX11 = -1;
    double bareGl = -1;
};

// CPU of the bare engine with `output` into a native window of `size`,
// started with the player's own argument list (only the outputs changed, and
// without libass when `ass` is false); `first` goes before it.
double bareEngineCpu(const QString& clip, const QSize& size, const QByteArray& output,
                     const QStringList& options, int seconds, bool ass = true,
                     const QStringList& first = {}) {
    QWidget surface;
    surface.setAttribute(Qt::WA_NativeWindow);
    surface.setStyleSheet(QStringLiteral("background-color: black;"));
    surface.resize(size);
    surface.show();
    runFor(500);
    QTemporaryDir data;
    Source source;
    source.path = clip;
    QStringList arguments = engineArguments(quint64(surface.winId()), data.path() + '/', source);
    adaptEngineArguments(arguments, output, "null", options);
    if (!ass)
        arguments.removeAll(QLatin1String(kSubtitleRenderer));
    arguments = first + arguments;
    QProcess engine;
    engine.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    engine.start(QStringLiteral("mplayer"), arguments);
    if (!engine.waitForStarted(5000))
        return -1;
    runFor(3000);
    const double before = childCpuSeconds(engine.processId());
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double after = childCpuSeconds(engine.processId());
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    engine.write("q\n");
    if (!engine.waitForFinished(5000))
        engine.kill();
    engine.waitForFinished(5000);
    return after < 0 ? -1 : 100.0 * (after - before) / elapsed;
}

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
    options.rate = 30;
    options.seconds = seconds + 10;
    options.encoding = {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"};
    options.timeoutMs = 300000;
    options.channels = kzp::test::Channels::Forwarded;
    const kzp::test::ProgramRun ffmpeg = kzp::test::makeClip(clip, options);
    if (!ffmpeg.finished || ffmpeg.exitCode != 0) {
        figures.why = "could not make the clip";
        return figures;
    }
    // The launcher chooses the video output, as it does for a user.
    qputenv("KZP_AO", "null");
    qunsetenv("KZP_VO");

    {
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
        figures.output = videoOutputOf(pid);
        if (QWidget* surface = window.part<QWidget>(QStringLiteral("videoSurface")))
            figures.size = surface->size();
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
        figures.seconds = elapsed;
        figures.player = 100.0 * (player1 - player0) / elapsed;
        figures.engine = 100.0 * (engine1 - engine0) / elapsed;
    }
    figures.bareX11 = bareEngineCpu(clip, figures.size, "x11", {QStringLiteral("-zoom")}, seconds);
    figures.bareGl = bareEngineCpu(clip, figures.size, "gl", {}, seconds);
    figures.ran = figures.bareX11 > 0;
    if (!figures.ran)
        figures.why = "the bare engine did not play";
    return figures;
}

struct SubtitleFigures {
    QString why;              // empty once measured
    QList<double> runs[2][2]; // [line shown][with -ass]: one figure per round
};

// The engine's CPU on the software path (plain X11, scaled) with a subtitle
// line always shown from an ASS track, drawn without libass (plain text) and
// with it (styled), alternating, in a window the size of the video area.
SubtitleFigures measureSubtitles(const QSize& size, int seconds) {
    SubtitleFigures figures;
    QTemporaryDir dir;
    // Yellow, bold, outlined and shadowed, as styled tracks usually are.
    QByteArray ass = "[Script Info]\nScriptType: v4.00+\nPlayResX: 640\nPlayResY: 360\n\n[V4+ Styles]\n"
                     "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
                     "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
                     "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
                     "Style: Default,DejaVu Sans,28,&H0000FFFF,&H0000FFFF,&H00000000,&H80000000,-1,0,0,0,100,"
                     "100,0,0,1,2,1,2,10,10,20,1\n\n[Events]\n"
                     "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    for (int i = 0; i < (seconds + 10) / 2 + 1; ++i)
        ass += QStringLiteral("Dialogue: 0,0:%1:%2.00,0:%3:%4.00,Default,,0,0,0,,Line %5 of the subtitles, "
                              "long enough for two words more\n")
                   .arg(i * 2 / 60, 2, 10, QLatin1Char('0'))
                   .arg(i * 2 % 60, 2, 10, QLatin1Char('0'))
                   .arg((i * 2 + 2) / 60, 2, 10, QLatin1Char('0'))
                   .arg((i * 2 + 2) % 60, 2, 10, QLatin1Char('0'))
                   .arg(i + 1)
                   .toLatin1();
    QFile subtitles(dir.filePath("lines.ass"));
    if (!subtitles.open(QIODevice::WriteOnly) || subtitles.write(ass) != ass.size()) {
        figures.why = "could not write the subtitles";
        return figures;
    }
    subtitles.close();
    const QString clip = dir.filePath("subtitles.mkv");
    kzp::test::ClipOptions options;
    options.size = QStringLiteral("640x360");
    options.rate = 30;
    options.seconds = seconds + 10;
    options.subtitles = subtitles.fileName();
    options.encoding = {"-c:v",    "libx264", "-preset", "ultrafast", "-pix_fmt",
                        "yuv420p", "-c:a",    "aac",     "-c:s",      "ass"};
    options.timeoutMs = 300000;
    options.channels = kzp::test::Channels::Forwarded;
    if (!kzp::test::makeClip(clip, options).succeeded()) {
        figures.why = "could not make the clip";
        return figures;
    }
    const QStringList x11{QStringLiteral("-zoom"), QStringLiteral("-fs")};
    const QStringList track[2] = {{QStringLiteral("-nosub")}, {QStringLiteral("-sid"), QStringLiteral("0")}};
    for (int round = 0; round < 2; ++round)
        for (int shown = 0; shown < 2; ++shown)
            for (int ass = 0; ass < 2; ++ass) {
                const double cpu = bareEngineCpu(clip, size, "x11", x11, seconds, ass == 1, track[shown]);
                if (cpu < 0)
                    figures.why = "the bare engine did not play";
                figures.runs[shown][ass] << cpu;
            }
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
    SubtitleFigures subtitles;
    if (cpu.ran)
        subtitles = measureSubtitles(cpu.size, seconds);
    const LatencyFigures latency = measureSeekLatency(seeks);

    if (cpu.ran) {
        std::printf("playback CPU, %% of one core, %.1f s each, video area %dx%d, 640x360 30 fps H.264:\n",
                    cpu.seconds, cpu.size.width(), cpu.size.height());
        std::printf("  player process                 %6.2f %%\n", cpu.player);
        std::printf("  engine, chosen output          %6.2f %%   (-vo %s)\n", cpu.engine,
                    qPrintable(cpu.output));
        std::printf("  bare engine, -vo x11 -zoom     %6.2f %%\n", cpu.bareX11);
        std::printf("  bare engine, -vo gl            %6.2f %%\n", cpu.bareGl);
        std::printf("  chosen output / bare x11       %6.2f x\n", cpu.engine / cpu.bareX11);
    } else {
        std::printf("playback CPU not measured: %s\n", qPrintable(cpu.why));
    }
    if (cpu.ran && subtitles.why.isEmpty()) {
        auto mean = [](const QList<double>& values) {
            return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
        };
        std::printf("subtitles, bare engine -vo x11 -zoom -fs, clip with an ASS track, %% of one core:\n");
        const char* rows[2][2] = {{"no subtitle shown, without -ass ", "no subtitle shown, with -ass    "},
                                  {"ASS line shown, without -ass   ", "ASS line shown, with -ass      "}};
        for (int shown = 0; shown < 2; ++shown)
            for (int ass = 0; ass < 2; ++ass) {
                const QList<double>& runs = subtitles.runs[shown][ass];
                std::printf("  %s %6.2f %%   (%.2f, %.2f)\n", rows[shown][ass], mean(runs), runs[0], runs[1]);
            }
    } else if (cpu.ran) {
        std::printf("subtitle CPU not measured: %s\n", qPrintable(subtitles.why));
    }
    if (latency.ran)
        std::printf(
            "seek latency (release -> engine): median %.3f ms   p99 %.3f ms   worst %.3f ms over %d seeks\n",
            latency.median, latency.p99, latency.worst, latency.count);
    else
        std::printf("seek latency not measured: %s\n", qPrintable(latency.why));
    std::printf(
        "targets: player < 0.5 %% of a core while playing; engine at most 1.5 x the bare x11 output;\n"
        "         seek latency median < 2 ms\n");
    return (cpu.ran && latency.ran) ? 0 : 1;
}
