#include "media/PlaylistFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PlaylistFile::~PlaylistFile() {
    close();
}

qint32 PlaylistFile::open(const QString& path) {
    close();
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return ENOENT;
    int handle;
    do {
        // Non-blocking, so that a pipe or device named like a playlist cannot hang the open.
        handle = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0)
        return errno ? errno : kReadFault;
    // A folder opens fine on Linux but cannot be read as a playlist; pipes
    // and devices could block or never end.
    struct stat info;
    if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        ::close(handle);
        return folder ? EISDIR : EINVAL;
    }
    fd = handle;
    fileSize = static_cast<qint64>(info.st_size);
    return 0;
}

qint32 PlaylistFile::readAt(char* buffer, qint64 count, qint64 offset, qint64& done) {
    done = 0;
    if (fd < 0)
        return kNotOpen;
    if (offset < 0)
        return EINVAL;
    while (done < count) {
        const qint64 piece = qMin(count - done, kPieceSize);
        const ssize_t got =
            ::pread(fd, buffer + done, static_cast<size_t>(piece), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return kReadFault;
        done += got;
    }
    return 0;
}

void PlaylistFile::close() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    fileSize = 0;
}
