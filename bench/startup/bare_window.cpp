// The yardstick: a bare Qt program that shows an empty 1000 x 680 main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare Qt Window"));
    window.resize(1000, 680);
    window.show();
    return app.exec();
}
