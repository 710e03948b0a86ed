#include "media/FolderList.h"

#include <QFile>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace {

unsigned char foldAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

// The order a case-insensitive file system lists in, made total by a byte
// comparison so that listings never depend on the directory's storage order.
bool nameLess(const QByteArray& a, const QByteArray& b) {
    const int n = std::min(a.size(), b.size());
    for (int i = 0; i < n; ++i) {
        const unsigned char x = foldAscii(static_cast<unsigned char>(a[i]));
        const unsigned char y = foldAscii(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

struct RawEntry {
    QByteArray name;
    qint32 isDirectory;
    quint64 size;
};

} // namespace

bool listFolder(const QString& folder, QList<FolderEntry>& out) {
    const QByteArray encoded = QFile::encodeName(folder);
    if (encoded.isEmpty())
        return false;
    DIR* dir = ::opendir(encoded.constData());
    if (!dir)
        return false;
    const int dirFd = ::dirfd(dir);

    std::vector<RawEntry> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        RawEntry raw{QByteArray(entry->d_name), 0, 0};
        if (entry->d_type == DT_DIR) {
            raw.isDirectory = 1;
        } else {
            // Links are followed once, for their target's type and size; a
            // dangling or looping link is listed as an empty file.
            struct stat info;
            if (::fstatat(dirFd, entry->d_name, &info, 0) == 0) {
                if (S_ISDIR(info.st_mode))
                    raw.isDirectory = 1;
                else
                    raw.size = static_cast<quint64>(info.st_size);
            }
        }
        found.push_back(std::move(raw));
    }
    ::closedir(dir);

    std::sort(found.begin(), found.end(),
              [](const RawEntry& a, const RawEntry& b) { return nameLess(a.name, b.name); });

    QByteArray base = encoded;
    if (!base.endsWith('/'))
        base += '/';
    out.reserve(out.size() + static_cast<qsizetype>(found.size()));
    for (RawEntry& raw : found) {
        FolderEntry entry;
        entry.isDirectory = raw.isDirectory;
        entry.size = raw.size;
        entry.fullPath = base + raw.name;
        out.append(std::move(entry));
    }
    return true;
}
