#pragma once

#include <functional>

class QWidget;

// The program's whole start and run: display platform, toolkit, single
// instance (a second start restores the first window and ends), signals,
// sleep inhibition, the main window from `makeWindow` (shown, and reachable
// by a second start when its title is the main window's), the event loop,
// and the window's end. The player's main() and the start-up bench's shell
// both run it, so the bench measures the real start.
int runProgram(int argc, char** argv, const std::function<QWidget*()>& makeWindow);
