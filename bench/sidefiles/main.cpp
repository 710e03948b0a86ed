// Side-file bench: the start-up read of the recent list (RecentFileList::load,
// what the window does before it first shows) for an empty list, ten entries,
// 1,000,000 lines, a FIFO and a link to /dev/zero at its name. Beside it, for
// the same 1,000,000-line file, a whole read and split of the file, which is
// what the reader cost before it stopped at the entries the menu shows.
// Prints the median and the worst of several runs.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/stat.h>

#include "bench/common/Runs.h"
#include "config/RecentFiles.h"

namespace {

struct Figures {
    double median = 0, worst = 0;
    qsizetype entries = 0;
};

Figures measure(int runs, const std::function<qsizetype()>& work) {
    Figures figures;
    const QList<double> times = timedRuns(runs, [&] { figures.entries = work(); });
    figures.median = times[times.size() / 2];
    figures.worst = times.last();
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };

    QByteArray ten, million;
    for (int i = 0; i < 1000000; ++i) {
        const QByteArray line = "/home/user/Videos/clip " + QByteArray::number(i) + ".mkv\n";
        if (i < 10)
            ten += line;
        million += line;
    }
    const auto write = [](const QString& file, const QByteArray& bytes) {
        QFile out(file);
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
    };
    if (!write(path("empty"), {}) || !write(path("ten"), ten) || !write(path("million"), million) ||
        ::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600) != 0 ||
        !QFile::link(QStringLiteral("/dev/zero"), path("zero"))) {
        std::fprintf(stderr, "cannot prepare the files\n");
        return 1;
    }

    std::printf("recent list read at start-up (RecentFileList::load), %d runs\n", runs);
    const struct {
        const char* label;
        const char* name;
    } cases[] = {{"missing", "missing"},         {"empty", "empty"}, {"10 entries", "ten"},
                 {"1,000,000 lines", "million"}, {"FIFO", "fifo"},   {"link to /dev/zero", "zero"}};
    for (const auto& c : cases) {
        const QString file = path(c.name);
        const Figures f = measure(runs, [&] {
            RecentFileList list;
            list.load(file);
            return list.entries().size();
        });
        std::printf("  %-20s median %8.3f ms  worst %8.3f ms  entries %lld\n", c.label, f.median, f.worst,
                    static_cast<long long>(f.entries));
    }
    const Figures whole = measure(std::min(runs, 5), [&] {
        QFile in(path("million"));
        if (!in.open(QIODevice::ReadOnly))
            return qsizetype(0);
        QStringList lines;
        for (const QByteArray& line : in.readAll().split('\n'))
            if (!line.isEmpty())
                lines << QString::fromLocal8Bit(line);
        return lines.size();
    });
    std::printf(
        "  whole read and split of the 1,000,000-line file (%.1f MB): median %8.3f ms  worst %8.3f ms  "
        "entries %lld\n",
        double(million.size()) / 1e6, whole.median, whole.worst, static_cast<long long>(whole.entries));
    return 0;
}
