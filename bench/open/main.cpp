// Opening benchmark: adding generated clips (40 by default) with addFiles
// (probes side by side while the window paints) against probing the same files
// one after another on the window thread, both in the same round; first on an
// idle machine, then while two busy loops keep the cores busy (children of this
// benchmark that stop on their own after a time limit, or when it ends). The
// probe is the real ffmpeg through the "tool" launcher. Prints the ratio of
// addFiles to one by one in each case, the longest gap between two paints of
// the window, the window thread's CPU time, a shell loop of the same probe for
// reference, and a 100,000-entry folder listing.
// Run from the build's bin folder (it needs "tool" and "fake-engine" there):
//   QT_QPA_PLATFORM=offscreen ./bench-open [rounds] [files]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>
#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#endif

#include "bench/common/PaintWatch.h"
#include "common/MediaClips.h"
#include "common/TestEnv.h"
#include "common/Wait.h"
#include "media/FolderList.h"
#include "media/Probe.h"
#include "ui/DRUI.h"

namespace {

// How long a busy loop may spin at most, whatever happens to the benchmark.
constexpr int kBurnLimitSeconds = 1800;

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

double worst(const QList<double>& values) {
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

// Window-thread CPU seconds used so far by this process.
double cpuSelf() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// A busy loop: spins until `seconds` have passed or its parent is gone.
int burn(int seconds, pid_t parent) {
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    volatile std::uint64_t sink = 0;
    while (getppid() == parent && std::chrono::steady_clock::now() < end)
        for (int i = 0; i < 1000000; ++i)
            sink = sink + std::uint64_t(i);
    return 0;
}

// Two busy loops at the benchmark's own priority, as two other programs.
class BusyLoops {
public:
    BusyLoops() {
        for (int i = 0; i < 2; ++i) {
            auto loop = std::make_unique<QProcess>();
            loop->start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--burn"), QString::number(kBurnLimitSeconds),
                         QString::number(QCoreApplication::applicationPid())});
            loop->waitForStarted();
            loops.push_back(std::move(loop));
        }
    }
    ~BusyLoops() {
        for (auto& loop : loops) {
            loop->kill();
            loop->waitForFinished();
        }
    }
    bool running() const {
        return std::all_of(loops.begin(), loops.end(),
                           [](const auto& loop) { return loop->state() == QProcess::Running; });
    }

private:
    std::vector<std::unique_ptr<QProcess>> loops;
};

struct Figures {
    QList<double> oneByOne, batch, ratio, batchGap, restingGap, batchCpu;
    int mismatches = 0;
};

// Rounds of one by one against addFiles, in alternating order, each round
// with a fresh window (the play list starts empty every time).
Figures measure(const QString& bin, const QStringList& files, int rounds) {
    Figures figures;
    for (int round = 0; round < rounds; ++round) {
        DRUI window;
        window.setupWindow();
        window.setEnginePath(bin + "/fake-engine");
        const QString probe = window.probePath();
        QFile::remove(probe);
        QFile::copy(bin + "/tool", probe);
        window.show();
        PaintWatch watch(&window);

        // The window with nothing to do, for comparison: what the machine's
        // load alone does to painting.
        figures.restingGap << watch.longestGap([] {
            QEventLoop resting;
            QTimer::singleShot(1000, &resting, &QEventLoop::quit);
            resting.exec();
        });
        QStringList lengths;
        double single = 0, batch = 0;
        const auto oneByOne = [&] {
            QElapsedTimer clock;
            clock.start();
            for (const QString& file : files)
                lengths << runProbe(probe, file);
            single = clock.nsecsElapsed() / 1e9;
        };
        const auto addFiles = [&] {
            figures.batchGap << watch.longestGap([&] {
                const double before = cpuSelf();
                QElapsedTimer clock;
                clock.start();
                window.addFiles(files);
                batch = clock.nsecsElapsed() / 1e9;
                figures.batchCpu << cpuSelf() - before;
            });
        };
        if (round % 2 == 0) {
            oneByOne();
            addFiles();
        } else {
            addFiles();
            oneByOne();
        }
        figures.oneByOne << single;
        figures.batch << batch;
        figures.ratio << (single > 0 ? batch / single : 0);
        QStringList listed;
        for (const PLAY_LIST_INFO& entry : window.playListModel().entries())
            listed << entry.duration;
        if (listed != lengths || window.playback().currentSource().length != 2)
            ++figures.mismatches;
        window.StopBtn();
    }
    return figures;
}

// The machine's load averages: other work skews every figure here.
QByteArray loadAverages() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed() : QByteArray("unknown");
}

