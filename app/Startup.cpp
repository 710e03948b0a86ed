#include "app/Startup.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <thread>

#include <fontconfig/fontconfig.h>

#include "app/DisplayPlatform.h"
#include "app/FirstShow.h"
#include "app/LogHandler.h"
#include "app/QuitSignals.h"
#include "app/SingleInstance.h"
#include "app/SleepInhibitor.h"

namespace {

// Test hook, active only when KZP_TEST_HOOKS is set: reports on standard
// output the display platform and when the window is up, each change of its state and each restore
// request; with "minimized" in the variable the window starts minimised.
class TestHooks : public QObject {
public:
    TestHooks(QWidget* window, RestoreServer* server) : QObject(window) {
        window->installEventFilter(this);
        connect(server, &RestoreServer::requestHandled, this, [](const QString& title, bool restored) {
            report(QStringLiteral("restore %1 %2").arg(restored ? "matched" : "ignored", title));
        });
    }
    static void report(const QString& line) {
        std::fputs(qPrintable(line + u'\n'), stdout);
        std::fflush(stdout);
    }
    static QString stateName(Qt::WindowStates state) {
        if (state & Qt::WindowMinimized)
            return QStringLiteral("minimized");
        if (state & Qt::WindowFullScreen)
            return QStringLiteral("fullscreen");
        if (state & Qt::WindowMaximized)
            return QStringLiteral("maximized");
        return QStringLiteral("normal");
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange)
            report(QStringLiteral("state ") + stateName(static_cast<QWidget*>(watched)->windowState()));
        return false;
    }
};

} // namespace

int runProgram(int argc, char** argv, const std::function<QWidget*()>& makeWindow) {
    // Decided before the toolkit reads the variable.
    selectDisplayPlatform();
    // Loading the font configuration is the largest single cost of building
    // the window; it runs beside the toolkit's own start-up instead of after it.
    std::thread fontWarmUp([] { FcInit(); });
    QApplication app(argc, argv);
    fontWarmUp.join();
    app.setQuitOnLastWindowClosed(false);
    qInstallMessageHandler(logMessageHandler);

    const QString instanceFolder = privateRuntimeFolder();
    const InstanceRole role = claimSingleInstance(instanceFolder);
    if (role == InstanceRole::Second) {
        // Whether or not the first instance answers, this one is done.
        requestRestore(restoreServerPath(instanceFolder), QString::fromLatin1(mainWindowTitle), 1000);
        return 0;
    }
    if (role == InstanceRole::Unguarded)
        std::fputs("kestrune-zyl-player: no private runtime folder for the single-instance lock "
                   "(XDG_RUNTIME_DIR unset or unfit, /tmp/kestrune-zyl-player-UID not ours); "
                   "starting without it\n",
                   stderr);

    // Lives until after the window is gone, so a signal during shutdown
    // cannot cut the engine's ending short.
    QuitSignals quitSignals;
    SleepInhibitor sleepInhibitor;

    QWidget* window = makeWindow();
    RestoreServer restoreServer(window,
                                role == InstanceRole::First ? restoreServerPath(instanceFolder) : QString());

    const QByteArray hooks = qgetenv("KZP_TEST_HOOKS");
    if (!hooks.isEmpty())
        new TestHooks(window, &restoreServer);
    showInsideWorkArea(window);
    if (!hooks.isEmpty()) {
        if (hooks.contains("minimized"))
            window->showMinimized();
        TestHooks::report(QStringLiteral("platform ") + QGuiApplication::platformName());
        TestHooks::report(QStringLiteral("ready %1").arg(restoreServer.isListening() ? "listening" : "deaf"));
    }

    app.exec();
    delete window;
    return 0;
}
