// Placeholder: filled in by its owner.
#include "ui/DRUI.h"

void DRUI::btnOpenFile() {}
void DRUI::btnLoadBDPath() {}
void DRUI::loadDiscFolder(const QString&) {}
QStringList DRUI::askOpenFiles() { return {}; }
QString DRUI::askDiscFolder() { return {}; }
void DRUI::showRefusal(const QString&) {}
