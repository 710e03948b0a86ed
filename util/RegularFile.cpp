#include "util/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::~RegularFile() {
    close();
}

int RegularFile::open(const QString& path, Links links) {
    close();
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0'))
        return ENOENT;
    // Non-blocking: opening a pipe for reading would otherwise wait for a
    // writer, and some devices wait on open too.
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == NoLinks)
        flags |= O_NOFOLLOW;
    int handle;
    do {
        handle = ::open(name.constData(), flags);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0)
        return errno ? errno : EIO;
    // A folder opens fine on Linux but cannot be read as a file; pipes and
    // devices could block or never end.
    struct stat info;
    if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        ::close(handle);
        return folder ? EISDIR : EINVAL;
    }
    fd = handle;
    fileSize = static_cast<qint64>(info.st_size);
    names = static_cast<quint64>(info.st_nlink);
    return 0;
}

int RegularFile::readAt(char* buffer, qint64 count, qint64 offset, qint64& done) {
    done = 0;
    if (fd < 0)
        return EBADF;
    if (offset < 0)
        return EINVAL;
    while (done < count) {
        const qint64 piece = qMin(count - done, kPieceSize);
        const ssize_t got =
            ::pread(fd, buffer + done, static_cast<size_t>(piece), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return EIO;
        done += got;
    }
    return 0;
}

int RegularFile::readAll(qint64 limit, QByteArray& bytes, Bound bound) {
    if (fd < 0)
        return EBADF;
    qint64 size = fileSize;
    if (size > limit) {
        if (bound == Whole)
            return EFBIG;
        size = qMax<qint64>(limit, 0);
    }
    if (size > qint64(std::numeric_limits<qsizetype>::max()))
        return EFBIG;
    QByteArray content(static_cast<qsizetype>(size), Qt::Uninitialized);
    qint64 done = 0;
    const int result = readAt(content.data(), size, 0, done);
    if (result != 0)
        return result;
    bytes = std::move(content);
    return 0;
}

void RegularFile::close() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    fileSize = 0;
    names = 0;
}

int readRegularFile(const QString& path, qint64 limit, QByteArray& bytes, RegularFile::Bound bound,
                    RegularFile::Links links) {
    RegularFile file;
    const int opened = file.open(path, links);
    return opened != 0 ? opened : file.readAll(limit, bytes, bound);
}
