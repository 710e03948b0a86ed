// Time to the first picture: from the Return in the Open File dialog (the
// window already up and idle) to the clip's first frame on screen, for the
// player (the real Player.exe launcher running mplayer, the real probe) and
// for bare mplayer started with the options the launcher gives it on this
// display, in its own window; interleaved, N rounds (default 7). A thread
// with its own X connection reads a few pixels at the centre of the picture
// every ~2 ms and notes when the first second's colour shows.
// Prints every run, the medians and the ratio player / bare; never asserts.
// Usage: bench-firstpicture [rounds]   (run.sh provides an X server when there is none)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/MediaClips.h"
#include "common/Playback.h"
#include "common/TestEnv.h"
#include "engine/EngineSession.h"
#include "engine/EngineTestSupport.h"
#include "media/ProbeBatch.h"
#include "ui/DRUI.h"

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The first second's colour: far from black, from the window's dark blues and
// greys, and from the start page's picture. Later seconds differ from it.
constexpr int kRed = 0xe0, kGreen = 0x20, kBlue = 0xc0;
constexpr const char* kFirstColour = "0xe020c0";
// YUV 4:2:0 and the scaler round a flat colour by a few steps per channel.
constexpr int kTolerance = 40;
constexpr int kSample = 5; // pixels on a side of the square read
constexpr int kRunTimeoutMs = 20000;

// Reads a small square of the screen around a point every ~2 ms, on its own
// X connection, and notes the first time every pixel of it has the colour.
class ColourWatch {
public:
    ColourWatch() : display(XOpenDisplay(nullptr)) {
        // A square partly off the screen is an error, not a reason to exit.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        if (display)
            reader = std::thread([this] { run(); });
    }
    ~ColourWatch() {
        stopping = true;
        if (reader.joinable())
            reader.join();
        if (display)
            XCloseDisplay(display);
    }
    bool ready() const { return display != nullptr; }
    // Starts watching around (x, y), screen coordinates.
    void arm(int x, int y) {
        centreX = x;
        centreY = y;
        seenAt = 0;
        armed = true;
    }
    void disarm() { armed = false; }
    bool seen() const { return seenAt.load() != 0; }
    Clock::time_point when() const { return Clock::time_point(Clock::duration(seenAt.load())); }

private:
    void run() {
        const Window root = DefaultRootWindow(display);
        while (!stopping) {
            if (armed && seenAt == 0 && matches(root))
                seenAt = Clock::now().time_since_epoch().count();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    bool matches(Window root) {
        // The root window's contents include every window mapped on it.
        XImage* image = XGetImage(display, root, centreX - kSample / 2, centreY - kSample / 2, kSample,
                                  kSample, AllPlanes, ZPixmap);
        if (!image)
            return false;
        bool all = true;
        for (int y = 0; y < kSample && all; ++y)
            for (int x = 0; x < kSample && all; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                const int r = int((pixel & image->red_mask) >> shiftOf(image->red_mask)) & 0xff;
                const int g = int((pixel & image->green_mask) >> shiftOf(image->green_mask)) & 0xff;
                const int b = int((pixel & image->blue_mask) >> shiftOf(image->blue_mask)) & 0xff;
                all = std::abs(r - kRed) <= kTolerance && std::abs(g - kGreen) <= kTolerance &&
                      std::abs(b - kBlue) <= kTolerance;
            }
        XDestroyImage(image);
        return all;
    }
    static int shiftOf(unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return shift;
    }

    Display* display;
    std::thread reader;
    std::atomic<bool> stopping{false};
    std::atomic<bool> armed{false};
    std::atomic<int> centreX{0}, centreY{0};
    std::atomic<Clock::rep> seenAt{0};
};

// Runs the event loop until `done` or `ms` have passed; whether `done` came.
// Sleeps between looks (every 2 ms), so that the wait takes no core from the
// engine or the window.
template <typename Done> bool runUntil(Done done, int ms) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer look;
    look.setTimerType(Qt::PreciseTimer);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    look.start(2);
    loop.exec();
    return done();
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window with the Open File dialog answered: its Return gives the clip.
class OpenWindow : public DRUI {
public:
    QString clip;

protected:
    QStringList askOpenFiles() override { return {clip}; }
};

// Notes when the engine session makes its process: right before it starts it.
class SpawnNote : public QObject {
public:
    Clock::time_point at{};
    bool seen = false;
    QObject* child = nullptr; // checked against the engine process afterwards
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded && !seen) {
            at = Clock::now();
            seen = true;
            child = static_cast<QChildEvent*>(event)->child();
        }
        return false;
    }
};

