// Placeholder entry: filled in by its owner.
#include <QApplication>
#include "ui/DRUI.h"
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    auto* window = new DRUI();
    window->setupWindow();
    window->show();
    app.exec();
    delete window;
    return 0;
}
