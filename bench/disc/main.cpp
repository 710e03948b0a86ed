// Disc scan bench: time to read a disc folder of 2,000 playlists (mostly
// duplicates) and build its menus, beside the time libbluray takes to list the
// titles of the same folder. Prints median and best of several warm runs.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <libbluray/bluray.h>

#include "bench/common/Runs.h"
#include "media/DiscScan.h"
#include "tools/gen-bluray/BlurayWriter.h"
#include "ui/DRUI.h"

namespace {

struct Figures {
    double median = 0, best = 0;
};

Figures measure(int runs, const std::function<void()>& work) {
    const QList<double> times = timedRuns(runs, work);
    return {times[times.size() / 2], times.first()};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    QApplication app(argc, argv);
    registerPlayListInfoType();
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 9;

    QTemporaryDir dir;
    const QString folder = dir.filePath("disc");
    if (!genbd::writeDisc(folder, genbd::manyPlaylistsDisc(count))) {
        std::fprintf(stderr, "bench-disc: cannot write the disc\n");
        return 1;
    }

    DRUI window;
    window.setupWindow();
    qsizetype titles = 0;
    const Figures scan = measure(runs, [&] { titles = scanDisc(folder).titles.size(); });
    const Figures menus = measure(runs, [&] { window.buildDiscMenus(folder); });
    quint32 listed = 0;
    const QByteArray device = QFile::encodeName(folder);
    const Figures bluray = measure(runs, [&] {
        BLURAY* bd = bd_open(device.constData(), nullptr);
        listed = bd ? bd_get_titles(bd, TITLES_ALL, 0) : 0;
        if (bd)
            bd_close(bd);
    });

    std::printf("disc folder: %d playlists, %lld distinct titles (libbluray lists %u), %d warm runs\n", count,
                static_cast<long long>(titles), listed, runs);
    std::printf("%-44s %10s %10s\n", "", "median ms", "best ms");
    std::printf("%-44s %10.1f %10.1f\n", "scan (read, digest, sort)", scan.median, scan.best);
    std::printf("%-44s %10.1f %10.1f\n", "scan + menus (DRUI::buildDiscMenus)", menus.median, menus.best);
    std::printf("%-44s %10.1f %10.1f\n", "libbluray bd_open + bd_get_titles(ALL)", bluray.median,
                bluray.best);
    std::printf("ours/libbluray: %.2f   target: <= 1.00 and < 150 ms: %s\n", menus.median / bluray.median,
                menus.median <= bluray.median && menus.median < 150 ? "met" : "NOT met");
    window.endEngine();
    return 0;
}
