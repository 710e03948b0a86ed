#pragma once

class QWidget;

// Shows the program's main window for the first time. Where the screen's
// work area is smaller than the window, frame included, the window opens
// inside it (as small as its minimum size allows); elsewhere it opens exactly
// as show() would open it, where the window manager puts it.
void showInsideWorkArea(QWidget* window);
