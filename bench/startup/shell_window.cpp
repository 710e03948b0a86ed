// The player's own start (single instance, sleep inhibition, signals,
// restore channel, font warm-up) around an empty 1000 x 680 main window:
// tells how much of the player's start-up is the start routine and how much
// the window contents.
#include <QMainWindow>

#include "app/SingleInstance.h"
#include "app/Startup.h"

int main(int argc, char** argv) {
    return runProgram(argc, argv, [] {
        auto* window = new QMainWindow;
        window->setWindowTitle(QString::fromLatin1(mainWindowTitle));
        window->resize(1000, 680);
        return window;
    });
}
