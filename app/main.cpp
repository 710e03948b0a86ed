// Program entry: the start routine with the player's main window.

#include "app/Startup.h"
#include "ui/DRUI.h"

int main(int argc, char** argv) {
    return runProgram(argc, argv, [] {
        auto* window = new DRUI();
        window->setupWindow();
        return window;
    });
}