// Notes when the window's probes have all ended: the batch that holds them is
// found when it makes its first probe process.
class ProbeNote : public QObject {
public:
    Clock::time_point at{};
    bool seen = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded && !batch)
            if ((batch = qobject_cast<ProbeBatch*>(watched)))
                connect(batch, &ProbeBatch::finished, this, [this] {
                    if (!seen) {
                        at = Clock::now();
                        seen = true;
                    }
                });
        return false;
    }

private:
    ProbeBatch* batch = nullptr;
};

struct PlayerRun {
    bool ok = false;
    double picture = 0; // Return to the first picture
    double probe = -1;  // Return to the last probe's end
    double spawn = -1;  // Return to the engine process being started
    double video = -1;  // Return to the engine's "VIDEO:" line reaching the player
    double opened = 0;  // Return to btnOpenFile() returning
};

double msOrNone(bool seen, Clock::time_point from, Clock::time_point to) {
    return seen ? msBetween(from, to) : -1;
}

// One Return, with the times of the steps between it and the picture.
PlayerRun playerRun(OpenWindow& window, ColourWatch& watch, const QPoint& centre) {
    PlayerRun run;
    SpawnNote spawn;
    ProbeNote probe;
    EngineSession& session = mplayerSession(window.playback());
    session.installEventFilter(&spawn);
    qApp->installEventFilter(&probe);
    Clock::time_point videoAt{};
    bool videoSeen = false;
    const QMetaObject::Connection video = QObject::connect(&session, &EngineSession::videoStarted, [&] {
        if (!videoSeen) {
            videoAt = Clock::now();
            videoSeen = true;
        }
    });
    watch.arm(centre.x(), centre.y());
    const Clock::time_point t0 = Clock::now();
    window.btnOpenFile();
    const Clock::time_point returned = Clock::now();
    run.ok = runUntil([&] { return watch.seen(); }, kRunTimeoutMs);
    watch.disarm();
    QObject::disconnect(video);
    qApp->removeEventFilter(&probe);
    session.removeEventFilter(&spawn);
    run.picture = msBetween(t0, watch.when());
    run.opened = msBetween(t0, returned);
    run.probe = msOrNone(probe.seen, t0, probe.at);
    run.spawn = msOrNone(spawn.seen && spawn.child == engineProcess(session), t0, spawn.at);
    run.video = msOrNone(videoSeen, t0, videoAt);
    return run;
}

// Stops playback, waits until the engine has ended, and lets the window idle.
void resetPlayer(OpenWindow& window) {
    window.StopBtn();
    runUntil([&] { return !mplayerSession(window.playback()).isRunning(); }, 10000);
    runFor(300);
}

// The bare engine: the captured arguments without "-wid ID" and "-fs" (which
// mean "fill the player's window" there and "the whole screen" here), in its
// own window of the video area's size at `where`.
QStringList bareArguments(QStringList arguments, const QRect& where) {
    const qsizetype wid = arguments.indexOf(QStringLiteral("-wid"));
    if (wid >= 0)
        arguments.remove(wid, 2);
    arguments.removeAll(QStringLiteral("-fs"));
    const QStringList place{
        QStringLiteral("-geometry"), QStringLiteral("+%1+%2").arg(where.x()).arg(where.y()),
        QStringLiteral("-x"),        QString::number(where.width()),
        QStringLiteral("-y"),        QString::number(where.height())};
    for (qsizetype i = place.size() - 1; i >= 0; --i)
        arguments.prepend(place[i]);
    return arguments;
}

