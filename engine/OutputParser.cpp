// Placeholder: filled in by its owner.
#include "ui/DRUI.h"

void DRUI::MPlayerDataRecieve() {}
void DRUI::handleEngineLine(const QByteArray&) {}
void DRUI::handleEndOfPlayback() {}
void DRUI::handleVideoStart() {}
