#pragma once
// Shared by the menu and window-event tests: a private home, a window whose
// dialogs are answered by the test, and a scratch language beside the test
// binary (config.ini and the Languages folder are restored afterwards).

#include <QCoreApplication>
#include <QFile>
#include <QMenu>

#include "common/Files.h"
#include "common/TestEnv.h"
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

// A second language ("/KzpScratch", every caption "T-" + key) offered next to
// English. Must be set up before the first caption is asked for.
class ScratchLanguage {
public:
    ScratchLanguage() {
        appDir = QCoreApplication::applicationDirPath();
        configBackup = readBytes(appDir + "/config.ini");
        hadConfig = QFile::exists(appDir + "/config.ini");
        englishPath = appDir + "/Languages/English.ini";
        ownEnglish = !QFile::exists(englishPath);
        QByteArray english = "[MainWnd]\nProTitle=Kestrune Zyl Player\n";
        QByteArray scratch = "[MainWnd]\n";
        for (const char* key : keys()) {
            if (ownEnglish && qstrcmp(key, "ProTitle") != 0)
                english += QByteArray(key) + "=" + key + "\n";
            scratch += QByteArray(key) + "=T-" + key + "\n";
        }
        if (ownEnglish)
            writeBytes(englishPath, english);
        writeBytes(scratchPath(), scratch);
        writeBytes(appDir + "/config.ini",
                   "[DefaultLanguage]\nDefault=/English\n\n[Languages]\n/English=English\n"
                   "/KzpScratch=Scratch\n");
    }
    ~ScratchLanguage() {
        if (hadConfig)
            writeBytes(appDir + "/config.ini", configBackup);
        QFile::remove(scratchPath());
        if (ownEnglish)
            QFile::remove(englishPath);
    }
    QString configText() const { return QString::fromUtf8(readBytes(appDir + "/config.ini")); }
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
    QString scratchPath() const { return appDir + "/Languages/KzpScratch.ini"; }
    QString appDir;
    QString englishPath;
    QByteArray configBackup;
    bool hadConfig = false;
    bool ownEnglish = false;
};
