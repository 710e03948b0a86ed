#include "tools/launcher/SideFiles.h"

#include <QFile>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool blocks(int folder, const char* name) {
    struct stat info;
    if (::fstatat(folder, name, &info, 0) != 0)
        return false; // missing or a dangling link: the engine's open fails at once
    return S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISSOCK(info.st_mode);
}

// Walks one folder's entries whose extension, compared without case, is one
// of `extensions`; true at the first that blocks.
bool folderHolds(const QString& path, const QStringList& extensions) {
    const int folder =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (folder < 0)
        return false;
    DIR* listing = ::fdopendir(folder);
    if (!listing) {
        ::close(folder);
        return false;
    }
    bool found = false;
    while (!found) {
        const dirent* entry = ::readdir(listing);
        if (!entry)
            break;
        const char* dot = std::strrchr(entry->d_name, '.');
        if (!dot || entry->d_type == DT_REG || entry->d_type == DT_DIR)
            continue;
        const QString extension = QString::fromLatin1(dot + 1).toLower();
        found = extensions.contains(extension) && blocks(folder, entry->d_name);
    }
    ::closedir(listing);
    return found;
}

QString folderOf(const QString& file) {
    const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : file.left(slash);
}

} // namespace

bool hasBlockingSubtitleFile(const QString& videoPath) {
    // The engine's own list of subtitle file extensions, and VobSub's pair.
    static const QStringList extensions{
        QStringLiteral("utf"), QStringLiteral("utf8"), QStringLiteral("utf-8"), QStringLiteral("sub"),
        QStringLiteral("srt"), QStringLiteral("smi"),  QStringLiteral("rt"),    QStringLiteral("txt"),
        QStringLiteral("ssa"), QStringLiteral("aqt"),  QStringLiteral("jss"),   QStringLiteral("js"),
        QStringLiteral("ass"), QStringLiteral("vtt"),  QStringLiteral("idx")};
    const QString folder = folderOf(videoPath);
    return folderHolds(folder, extensions) || folderHolds(folder + QStringLiteral("/sub"), extensions);
}

bool hasBlockingDvdFile(const QString& folder) {
    static const QStringList extensions{QStringLiteral("ifo"), QStringLiteral("bup"), QStringLiteral("vob")};
    return folderHolds(folder, extensions) || folderHolds(folder + QStringLiteral("/VIDEO_TS"), extensions);
}

bool avoidBlockingSideFiles(QStringList& arguments) {
    const qsizetype n = arguments.size();
    if (n < 1)
        return true;
    const qsizetype device = arguments.indexOf(QStringLiteral("-dvd-device"));
    if (device >= 0)
        return device + 1 >= n || !hasBlockingDvdFile(arguments.at(device + 1));
    // A disc plays from its own tree; a file is the last argument.
    if (arguments.contains(QStringLiteral("-bluray-device")))
        return true;
    if (hasBlockingSubtitleFile(arguments.last()))
        arguments.insert(n - 1, QStringLiteral("-noautosub"));
    return true;
}
