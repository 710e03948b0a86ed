#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

bool requestRestore(const QString& serverPath, const QString& title, int timeoutMs) {
    if (serverPath.isEmpty())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(serverPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(title.toUtf8() + '\n');
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    socket.disconnectFromServer();
    return true;
}

RestoreServer::RestoreServer(QWidget* window, const QString& serverPath, QObject* parent)
    : QObject(parent), server(new QLocalServer(this)), window(window) {
    if (serverPath.isEmpty())
        return;
    // Only the lock holder gets here, so a socket file left by a killed first
    // instance is stale and can go. The path is in our private folder; a bare
    // name would put the socket under $TMPDIR.
    QLocalServer::removeServer(serverPath);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &RestoreServer::acceptConnections);
    server->listen(serverPath);
}

bool RestoreServer::isListening() const {
    return server->isListening();
}

void RestoreServer::acceptConnections() {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket, false); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { readRequest(socket, true); });
        // A client that never finishes its line is dropped.
        QTimer::singleShot(requestTimeoutMs, socket, [socket] { socket->abort(); });
        if (socket->bytesAvailable() > 0)
            readRequest(socket, false);
    }
}

void RestoreServer::readRequest(QLocalSocket* socket, bool finished) {
    if (socket->property("handled").toBool())
        return;
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    const qsizetype end = request.indexOf('\n');
    if (end < 0 && !finished && request.size() <= maxRequestSize) {
        socket->setProperty("request", request);
        return;
    }
    socket->setProperty("handled", true);
    socket->deleteLater();
    if (request.size() > maxRequestSize || (end < 0 && request.isEmpty()))
        return;
    if (end >= 0)
        request.truncate(end);
    const QString title = QString::fromUtf8(request);
    const bool restore = window && window->windowTitle() == title;
    if (restore)
        window->showNormal();
    emit requestHandled(title, restore);
}
