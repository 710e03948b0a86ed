// Opening benchmark: addFiles on 50 generated clips next to the same probe
// run on the same files by a shell loop, and a 100,000-entry folder listing.
// Run from the build's bin folder (it needs "tool" and "fake-engine" there):
//   QT_QPA_PLATFORM=offscreen ./bench-open [rounds]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "common/MediaClips.h"
#include "common/TestEnv.h"
#include "media/FolderList.h"
#include "ui/DRUI.h"

namespace {

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

bool runQuiet(const QString& program, const QStringList& arguments) {
    return kzp::test::runProgram(program, arguments, 600000).succeeded();
}

} // namespace

int main(int argc, char** argv) {
    const kzp::test::PrivateHome home;
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    const QString bin = QCoreApplication::applicationDirPath();

    // 50 clips of two seconds each (one made, the rest copied).
    const QString clips = home.path("clips");
    QDir().mkpath(clips);
    kzp::test::ClipOptions clip;
    clip.seconds = 2;
    clip.tones = {};
    clip.encoding = {"-c:v", "mpeg4"};
    clip.quiet = false;
    clip.timeoutMs = 600000;
    if (!kzp::test::makeClip(clips + "/clip 00.mp4", clip).succeeded()) {
        std::fprintf(stderr, "ffmpeg could not make the test clip\n");
        return 1;
    }
    QStringList files{clips + "/clip 00.mp4"};
    for (int i = 1; i < 50; ++i) {
        files << clips + QStringLiteral("/clip %1.mp4").arg(i, 2, 10, QLatin1Char('0'));
        QFile::copy(files[0], files.last());
    }

    DRUI window;
    window.setupWindow();
    window.setEnginePath(bin + "/fake-engine");
    QFile::remove(window.probePath());
    if (!QFile::copy(bin + "/tool", window.probePath())) {
        std::fprintf(stderr, "no probe launcher beside the benchmark\n");
        return 1;
    }
    const QString probe = window.probePath();

    QList<double> player, shell;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        window.addFiles(files);
        player << clock.nsecsElapsed() / 1e9;
        if (window.playback().mediaLength() != 2)
            std::fprintf(stderr, "unexpected length %lld\n",
                         static_cast<long long>(window.playback().mediaLength()));
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
    qsizetype count = 0;
    for (int round = 0; round < rounds; ++round) {
        QList<FolderEntry> entries;
        QElapsedTimer clock;
        clock.start();
        listFolder(big, entries);
        listing << clock.nsecsElapsed() / 1e6;
        count = entries.size();
    }

    const double p = median(player), s = median(shell);
    std::printf("median of %d rounds\n", rounds);
    std::printf("%-40s %8.3f s\n", "addFiles, 50 clips", p);
    std::printf("%-40s %8.3f s\n", "same probe, shell loop, 50 clips", s);
    std::printf("%-40s %8.3f   (target <= 1.10)\n", "ratio", s > 0 ? p / s : 0.0);
    std::printf("%-40s %8.1f ms (%lld entries)\n", "listFolder, 100,000 entries", median(listing),
                static_cast<long long>(count));
    return 0;
}
