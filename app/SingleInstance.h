#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;
class RestoreClient;

// Name of the per-user single-instance lock file.
extern const char* const singleInstanceLockName;
// Title that a second instance asks the first one to restore.
extern const char* const mainWindowTitle;

// The private per-user folder that holds the lock and the restore channel:
// $XDG_RUNTIME_DIR, or when that is unset (or unfit) the folder
// kestrune-zyl-player-UID in `systemTemp`, made with mode 0700 when missing.
// A folder counts only when it is a real folder (not a link) owned by this
// user that group and others cannot use; otherwise the result is empty.
// `systemTemp` is the fixed system folder, never $TMPDIR: that one may differ
// between two starts of the same user.
QString privateRuntimeFolder(const QString& systemTemp = QStringLiteral("/tmp"));
// The lock file and the restore channel inside `folder` (empty for an empty folder).
QString singleInstanceLockPath(const QString& folder);
QString restoreServerPath(const QString& folder);

enum class InstanceRole {
    First,     // this process holds the lock until it ends, however it ends
    Second,    // another process of this user holds it
    Unguarded, // no private folder or no lock to be had: runs without the guarantee
};
// Takes the lock in `folder` (from privateRuntimeFolder).
InstanceRole claimSingleInstance(const QString& folder);

// Second instance: asks the first one, listening on `serverPath`, to restore
// the window with the given title. Returns once the request is delivered or
// after timeoutMs.
bool requestRestore(const QString& serverPath, const QString& title, int timeoutMs = 1000);

// First instance: answers restore requests by showing the window in its
// normal state when its title equals the requested text exactly.
class RestoreServer : public QObject {
    Q_OBJECT

public:
    // Listens on `serverPath`, which only the lock holder may pass: a socket
    // file found there was left by a killed first instance. An empty path
    // gives a server that never listens.
    RestoreServer(QWidget* window, const QString& serverPath, QObject* parent = nullptr);
    ~RestoreServer() override;
    bool isListening() const;

signals:
    // One request was handled; restored tells whether the title matched.
    void requestHandled(const QString& title, bool restored);

private:
    friend class RestoreClient;
    void acceptConnections();
    void handleRequest(const QString& title);

    int listener = -1;
    QPointer<QWidget> window;
};
