// Placeholder: filled in by its owner.
#include "ui/DRUI.h"

void DRUI::VideoPlay() {}
void DRUI::StopBtn() {}
void DRUI::Navigation() {}
void DRUI::DoRefreshGui() {}
void DRUI::SliderSeek(int) {}
void DRUI::SliderPress() {}
void DRUI::SliderRelease() {}
void DRUI::SliderMouseLButtonPress(QObject*, QEvent*) {}
void DRUI::VolumeBtn() {}
void DRUI::VolumeSliderSeek(int) {}
void DRUI::pausePlayback() {}
void DRUI::resumePlayback() {}
void DRUI::seekForward() {}
void DRUI::seekBackward() {}
void DRUI::seekToChapter(qint64) {}
void DRUI::writeEngine(const QByteArray&) {}
void DRUI::endEngine() {}
void DRUI::refreshRecentFilesMenu() {}
void DRUI::startEngine() {}
void DRUI::setVolumeIcon(bool) {}
void DRUI::connectEngineOutput(bool) {}
void DRUI::engineFinished() {}
QString DRUI::enginePath() const { return QString(); }
