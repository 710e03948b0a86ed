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
} // namespace

QString singleInstanceLockPath() {
    return QDir::tempPath() + u'/' + QString::fromLatin1(singleInstanceLockName);
}

QString restoreServerName() {
    return QString::fromLatin1(singleInstanceLockName) + QStringLiteral(".restore");
}

bool isAnotherInstanceRunning() {
    const QByteArray path = QFile::encodeName(singleInstanceLockPath());
    // flock() needs only a read-only descriptor, so a file made by another user
    // serves everyone. O_CREAT comes second: Linux refuses it on another user's
    // file in a sticky folder such as /tmp. CLOEXEC keeps the lock out of the
    // engine processes, which must not hold it after the player is gone.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(path.constData(), flags);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.constData(), flags | O_CREAT, 0644);
        if (fd >= 0)
            ::fchmod(fd, 0644); // world-readable whatever the umask
        else
            fd = ::open(path.constData(), flags); // another user just made it
    }
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return false; // ours now; the descriptor stays open for the process's life
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool requestRestore(const QString& title, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(restoreServerName());
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(title.toUtf8() + '\n');
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    socket.disconnectFromServer();
    return true;
}

RestoreServer::RestoreServer(QWidget* window, QObject* parent)
    : QObject(parent), server(new QLocalServer(this)), window(window) {
    // Only the lock holder gets here, so a socket file left by a killed first
    // instance is stale and can go.
    QLocalServer::removeServer(restoreServerName());
    server->setSocketOptions(QLocalServer::WorldAccessOption);
    connect(server, &QLocalServer::newConnection, this, &RestoreServer::acceptConnections);
    server->listen(restoreServerName());
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
