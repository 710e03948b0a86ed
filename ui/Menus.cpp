// Placeholder: filled in by its owner.
#include "ui/DRUI.h"

void DRUI::createMenuButton(int, int, QWidget*) {}
void DRUI::createFileMenu(QPushButton*) {}
void DRUI::createControlsMenu(QPushButton*) {}
void DRUI::createVideoMenu(QPushButton*) {}
void DRUI::createAudioMenu(QPushButton*) {}
void DRUI::createToolsMenu(QPushButton*) {}
void DRUI::createHelpMenu(QPushButton*) {}
void DRUI::BDFileMenu(QAction*) {}
void DRUI::BDControlsMenu(QAction*) {}
void DRUI::BDToolMenu(QAction*) {}
void DRUI::BDHelpMenu(QAction*) {}
int DRUI::runPreferences() { return 1; }
void DRUI::btnOpenUrl(QString) {}
void DRUI::btnHelpSlot() {}
void DRUI::btnSupportSlot() {}
void DRUI::btnAboutSlot() {}
