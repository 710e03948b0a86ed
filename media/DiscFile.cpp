#include "media/DiscFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

DiscFile::~DiscFile() {
    close();
}

namespace {
QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
} // namespace

DiscFolder::DiscFolder(const QString& folder) : bound(true) {
    // The user may reach the disc itself through a link: that one counts.
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (!real.isEmpty())
        inside = withSlash(real);
}

QString DiscFolder::locate(const QString& path) const {
    if (!bound)
        return path;
    if (inside.isEmpty())
        return QString();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QStringView name = QStringView(path).mid(slash + 1);
    if (slash < 0 || name.isEmpty() || name == u"." || name == u"..")
        return QString();
    const QStringView folder = QStringView(path).left(slash + 1);
    if (folder != lastFolder) {
        lastFolder = folder.toString();
        const QString real = QFileInfo(lastFolder).canonicalFilePath();
        lastResolved = real.isEmpty() ? QString() : withSlash(real);
        if (!lastResolved.startsWith(inside))
            lastResolved.clear();
    }
    if (lastResolved.isEmpty())
        return QString();
    // No link on the way (the common case): the name as given.
    return lastResolved == lastFolder ? path : lastResolved + name.toString();
}

qint32 DiscFile::open(const QString& path, const DiscFolder& disc) {
    close();
    QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0'))
        return ENOENT;
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (disc.isBound()) {
        const QString located = disc.locate(path);
        if (located.isEmpty())
            return EXDEV;
        // The file itself may not be a link, wherever it leads.
        name = QFile::encodeName(located);
        flags |= O_NOFOLLOW;
    }
    int handle;
    do {
        // Non-blocking: opening a pipe for reading would otherwise wait for a
        // writer, and some devices wait on open too. The type is then checked
        // on the descriptor itself, so nothing can swap the file in between.
        handle = ::open(name.constData(), flags);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0)
        return errno ? errno : kReadFault;
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
    return 0;
}

qint32 DiscFile::readAt(char* buffer, qint64 count, qint64 offset, qint64& done) {
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

void DiscFile::close() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    fileSize = 0;
}

qint32 readDiscFile(const QString& path, qint64 limit, QByteArray& bytes, const DiscFolder& disc) {
    DiscFile file;
    const qint32 opened = file.open(path, disc);
    if (opened != 0)
        return opened;
    const qint64 size = file.size();
    if (size > limit || size > qint64(std::numeric_limits<qsizetype>::max()))
        return EFBIG;
    // The size seen at open bounds the read: a file that grows meanwhile is
    // read no further, one that shrinks ends the read early and is refused.
    QByteArray content(static_cast<qsizetype>(size), Qt::Uninitialized);
    qint64 done = 0;
    const qint32 result = file.readAt(content.data(), size, 0, done);
    if (result != 0)
        return result;
    bytes = std::move(content);
    return 0;
}