double bareRun(const QStringList& arguments, const QRect& where, ColourWatch& watch, bool* ok) {
    QProcess engine;
    engine.setStandardOutputFile(QProcess::nullDevice());
    engine.setStandardErrorFile(QProcess::nullDevice());
    watch.arm(where.center().x(), where.center().y());
    const Clock::time_point t0 = Clock::now();
    engine.start(QStringLiteral("mplayer"), arguments);
    *ok = runUntil([&] { return watch.seen(); }, kRunTimeoutMs);
    watch.disarm();
    engine.kill();
    engine.waitForFinished(5000);
    runFor(300);
    return msBetween(t0, watch.when());
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    if (values.isEmpty())
        return 0;
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QByteArray loadAverages() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed() : QByteArray("unknown");
}

int fail(const char* why) {
    std::fprintf(stderr, "bench-firstpicture: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const kzp::test::PrivateHome home;
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 7;
    const QString bin = QCoreApplication::applicationDirPath();
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return fail("needs an X display (run.sh)");
    if (QStandardPaths::findExecutable("mplayer").isEmpty() ||
        QStandardPaths::findExecutable("ffmpeg").isEmpty())
        return fail("mplayer or ffmpeg missing");
    if (!QFile::exists(bin + "/Player.exe") || !QFile::exists(bin + "/tool"))
        return fail("Player.exe or tool missing beside the benchmark");

    // Four seconds, one flat colour each, 640x360 H.264 with a sine track, in Matroska.
    QTemporaryDir dir;
    const QString clip = dir.filePath("colours.mkv");
    const QString colours[] = {kFirstColour, "0x20c040", "0x2040e0", "0xe0e020"};
    QString graph;
    for (int i = 0; i < 4; ++i)
        graph += QStringLiteral("color=c=%1:s=640x360:r=30:d=1[c%2];").arg(colours[i]).arg(i);
    graph += QStringLiteral("[c0][c1][c2][c3]concat=n=4:v=1:a=0");
    const kzp::test::ProgramRun made = kzp::test::runProgram(QStringLiteral("ffmpeg"),
                                                             {"-hide_banner",
                                                              "-loglevel",
                                                              "error",
                                                              "-nostdin",
                                                              "-y",
                                                              "-f",
                                                              "lavfi",
                                                              "-i",
                                                              graph,
                                                              "-f",
                                                              "lavfi",
                                                              "-i",
                                                              "sine=frequency=440:duration=4",
                                                              "-c:v",
                                                              "libx264",
                                                              "-preset",
                                                              "veryfast",
                                                              "-pix_fmt",
                                                              "yuv420p",
                                                              "-c:a",
                                                              "aac",
                                                              "-shortest",
                                                              clip},
                                                             120000);
    if (!made.succeeded())
        return fail("ffmpeg could not make the clip");

    ColourWatch watch;
    if (!watch.ready())
        return fail("cannot open the X display for the watcher");

    OpenWindow window;
    window.clip = clip;
    window.setupWindow();
    window.show();
    if (!runUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 10000))
        return fail("the window was never exposed");
    runFor(1000);

    // What Player.exe runs on this display: its engine, replaced by a script
    // that writes down its arguments and ends (the player takes that for the
    // end of playback).
    const QString argumentsFile = dir.filePath("arguments");
    const QString recorder = dir.filePath("record-arguments");
    {
        QFile script(recorder);
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.out\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }
    qputenv("KZP_ENGINE", QFile::encodeName(recorder));
    window.btnOpenFile();
    runUntil([&] { return QFile::exists(recorder + ".out"); }, kRunTimeoutMs);
    runUntil([&] { return !mplayerSession(window.playback()).isRunning(); }, 10000);
    qunsetenv("KZP_ENGINE");
    QFile::rename(recorder + ".out", argumentsFile);
    QStringList captured;
    {
        QFile file(argumentsFile);
        if (!file.open(QIODevice::ReadOnly))
            return fail("Player.exe never ran the engine");
        for (const QByteArray& word : file.readAll().split('\0'))
            captured << QFile::decodeName(word);
        captured.removeLast(); // after the last terminator
    }
    resetPlayer(window);

    // Where the picture lands: the video area while the real engine plays
    // (a warm-up round that also fills the caches).
    QWidget* surface = window.part<QWidget>(QStringLiteral("videoSurface"));
    if (!surface)
        return fail("no video surface");
    window.btnOpenFile();
    runFor(500);
    const QPoint centre = surface->mapToGlobal(surface->rect().center());
    const QSize area = surface->size();
    watch.arm(centre.x(), centre.y());
    const bool warm = runUntil([&] { return watch.seen(); }, kRunTimeoutMs);
    watch.disarm();
    resetPlayer(window);
    if (!warm)
        return fail("the player never showed the clip's colour");

    // The bare engine's own window, away from the player's where the screen allows.
    const QRect screen = window.screen()->geometry();
    const QRect bareWhere(qMax(0, screen.right() - area.width() - 20),
                          qMax(0, screen.bottom() - area.height() - 20), area.width(), area.height());
    const QStringList bare = bareArguments(captured, bareWhere);
    bool bareOk = false;
    bareRun(bare, bareWhere, watch, &bareOk); // warm-up
    if (!bareOk)
        return fail("bare mplayer never showed the clip's colour");

    const QByteArray loadBefore = loadAverages();
    QList<PlayerRun> players;
    QList<double> bares;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        const auto player = [&] {
            const PlayerRun run = playerRun(window, watch, centre);
            resetPlayer(window);
            if (run.ok)
                players << run;
            else
                ++failures;
        };
        const auto bareOne = [&] {
            bool ok = false;
            const double ms = bareRun(bare, bareWhere, watch, &ok);
            if (ok)
                bares << ms;
            else
                ++failures;
        };
        if (round % 2 == 0) {
            player();
            bareOne();
        } else {
            bareOne();
            player();
        }
    }

    std::printf("time to the first picture, %d rounds interleaved (player first in even rounds), %d cores\n",
                rounds, QThread::idealThreadCount());
    std::printf("clip 640x360 30 fps H.264 + AAC in Matroska, video area %dx%d\n", area.width(),
                area.height());
    std::printf("engine as Player.exe runs it: mplayer %s\n", qPrintable(captured.join(' ')));
    std::printf("bare: mplayer %s\n", qPrintable(bare.join(' ')));
    std::printf("load averages before and after: %s | %s\n", loadBefore.constData(),
                loadAverages().constData());
    std::printf("player: Return -> last probe ended, engine process started, its VIDEO: line read, "
                "btnOpenFile() returned, picture on screen (ms)\n");
    std::printf("%-6s %9s %9s %9s %9s %10s %10s %7s\n", "run", "probe", "spawn", "VIDEO:", "returned",
                "picture", "bare", "ratio");
    QList<double> picture, probe, spawn, video, opened;
    for (int i = 0; i < qMax(players.size(), bares.size()); ++i) {
        std::printf("%-6d", i + 1);
        if (i < players.size()) {
            const PlayerRun& run = players[i];
            std::printf(" %9.1f %9.1f %9.1f %9.1f %10.1f", run.probe, run.spawn, run.video, run.opened,
                        run.picture);
            probe << run.probe;
            spawn << run.spawn;
            video << run.video;
            opened << run.opened;
            picture << run.picture;
        } else {
            std::printf(" %9s %9s %9s %9s %10s", "-", "-", "-", "-", "-");
        }
        if (i < bares.size())
            std::printf(" %10.1f", bares[i]);
        else
            std::printf(" %10s", "-");
        if (i < players.size() && i < bares.size() && bares[i] > 0)
            std::printf(" %7.2f\n", players[i].picture / bares[i]);
        else
            std::printf(" %7s\n", "-");
    }
    std::printf("%-6s %9.1f %9.1f %9.1f %9.1f %10.1f %10.1f\n", "median", median(probe), median(spawn),
                median(video), median(opened), median(picture), median(bares));
    std::printf("(-1: that step was not seen)\n");
    const double ratio = median(bares) > 0 ? median(picture) / median(bares) : 0;
    std::printf("ratio player / bare (medians): %.2f   target <= 1.25\n", ratio);
    if (failures > 0)
        std::printf("%d runs never showed the colour within %d s (left out)\n", failures,
                    kRunTimeoutMs / 1000);
    return 0;
}
