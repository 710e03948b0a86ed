// The yardstick, the text floor: a bare Qt program that shows a 1000 x 680
// main window holding a label and a button in the player's font, so that the
// font set-up every text window pays is in the reference too.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare Qt Window"));
    window.resize(1000, 680);
    auto* content = new QWidget(&window);
    auto* layout = new QVBoxLayout(content);
    const QFont font(QStringLiteral("Calibri"), 20);
    auto* label = new QLabel(QStringLiteral("Kestrune Zyl Player"), content);
    label->setFont(font);
    auto* button = new QPushButton(QStringLiteral("Open File"), content);
    button->setFont(font);
    layout->addWidget(label);
    layout->addWidget(button);
    window.setCentralWidget(content);
    window.show();
    return app.exec();
}
