// Fuzz entry for the engine's screenshot reports: whatever lines the engine
// (or a media tag it echoes) prints, with or without requests pending, only
// the engine's own regular files directly inside its folder are taken, read
// or removed, and nothing outside that folder changes.
//
// Input lines: "+" asks for a snapshot, "-" ends the engine, "=" starts a new
// one; "r NAME" and "d NAME" read and remove NAME directly; any other line is
// engine output. "%F" stands for the engine's folder (with its separator) and
// "%R" for the scratch folder around it, so inputs can aim at the files laid
// out below.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/EngineLine.h"
#include "engine/Snapshots.h"

namespace {

const QByteArray kEngineBytes("engine picture");
const QByteArray kUserBytes("user picture");

bool writeFile(const QByteArray& path, const QByteArray& bytes) {
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// root/
//   0001.png, victim.png, hard.png            the user's files
//   shots/                                    the engine's folder
//     0001.png, 0005.png                      the engine's files
//     0002.png -> ../victim.png               a link out
//     0003.png                                a second name of ../hard.png
//     sub/0004.png                            one level too deep
struct Layout {
    QTemporaryDir dir;
    QByteArray root;
    QByteArray folder;
    QList<QByteArray> userFiles;

    Layout() {
        if (!dir.isValid())
            std::abort();
        root = QFile::encodeName(dir.path());
        folder = root + "/shots/";
        QDir().mkpath(QFile::decodeName(folder + "sub"));
        userFiles = {root + "/0001.png", root + "/victim.png", root + "/hard.png", folder + "sub/0004.png"};
        for (const QByteArray& path : userFiles)
            if (!writeFile(path, kUserBytes))
                std::abort();
        restore();
    }

    // Puts back whatever an accepted report (or a "d" line) removed.
    void restore() {
        struct stat info;
        for (const char* name : {"0001.png", "0005.png"})
            if (::lstat((folder + name).constData(), &info) != 0 && !writeFile(folder + name, kEngineBytes))
                std::abort();
        const QByteArray link = folder + "0002.png";
        if (::lstat(link.constData(), &info) != 0 && ::symlink("../victim.png", link.constData()) != 0)
            std::abort();
        const QByteArray second = folder + "0003.png";
        if (::lstat(second.constData(), &info) != 0 &&
            ::link((root + "/hard.png").constData(), second.constData()) != 0)
            std::abort();
    }

    void checkUserFiles() const {
        for (const QByteArray& path : userFiles) {
            QFile file(QFile::decodeName(path));
            if (!file.open(QIODevice::ReadOnly) || file.readAll() != kUserBytes)
                std::abort();
        }
    }
};

// The folder of a taken report, resolved by the system, is the engine's.
bool sameFolder(const QByteArray& reported, const QByteArray& folder) {
    struct stat a, b;
    const QByteArray parent = reported.left(reported.lastIndexOf('/') + 1);
    return ::stat(parent.constData(), &a) == 0 && ::stat(folder.constData(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Layout layout;
    QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    input.replace("%F", layout.folder).replace("%R", layout.root);

    EngineSnapshots shots;
    shots.begin(QFile::decodeName(layout.folder));
    for (const QByteArray& line : input.split('\n')) {
        if (line == "+") {
            shots.request();
        } else if (line == "-") {
            shots.end();
        } else if (line == "=") {
            shots.begin(QFile::decodeName(layout.folder));
        } else if (line.startsWith("r ") || line.startsWith("d ")) {
            const QString name = QFile::decodeName(line.mid(2));
            if (line[0] == 'r') {
                const QByteArray bytes = shots.read(name);
                if (!bytes.isEmpty() && bytes != kEngineBytes)
                    std::abort(); // only the engine's regular files are read
            } else if (shots.remove(name) && !isEngineShotName(name)) {
                std::abort();
            }
        } else {
            QByteArray reported;
            if (!engineScreenshotName(line + '\n', &reported))
                continue;
            const int pending = shots.pending();
            QString name;
            const EngineSnapshots::Report judged = shots.take(reported, &name);
            if (judged != EngineSnapshots::Report::Taken) {
                if (shots.pending() != pending || !name.isEmpty())
                    std::abort();
                continue;
            }
            struct stat info;
            if (pending < 1 || shots.pending() != pending - 1 || !isEngineShotName(name) ||
                !reported.startsWith('/') || reported.contains("/../") ||
                !sameFolder(reported, layout.folder) ||
                ::lstat((layout.folder + QFile::encodeName(name)).constData(), &info) != 0 ||
                !S_ISREG(info.st_mode) || info.st_nlink != 1)
                std::abort();
            if (shots.read(name) != kEngineBytes || !shots.remove(name))
                std::abort();
        }
        layout.restore();
    }
    layout.checkUserFiles();
    return 0;
}
