// The player's shell (single instance, sleep inhibition, captions, restore
// channel, signal handling) around an empty 1000 x 680 main window: tells how
// much of the player's start-up is the shell and how much the window contents.
#include <QApplication>
#include <QMainWindow>

#include "app/LogHandler.h"
#include "app/QuitSignals.h"
#include "app/SingleInstance.h"
#include "app/SleepInhibitor.h"
#include "config/LanguageManager.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    qInstallMessageHandler(logMessageHandler);
    const QString instanceFolder = privateRuntimeFolder();
    const InstanceRole role = claimSingleInstance(instanceFolder);
    if (role == InstanceRole::Second) {
        requestRestore(restoreServerPath(instanceFolder), QString::fromLatin1(mainWindowTitle), 1000);
        return 0;
    }
    QuitSignals quitSignals;
    SleepInhibitor sleepInhibitor;
    auto* window = new QMainWindow;
    window->setWindowTitle(caption("MainWnd/ProTitle"));
    window->resize(1000, 680);
    RestoreServer restoreServer(window,
                                role == InstanceRole::First ? restoreServerPath(instanceFolder) : QString());
    window->show();
    app.exec();
    delete window;
    return 0;
}
