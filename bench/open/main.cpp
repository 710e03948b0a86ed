// Opening benchmark: adding 200 generated clips, the probes one after another
// on the window thread (what addFiles did before) against addFiles (probes in
// parallel while the window paints), with the longest gap between two paints
// of the window in each; the same probe run by a shell loop for reference;
// and a 100,000-entry folder listing.
// Run from the build's bin folder (it needs "tool" and "fake-engine" there):
//   QT_QPA_PLATFORM=offscreen ./bench-open [rounds] [files]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

#include "common/MediaClips.h"
#include "common/TestEnv.h"
#include "common/Wait.h"
#include "media/FolderList.h"
#include "media/Probe.h"
#include "ui/DRUI.h"

namespace {

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// CPU seconds used so far by this process (its window thread and helpers)
// and by its ended children (the probes).
struct CpuUse {
    double self = 0, children = 0;
    static CpuUse now() {
        const auto seconds = [](const rusage& use) {
            return use.ru_utime.tv_sec + use.ru_stime.tv_sec +
                   (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
        };
        rusage self{}, children{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &children);
        return {seconds(self), seconds(children)};
    }
    CpuUse operator-(const CpuUse& earlier) const {
        return {self - earlier.self, children - earlier.children};
    }
};

bool runQuiet(const QString& program, const QStringList& arguments) {
    return kzp::test::runProgram(program, arguments, 600000).succeeded();
}

// Asks the window for a paint every 10 ms and notes when it paints. A corner
// pixel only: whether the window thread is free to paint is what counts, and
// repainting the whole window 100 times a second would itself take a core.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* window) : window(window) {
        window->installEventFilter(this);
        connect(&ticker, &QTimer::timeout, window, [window] { window->update(0, 0, 1, 1); });
        ticker.start(10);
        clock.start();
    }
    // The longest time between two paints while `work` runs, in ms: from the
    // last paint before it to the first paint after it.
    double longestGap(const std::function<void()>& work) {
        const int before = int(paints.size());
        kzp::test::waitUntil([&] { return paints.size() > before; });
        const qsizetype from = paints.size() - 1;
        work();
        const int after = int(paints.size());
        kzp::test::waitUntil([&] { return paints.size() > after; });
        double longest = 0;
        for (qsizetype i = from + 1; i < paints.size(); ++i)
            longest = qMax(longest, (paints[i] - paints[i - 1]) / 1e6);
        return longest;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window && event->type() == QEvent::Paint)
            paints << clock.nsecsElapsed();
        return false;
    }

private:
    QWidget* window;
    QTimer ticker;
    QElapsedTimer clock;
    QList<qint64> paints;
};

} // namespace

int main(int argc, char** argv) {
    const kzp::test::PrivateHome home;
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    const int count = argc > 2 ? qMax(1, atoi(argv[2])) : 200;
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

    QString probe;
    QList<double> oneByOne, parallel, shell, oneByOneGap, parallelGap, oneByOneSelf, parallelSelf,
        oneByOneProbes, parallelProbes;
    for (int round = 0; round < rounds; ++round) {
        // A fresh window each round: the play list starts empty every time.
        DRUI window;
        window.setupWindow();
        window.setEnginePath(bin + "/fake-engine");
        probe = window.probePath();
        QFile::remove(probe);
        if (!QFile::copy(bin + "/tool", probe)) {
            std::fprintf(stderr, "no probe launcher beside the benchmark\n");
            return 1;
        }
        window.show();
        PaintWatch watch(&window);
        QElapsedTimer clock;

        // One after another on the window thread, as addFiles used to probe.
        QStringList lengths;
        oneByOneGap << watch.longestGap([&] {
            const CpuUse before = CpuUse::now();
            clock.start();
            for (const QString& file : files)
                lengths << runProbe(probe, file);
            oneByOne << clock.nsecsElapsed() / 1e9;
            const CpuUse used = CpuUse::now() - before;
            oneByOneSelf << used.self;
            oneByOneProbes << used.children;
        });

        parallelGap << watch.longestGap([&] {
            const CpuUse before = CpuUse::now();
            clock.restart();
            window.addFiles(files);
            parallel << clock.nsecsElapsed() / 1e9;
            const CpuUse used = CpuUse::now() - before;
            parallelSelf << used.self;
            parallelProbes << used.children;
        });
        QStringList listed;
        for (const PLAY_LIST_INFO& entry : window.playListModel().entries())
            listed << entry.duration;
        if (listed != lengths || window.playback().mediaLength() != 2)
            std::fprintf(stderr, "the lengths differ from the one-by-one run\n");
        window.StopBtn();

        clock.restart();
        runQuiet("sh", {"-c", "for f in \"$1\"/*.mp4; do \"$0\" -i \"$f\" 2>/dev/null; done; exit 0", probe,
                        clips});
        shell << clock.nsecsElapsed() / 1e9;
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

    const double s = median(oneByOne), p = median(parallel);
    std::printf("median of %d rounds, %d clips, %d cores\n", rounds, count, QThread::idealThreadCount());
    std::printf("%-44s %8.3f s, longest paint gap %8.1f ms\n", "probes one by one (window thread)", s,
                median(oneByOneGap));
    std::printf("%-44s %8.3f s, longest paint gap %8.1f ms (target <= 100)\n", "addFiles (parallel probes)",
                p, median(parallelGap));
    std::printf("%-44s %8.3f   (target <= 0.60 on 2 cores)\n", "ratio parallel / one by one",
                s > 0 ? p / s : 0.0);
    std::printf("%-44s %8.1f ms\n", "worst paint gap of addFiles, all rounds",
                parallelGap.isEmpty() ? 0.0 : *std::max_element(parallelGap.begin(), parallelGap.end()));
    std::printf("%-44s %8.3f s player, %8.3f s probes\n", "CPU, one by one", median(oneByOneSelf),
                median(oneByOneProbes));
    std::printf("%-44s %8.3f s player, %8.3f s probes\n", "CPU, addFiles", median(parallelSelf),
                median(parallelProbes));
    std::printf("%-44s %8.3f s\n", "same probe, shell loop", median(shell));
    std::printf("%-44s %8.1f ms (%lld entries)\n", "listFolder, 100,000 entries", median(listing),
                static_cast<long long>(listed));
    return 0;
}