void printRow(const char* what, double idle, double busy, const char* unit) {
    std::printf("%-40s %10.3f %s %14.3f %s\n", what, idle, unit, busy, unit);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--burn") == 0)
        return burn(atoi(argv[2]), pid_t(atoll(argv[3])));
    const kzp::test::PrivateHome home;
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    const int count = argc > 2 ? qMax(1, atoi(argv[2])) : 40;
    const QString bin = QCoreApplication::applicationDirPath();

    // Clips of two seconds each (one made, the rest copied).
    const QString clips = home.path("clips");
    QDir().mkpath(clips);
    kzp::test::ClipOptions clip;
    clip.seconds = 2;
    clip.tones = {};
    clip.encoding = {"-c:v", "mpeg4"};
    clip.quiet = false;
    clip.timeoutMs = 600000;
    const QString firstClip = clips + "/clip 000.mp4";
    if (!kzp::test::makeClip(firstClip, clip).succeeded()) {
        std::fprintf(stderr, "ffmpeg could not make the test clip\n");
        return 1;
    }
    QStringList files{firstClip};
    for (int i = 1; i < count; ++i) {
        files << clips + QStringLiteral("/clip %1.mp4").arg(i, 3, 10, QLatin1Char('0'));
        QFile::copy(firstClip, files.last());
    }
    if (!QFile::exists(bin + "/tool")) {
        std::fprintf(stderr, "no probe launcher beside the benchmark\n");
        return 1;
    }

    const QByteArray loadBefore = loadAverages();
    const Figures idle = measure(bin, files, rounds);
    QList<double> shell;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        kzp::test::runProgram("sh",
                              {"-c", "for f in \"$1\"/*.mp4; do \"$0\" -i \"$f\" 2>/dev/null; done; exit 0",
                               bin + "/tool", clips},
                              600000);
        shell << clock.nsecsElapsed() / 1e9;
    }
    Figures busy;
    bool busyThroughout = false;
    {
        BusyLoops loops;
        busy = measure(bin, files, rounds);
        busyThroughout = loops.running();
    }

    const QString big = home.path("big");
    QDir().mkpath(big);
    const QByteArray base = QFile::encodeName(big) + "/";
    for (int i = 0; i < 100000; ++i)
        ::close(::open((base + QByteArray::number(i).rightJustified(6, '0') + ".m2ts").constData(),
                       O_CREAT | O_WRONLY, 0644));
    QList<double> listing;
    qsizetype listed = 0;
    for (int round = 0; round < rounds; ++round) {
        QList<FolderEntry> entries;
        QElapsedTimer clock;
        clock.start();
        listFolder(big, entries);
        listing << clock.nsecsElapsed() / 1e6;
        listed = entries.size();
    }

    std::printf("median of %d rounds, %d clips, %d cores; busy: two busy loops\n", rounds, count,
                QThread::idealThreadCount());
    std::printf("load averages before and after (other programs): %s | %s\n", loadBefore.constData(),
                loadAverages().constData());
    std::printf("%-40s %12s %16s\n", "", "idle", "busy");
    printRow("probes one by one (window thread)", median(idle.oneByOne), median(busy.oneByOne), "s ");
    printRow("addFiles (probes side by side)", median(idle.batch), median(busy.batch), "s ");
    printRow("ratio addFiles / one by one", median(idle.ratio), median(busy.ratio), "  ");
    printRow("  worst round", worst(idle.ratio), worst(busy.ratio), "  ");
    std::printf("%-40s %12s %16s\n", "  target", "<= 0.60", "<= 1.00");
    printRow("longest paint gap of addFiles", median(idle.batchGap), median(busy.batchGap), "ms");
    printRow("  worst round", worst(idle.batchGap), worst(busy.batchGap), "ms");
    printRow("longest paint gap, window resting 1 s", median(idle.restingGap), median(busy.restingGap), "ms");
    printRow("window thread CPU during addFiles", median(idle.batchCpu), median(busy.batchCpu), "s ");
    std::printf("%-40s %10.3f s\n", "same probe, shell loop (idle)", median(shell));
    std::printf("%-40s %10.1f ms (%lld entries)\n", "listFolder, 100,000 entries", median(listing),
                static_cast<long long>(listed));
    std::printf("rounds: idle");
    for (int i = 0; i < idle.ratio.size(); ++i)
        std::printf(" %.2f/%.2f s", idle.batch[i], idle.oneByOne[i]);
    std::printf("; busy");
    for (int i = 0; i < busy.ratio.size(); ++i)
        std::printf(" %.2f/%.2f s", busy.batch[i], busy.oneByOne[i]);
    std::printf(" (addFiles/one by one)\n");
    if (idle.mismatches + busy.mismatches > 0)
        std::fprintf(stderr, "%d rounds: the lengths differ from the one-by-one run\n",
                     idle.mismatches + busy.mismatches);
    if (!busyThroughout)
        std::fprintf(stderr, "a busy loop ended before the busy rounds did\n");
    return 0;
}
