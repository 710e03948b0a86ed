// Placeholder: filled in by its owner.
#include "ui/DRUI.h"

void DRUI::buildDiscMenus(const QString&) {}
void DRUI::BDMenuOperate(QAction*) {}
