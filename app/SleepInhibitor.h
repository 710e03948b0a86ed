#pragma once

#include <QObject>

class QDBusPendingCallWatcher;

// Keeps the display and the system awake while it exists, through the
// session bus's org.freedesktop.ScreenSaver service. Without a session bus,
// or without that service, it does nothing and says nothing.
class SleepInhibitor : public QObject {
    Q_OBJECT

public:
    explicit SleepInhibitor(QObject* parent = nullptr);
    ~SleepInhibitor() override;

    // True once the service has granted the request.
    bool isActive() const { return active; }

signals:
    void activeChanged(bool active);

private:
    void granted(QDBusPendingCallWatcher* call);

    quint32 cookie = 0;
    bool active = false;
};
