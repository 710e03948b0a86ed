// Placeholder: filled in by its owner.
#include "ui/DRUI.h"

#include <QMainWindow>
bool DRUI::eventFilter(QObject* w, QEvent* e) { return QMainWindow::eventFilter(w, e); }
void DRUI::mousePressEvent(QMouseEvent*) {}
void DRUI::keyPressEvent(QKeyEvent* e) { QMainWindow::keyPressEvent(e); }
void DRUI::paintEvent(QPaintEvent*) {}
void DRUI::resizeEvent(QResizeEvent* e) { QMainWindow::resizeEvent(e); }
void DRUI::closeEvent(QCloseEvent*) {}
void DRUI::dragEnterEvent(QDragEnterEvent*) {}
void DRUI::dropEvent(QDropEvent*) {}
void DRUI::FullScreenBtn() {}
void DRUI::btnMinSlot() {}
void DRUI::btnCloseSlot() {}
void DRUI::btnMenButtonSlot() {}
