// Placeholder: filled in by its owner.
#include "ui/DRUI.h"

void DRUI::createPlayListTable() {}
void DRUI::appendPlayListRows(const QList<PLAY_LIST_INFO>&) {}
QString DRUI::probeDuration(const QString&) { return {}; }
void DRUI::addFiles(const QStringList&) {}
void DRUI::addDvdFolder(const QString&) {}
void DRUI::addBluRayTitle() {}
void DRUI::PlayListItemDoubleClick(int, int) {}
void DRUI::PlayPre() {}
void DRUI::PlayNext() {}
void DRUI::markPlayingRow() {}
QString DRUI::probePath() const { return QString(); }
