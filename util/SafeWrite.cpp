#include "util/SafeWrite.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcWriteGate, "kzp.gate.write", QtWarningMsg)

namespace {

// Names of no more than this many " (n)" steps are tried: a folder filled
// with planted names makes the save fail rather than spin.
constexpr int kMaxNumber = 10000;

void refuse(const QString& path, const char* what, int error) {
    qCInfo(lcWriteGate).noquote() << "refused" << path << what << std::strerror(error);
}

int openFolder(const QString& folder) {
    int dir;
    do {
        dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (dir < 0 && errno == EINTR);
    return dir;
}

bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

int createIn(int dir, const QByteArray& name, int modes) {
    int fd;
    do {
        // O_EXCL refuses any existing name, a link (dangling or not) included.
        fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                      modes);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes everything, syncs and closes `fd` (closed in any case). 0 or errno.
int finish(int fd, const QByteArray& bytes, int modes) {
    int error = 0;
    for (qsizetype done = 0; error == 0 && done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (put > 0)
            done += put;
        else if (put < 0 && errno != EINTR)
            error = errno;
        else if (put == 0)
            error = EIO;
    }
    if (error == 0 && modes >= 0 && ::fchmod(fd, mode_t(modes)) != 0)
        error = errno;
    // Some file systems report a full disk only here, or on close.
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error;
}

// Removes `name` only while it is still the file this process created.
void removeCreated(int dir, const QByteArray& name, const struct stat& created) {
    struct stat now;
    if (::fstatat(dir, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == created.st_dev &&
        now.st_ino == created.st_ino)
        ::unlinkat(dir, name.constData(), 0);
}

} // namespace

QString writeNewFile(const QString& folder, const QString& name, const QByteArray& bytes) {
    const QString shown = folder + QLatin1Char('/') + name;
    if (!isPlainName(name)) {
        refuse(shown, "name", EINVAL);
        return QString();
    }
    const int dir = openFolder(folder);
    if (dir < 0) {
        refuse(shown, "folder", errno);
        return QString();
    }
    // The extension starts at the name's last dot; a leading dot starts none.
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        dot = name.size();
    QString chosen;
    QByteArray encoded;
    int fd = -1;
    for (int n = 1; n <= kMaxNumber && fd < 0; ++n) {
        chosen = n == 1 ? name : name.left(dot) + QStringLiteral(" (%1)").arg(n) + name.mid(dot);
        encoded = QFile::encodeName(chosen);
        fd = createIn(dir, encoded, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        refuse(shown, "create", errno);
        ::close(dir);
        return QString();
    }
    struct stat created;
    ::fstat(fd, &created);
    const int error = finish(fd, bytes, -1);
    if (error != 0) {
        removeCreated(dir, encoded, created);
        refuse(folder + QLatin1Char('/') + chosen, "write", error);
    }
    ::close(dir);
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return error == 0 ? path + chosen : QString();
}

bool replaceFile(const QString& path, const QByteArray& bytes, int modes) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0    ? QStringLiteral(".")
                           : slash == 0 ? QStringLiteral("/")
                                        : path.left(slash);
    const QString name = path.mid(slash + 1);
    if (!isPlainName(name)) {
        refuse(path, "name", EINVAL);
        return false;
    }
    const int dir = openFolder(folder);
    if (dir < 0) {
        refuse(path, "folder", errno);
        return false;
    }
    const QByteArray target = QFile::encodeName(name);
    if (modes < 0) {
        struct stat old;
        if (::fstatat(dir, target.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode))
            modes = int(old.st_mode & 07777);
    }
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = ".kzp-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        // Created private; the modes asked for are set before the rename.
        fd = createIn(dir, temporary, modes < 0 ? 0666 : 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        refuse(path, "create", errno);
        ::close(dir);
        return false;
    }
    struct stat created;
    ::fstat(fd, &created);
    int error = finish(fd, bytes, modes);
    // rename() replaces a link at the name itself, never what it points at.
    if (error == 0 && ::renameat(dir, temporary.constData(), dir, target.constData()) != 0)
        error = errno;
    if (error != 0) {
        removeCreated(dir, temporary, created);
        refuse(path, "write", error);
    }
    ::close(dir);
    return error == 0;
}

bool appendToFile(const QString& path, const QByteArray& bytes) {
    int fd;
    do {
        // No link is followed, and a pipe or device planted at the name is
        // neither waited on nor written.
        fd = ::open(QFile::encodeName(path).constData(),
                    O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        refuse(path, "cannot be opened to append:", errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        refuse(path, "is no regular file:", EINVAL);
        return false;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += put;
    }
    return ::close(fd) == 0 && done == bytes.size();
}
