#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

const char* const singleInstanceLockName = "Global\\Kestrune_BluRay_Player_2021_For_Windows";
const char* const mainWindowTitle = "Kestrune Zyl Player";

namespace {
// A request is one short line; anything longer is not one of ours.
constexpr qsizetype maxRequestSize = 4096;
constexpr int requestTimeoutMs = 2000;

// True when `path` is a real folder (a link to one does not count) owned by
// this user that group and others cannot use. A folder this process has just
// made gets mode 0700 first: the umask may have taken owner bits.
bool isPrivateFolder(const QByteArray& path, bool justMade) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info = {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
    if (ok && justMade)
        ok = ::fchmod(fd, 0700) == 0 && ::fstat(fd, &info) == 0;
    ::close(fd);
    return ok && (info.st_mode & 077) == 0;
}
} // namespace

QString privateRuntimeFolder(const QString& systemTemp) {
    // A relative value is ignored, as the base directory rules ask.
    const QString runtime = QDir::cleanPath(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(QFile::encodeName(runtime), false))
        return runtime;
    const QString own =
        QDir::cleanPath(systemTemp) + QStringLiteral("/kestrune-zyl-player-") + QString::number(::geteuid());
    const QByteArray path = QFile::encodeName(own);
    const bool made = ::mkdir(path.constData(), 0700) == 0;
    if (!made && errno != EEXIST)
        return {};
    // Anyone can make this name first in a shared folder: then it is not ours.
    return isPrivateFolder(path, made) ? own : QString();
}

QString singleInstanceLockPath(const QString& folder) {
    if (folder.isEmpty())
        return {};
    return folder + u'/' + QString::fromLatin1(singleInstanceLockName);
}

QString restoreServerPath(const QString& folder) {
    if (folder.isEmpty())
        return {};
    return singleInstanceLockPath(folder) + QStringLiteral(".restore");
}

InstanceRole claimSingleInstance(const QString& folder) {
    if (folder.isEmpty())
        return InstanceRole::Unguarded;
    // CLOEXEC keeps the lock out of the engine processes, which must not hold
    // it after the player is gone.
    const int fd = ::open(QFile::encodeName(singleInstanceLockPath(folder)).constData(),
                          O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return InstanceRole::Unguarded;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return InstanceRole::First; // the descriptor stays open for the process's life
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? InstanceRole::Second : InstanceRole::Unguarded;
}

namespace {

// The channel is a local stream socket handled with the system's calls: the
// toolkit's own class would load its network library, and a dozen more with
// it, at every start of the player.
bool socketAddress(const QString& path, sockaddr_un& address) {
    const QByteArray name = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) >= sizeof address.sun_path || name.contains('\0'))
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
    pollfd entry = {fd, events, 0};
    int ready;
    do
        ready = ::poll(&entry, 1, int(qMax<qint64>(0, deadline.remainingTime())));
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace

// One connection of a second instance: its line is read as it arrives.
class RestoreClient : public QObject {
public:
    RestoreClient(int fd, RestoreServer* server)
        : QObject(server), fd(fd), notifier(fd, QSocketNotifier::Read) {
        connect(&notifier, &QSocketNotifier::activated, this, [this, server] { read(server); });
        // A client that never finishes its line is dropped.
        QTimer::singleShot(requestTimeoutMs, this, [this] { finish(); });
    }
    ~RestoreClient() override { ::close(fd); }

private:
    void read(RestoreServer* server) {
        char buffer[512];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (got > 0)
            request.append(buffer, got);
        const qsizetype end = request.indexOf('\n');
        if (got > 0 && end < 0 && request.size() <= maxRequestSize)
            return;
        finish();
        if (request.size() > maxRequestSize || (end < 0 && request.isEmpty()))
            return;
        if (end >= 0)
            request.truncate(end);
        server->handleRequest(QString::fromUtf8(request));
    }
    void finish() {
        notifier.setEnabled(false);
        deleteLater();
    }

    int fd;
    QSocketNotifier notifier;
    QByteArray request;
};

bool requestRestore(const QString& serverPath, const QString& title, int timeoutMs) {
    sockaddr_un address;
    if (serverPath.isEmpty() || !socketAddress(serverPath, address))
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    // A full queue refuses at once; the first instance may take its time.
    int connected;
    while ((connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address)) != 0 &&
           (errno == EAGAIN || errno == EINTR) && !deadline.hasExpired())
        ::usleep(10000);
    QByteArray line = title.toUtf8() + '\n';
    qsizetype sent = 0;
    while (connected == 0 && sent < line.size()) {
        const ssize_t wrote = ::send(fd, line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
        if (wrote > 0)
            sent += wrote;
        else if (!(wrote < 0 && (errno == EAGAIN || errno == EINTR) && waitFor(fd, POLLOUT, deadline)))
            break;
    }
    ::close(fd);
    return connected == 0 && sent == line.size();
}

RestoreServer::RestoreServer(QWidget* window, const QString& serverPath, QObject* parent)
    : QObject(parent), window(window) {
    sockaddr_un address;
    if (serverPath.isEmpty() || !socketAddress(serverPath, address))
        return;
    listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0)
        return;
    // Only the lock holder gets here, so a socket file left by a killed first
    // instance is stale and can go. The path is in our private folder.
    ::unlink(address.sun_path);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(address.sun_path, 0600) != 0 || ::listen(listener, 16) != 0) {
        ::close(listener);
        listener = -1;
        return;
    }
    auto* notifier = new QSocketNotifier(listener, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &RestoreServer::acceptConnections);
}

RestoreServer::~RestoreServer() {
    if (listener >= 0)
        ::close(listener);
}

bool RestoreServer::isListening() const {
    return listener >= 0;
}

void RestoreServer::acceptConnections() {
    int client;
    while ((client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0)
        new RestoreClient(client, this);
}

void RestoreServer::handleRequest(const QString& title) {
    const bool restore = window && window->windowTitle() == title;
    if (restore)
        window->showNormal();
    emit requestHandled(title, restore);
}
