#include "app/SleepInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>

namespace {
const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString objectPath = QStringLiteral("/org/freedesktop/ScreenSaver");

// Asking for the session bus when none is announced would make the bus
// library try to launch one for the X display; a player must not do that.
bool sessionBusAnnounced() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}
} // namespace

SleepInhibitor::SleepInhibitor(QObject* parent) : QObject(parent) {
    if (!sessionBusAnnounced())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, objectPath, service, QStringLiteral("Inhibit"));
    call << QStringLiteral("Kestrune Zyl Player") << QStringLiteral("Playing video");
    // Asynchronous, so a slow or absent service never delays the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &SleepInhibitor::granted);
}

SleepInhibitor::~SleepInhibitor() {
    if (!active)
        return;
    // The service also drops it when our bus connection closes; this is for
    // services that do not watch their callers.
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, objectPath, service, QStringLiteral("UnInhibit"));
    call << cookie;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

void SleepInhibitor::granted(QDBusPendingCallWatcher* call) {
    const QDBusPendingReply<quint32> reply = *call;
    call->deleteLater();
    if (reply.isError())
        return;
    cookie = reply.value();
    active = true;
    emit activeChanged(true);
}
