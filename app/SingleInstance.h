#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QWidget;

// Name of the machine-wide single-instance lock.
extern const char* const singleInstanceLockName;
// Title that a second instance asks the first one to restore.
extern const char* const mainWindowTitle;

// The lock file (in the system temp folder) and the restore channel's name.
QString singleInstanceLockPath();
QString restoreServerName();

// True when another instance holds the machine-wide lock. Otherwise this
// process now holds it until it ends, however it ends (the operating system
// releases it). A lock that cannot be taken at all counts as no other instance.
bool isAnotherInstanceRunning();

// Second instance: asks the first one to restore the window with the given
// title. Returns once the request is delivered or after timeoutMs.
bool requestRestore(const QString& title, int timeoutMs = 1000);

// First instance: answers restore requests by showing the window in its
// normal state when its title equals the requested text exactly.
class RestoreServer : public QObject {
    Q_OBJECT

public:
    explicit RestoreServer(QWidget* window, QObject* parent = nullptr);
    bool isListening() const;

signals:
    // One request was handled; restored tells whether the title matched.
    void requestHandled(const QString& title, bool restored);

private:
    void acceptConnections();
    void readRequest(QLocalSocket* socket, bool finished);

    QLocalServer* server;
    QPointer<QWidget> window;
};
