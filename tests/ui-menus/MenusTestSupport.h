#pragma once
// Shared by the menu and window-event tests: a private home, a window whose
// dialogs are answered by the test, finding entries and pages, and a scratch
// language in a temporary folder.

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QWidget>

#include "common/Files.h"
#include "common/TestEnv.h"
#include "config/LanguageManager.h"
#include "ui/DRUI.h"

using kzp::test::PrivateHome;
using kzp::test::readBytes;
using kzp::test::writeBytes;

// The dialogs of the window answered by the test.
class AnsweredWindow : public DRUI {
public:
    int fileDialogs = 0;
    int folderDialogs = 0;
    int preferenceRuns = 0;
    QStringList refusals;
    bool realPreferences = false;

    QStringList askOpenFiles() override {
        ++fileDialogs;
        return {};
    }
    QString askDiscFolder() override {
        ++folderDialogs;
        return {};
    }
    void showRefusal(const QString& message) override { refusals << message; }
    int runPreferences() override {
        ++preferenceRuns;
        return realPreferences ? DRUI::runPreferences() : 1;
    }
};

inline QAction* entryWithData(QMenu* menu, const QVariant& data) {
    if (!menu)
        return nullptr;
    for (QAction* action : menu->actions())
        if (action->data() == data)
            return action;
    return nullptr;
}

// The entry of the Controls menu that plays, pauses or resumes (its data changes).
inline QAction* playPauseEntry(const DRUI& window) {
    QMenu* controls = window.part<QMenu>(QStringLiteral("controlsMenu"));
    for (const char* data : {"Play", "Pause", "Resume"})
        if (QAction* action = entryWithData(controls, QString::fromLatin1(data)))
            return action;
    return nullptr;
}

// The page the video area shows: the one page the stack has not hidden.
inline QString shownPage(const DRUI& window) {
    for (const char* name : {"startPage", "discPage", "videoPage"}) {
        QWidget* page = window.part<QWidget>(QString::fromLatin1(name));
        if (page && !page->isHidden())
            return page->objectName();
    }
    return QString();
}

// A scratch copy of the program's language files in a temporary folder, with a
// second language ("/KzpScratch", every caption "T-" + key) offered next to
// English. The process's captions come from there: it must be set up before
// the first caption is asked for. Nothing beside the program is written.
class ScratchLanguage {
public:
    ScratchLanguage() {
        const QString shipped = QCoreApplication::applicationDirPath();
        QByteArray english = readBytes(shipped + "/Languages/English.ini");
        if (english.isEmpty()) {
            english = "[MainWnd]\nProTitle=Kestrune Zyl Player\n";
            for (const char* key : keys())
                english += QByteArray(key) + "=" + key + "\n";
        }
        QByteArray scratch = "[MainWnd]\n";
        for (const char* key : keys())
            scratch += QByteArray(key) + "=T-" + key + "\n";
        ready = dir.isValid() && writeBytes(dir.path() + "/Languages/English.ini", english) &&
                writeBytes(dir.path() + "/Languages/KzpScratch.ini", scratch) &&
                writeBytes(dir.path() + "/config.ini",
                           "[DefaultLanguage]\nDefault=/English\n\n[Languages]\n/English=English\n"
                           "/KzpScratch=Scratch\n") &&
                LanguageManager::useFolder(dir.path());
    }
    bool isReady() const { return ready; }
    QString folder() const { return dir.path(); }
    QString configText() const { return QString::fromUtf8(readBytes(dir.path() + "/config.ini")); }
    static QList<const char*> keys() {
        return {"File",       "Controls",      "Video",       "Audio",        "Tools",           "Help",
                "OpenFile",   "OpenDisc",      "RecentFiles", "Eject",        "Close",           "ClearMenu",
                "Play",       "Pause",         "Resume",      "Stop",         "Previous",        "Next",
                "Forward",    "Backward",      "VolumeUp",    "VolumeDown",   "NavigationPanel", "Title",
                "Chapter",    "FullScreen",    "HalfSize",    "NormalSize",   "DoubleSize",      "Fit2Screen",
                "VideoTrack", "SubtitleTrack", "AudioTrack",  "AudioChannel", "Stereo",          "Left",
                "Right",      "PlayList",      "Preferences", "Snapshot",     "Support",         "Language",
                "OpenFolder", "PlayMovie",     "Subtitle",    "OtherTitles",  "ProTitle"};
    }

private:
    QTemporaryDir dir;
    bool ready = false;
};
