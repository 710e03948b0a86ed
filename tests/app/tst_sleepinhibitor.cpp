// Sleep inhibition over a private session bus with a stand-in screen saver.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include "app/SleepInhibitor.h"

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        inhibits << application + u'|' + reason;
        return 4711;
    }
    void UnInhibit(uint cookie) { released << cookie; }

public:
    QStringList inhibits;
    QList<uint> released;
};

class TestSleepInhibitor : public QObject {
    Q_OBJECT

private slots:
    void withoutSessionBus();
    void inhibitsForItsLife();
    void cleanupTestCase();

private:
    QProcess bus;
};

void TestSleepInhibitor::withoutSessionBus() {
    // No bus announced: nothing may be attempted (not even launching one).
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", "/nonexistent-runtime-dir");
    SleepInhibitor inhibitor;
    QVERIFY(!inhibitor.isActive());
    QVERIFY(inhibitor.findChildren<QObject*>().isEmpty()); // no pending call
}

void TestSleepInhibitor::inhibitsForItsLife() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        QSKIP("dbus-daemon is not installed");
    bus.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    QVERIFY(bus.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(bus.canReadLine(), 10000);
    const QByteArray address = bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    // The stand-in lives on its own connection, as a separate program would.
    QDBusConnection service =
        QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("fake"));
    QVERIFY(service.isConnected());
    FakeScreenSaver saver;
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    auto* inhibitor = new SleepInhibitor;
    QSignalSpy active(inhibitor, &SleepInhibitor::activeChanged);
    QVERIFY(active.wait(10000));
    QVERIFY(inhibitor->isActive());
    QCOMPARE(saver.inhibits, QStringList{"Kestrune Zyl Player|Playing video"});
    QVERIFY(saver.released.isEmpty());

    delete inhibitor;
    QTRY_COMPARE_WITH_TIMEOUT(saver.released, QList<uint>{4711}, 10000);
    QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
}

void TestSleepInhibitor::cleanupTestCase() {
    if (bus.state() != QProcess::NotRunning) {
        bus.kill();
        bus.waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestSleepInhibitor)
#include "tst_sleepinhibitor.moc"
