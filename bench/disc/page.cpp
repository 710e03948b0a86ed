// Disc page bench: opening a disc folder that holds far more playlists than a
// real disc, through the window as Open Disc does. Prints the time until the
// disc page shows, the longest gap between two paints of the window meanwhile,
// the CPU time and the growth of the peak resident memory.
//   QT_QPA_PLATFORM=offscreen ./bench-disc-page [distinct|identical|chapters] [count]
// "distinct": `count` playlists, each naming its own clip (each one a title);
// "identical": `count` byte-identical copies of one playlist (one title);
// "chapters": one playlist with `count` chapters (at most 32,767).

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMenu>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

#include "bench/common/PaintWatch.h"
#include "common/TestEnv.h"
#include "common/Wait.h"
#include "tools/gen-bluray/BlurayWriter.h"
#include "ui/DRUI.h"

namespace {

// A playlist as real discs write them: a clip with video, audio and two
// subtitle streams, eight chapters (or `chapters`).
QByteArray playlistBytes(int clip, int chapters = 8) {
    genbd::PlayItem item;
    item.clip = QByteArray::number(clip % 100000).rightJustified(5, '0');
    item.outTime = quint32(60 + clip % 3600) * 45000;
    item.video = {genbd::Stream{1, 0x1011, 0x1B, "", 0x61, 0}};
    item.audio = {genbd::Stream{1, 0x1100, 0x81, "eng", 0x31, 0}};
    item.subtitles = {genbd::Stream{1, 0x1200, 0x90, "eng", 0, 1},
                      genbd::Stream{1, 0x1201, 0x90, "fra", 0, 1}};
    genbd::Playlist playlist;
    playlist.items = {item};
    for (int m = 0; m < chapters; ++m)
        playlist.marks.append({1, 0, quint32(m) * 45000, 0xFFFF, 0});
    return genbd::mplsBytes(playlist);
}

enum class Kind { Distinct, Identical, Chapters };

bool writeDisc(const QString& folder, Kind kind, int count) {
    if (!QDir().mkpath(folder + "/BDMV/PLAYLIST") || !QDir().mkpath(folder + "/BDMV/STREAM"))
        return false;
    const QByteArray base = QFile::encodeName(folder) + "/BDMV/PLAYLIST/";
    const QByteArray same = kind == Kind::Chapters ? playlistBytes(0, qMin(count, 32767)) : playlistBytes(0);
    for (int n = 0; n < (kind == Kind::Chapters ? 1 : count); ++n) {
        const QByteArray bytes = kind == Kind::Distinct ? playlistBytes(n) : same;
        const QByteArray name = base + QByteArray::number(n).rightJustified(5, '0') + ".mpls";
        // Copies are hard links (ext4 allows 65,000 to a file): creating
        // 100,000 files takes minutes on a busy disk.
        constexpr int kLinks = 50000;
        if (kind == Kind::Identical && n % kLinks != 0) {
            const QByteArray first =
                base + QByteArray::number(n - n % kLinks).rightJustified(5, '0') + ".mpls";
            if (::link(first.constData(), name.constData()) != 0)
                return false;
            continue;
        }
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
        ::close(fd);
        if (!written)
            return false;
    }
    return true;
}

double cpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:").
qint64 statusKiB(const QByteArray& field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    const kzp::test::PrivateHome home;
    QApplication app(argc, argv);
    registerPlayListInfoType();
    const QByteArray name = argc > 1 ? QByteArray(argv[1]) : QByteArray("distinct");
    const Kind kind = name == "identical"  ? Kind::Identical
                      : name == "chapters" ? Kind::Chapters
                                           : Kind::Distinct;
    const int count = argc > 2 ? qMax(1, atoi(argv[2])) : 100000;

    const QString folder = home.path(QStringLiteral("disc"));
    if (!writeDisc(folder, kind, count)) {
        std::fprintf(stderr, "bench-disc-page: cannot write the disc\n");
        return 1;
    }

    DRUI window;
    window.setupWindow();
    window.show();
    PaintWatch watch(&window);
    kzp::test::waitUntil([] { return false; }, 300); // let the first paints settle

    const qint64 residentBefore = statusKiB("VmRSS:");
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    double shown = 0;
    const double gap = watch.longestGap([&] {
        clock.start();
        window.loadDiscFolder(folder);
        kzp::test::waitUntil([&] { return window.playback().page() == Page::Disc; }, 600000);
        shown = clock.nsecsElapsed() / 1e9;
    });
    const double cpu = cpuSeconds() - cpuBefore;
    const qint64 peak = statusKiB("VmHWM:");
    // For comparison: the same window doing nothing for as long (at least a
    // second), on the same machine under the same load.
    const double idle =
        watch.longestGap([&] { kzp::test::waitUntil([] { return false; }, qMax(1000, int(shown * 1000))); });

    const QMenu* titles = window.part<QMenu>(QStringLiteral("titleMenu"));
    const QMenu* chapters = window.part<QMenu>(QStringLiteral("chapterMenu"));
    std::printf("disc folder: %d %s\n", count,
                kind == Kind::Chapters ? "chapters in one playlist" : (name + " playlists").constData());
    std::printf("%-36s %10.3f s\n", "until the disc page shows", shown);
    std::printf("%-36s %10.1f ms\n", "longest paint gap meanwhile", gap);
    std::printf("%-36s %10.1f ms\n", "longest paint gap, idle as long", idle);
    std::printf("%-36s %10.3f s\n", "CPU time of the player", cpu);
    std::printf("%-36s %10.1f MiB\n", "peak resident memory growth", (peak - residentBefore) / 1024.0);
    std::printf("%-36s %10s\n", "disc page shown", window.playback().page() == Page::Disc ? "yes" : "NO");
    if (titles && chapters)
        std::printf("%-36s %10lld titles, %lld chapters\n", "menu entries",
                    static_cast<long long>(titles->actions().size()),
                    static_cast<long long>(chapters->actions().size()));
    window.endEngine();
    return 0;
}
