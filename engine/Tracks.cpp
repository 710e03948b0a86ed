// Placeholder: filled in by its owner.
#include "ui/DRUI.h"

void DRUI::BDVideoMenu(QAction*) {}
void DRUI::BDAudioMenu(QAction*) {}
void DRUI::Snapshot() {}
void DRUI::saveSnapshot(const QByteArray&) {}
