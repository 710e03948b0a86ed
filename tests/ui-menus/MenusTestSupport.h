#pragma once
// Shared by the menu and window-event tests: a private home, a window whose
// dialogs are answered by the test, finding entries and pages, and a scratch
// language in a temporary folder.

#include <QAction>
#include <QCoreApplication>
#include <QDir>
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

inline QMenu* menu(const DRUI& window, const char* name) {
    return window.part<QMenu>(QString::fromLatin1(name));
}

// The entry of a menu, by the menu's object name and the entry's data.
inline QAction* entry(const DRUI& window, const char* menuName, const char* data) {
    return entryWithData(menu(window, menuName), QString::fromLatin1(data));
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

// A scratch copy of the program's English captions in a temporary folder, with
// a second language ("/KzpScratch", each caption "T-" + key) offered next to
// it. The process's captions come from there, so it must be set up before the
// first caption is asked for. Nothing beside the program is written.
class ScratchLanguage {
public:
    ScratchLanguage() {
        QByteArray scratch = "[MainWnd]\n";
        for (const char* key : {"File", "Controls", "Video", "Audio", "Tools", "Help", "OpenFile",
                                "RecentFiles", "Play", "Pause", "Resume", "ProTitle"})
            scratch += QByteArray(key) + "=T-" + key + "\n";
        const QString shipped = QCoreApplication::applicationDirPath() + "/Languages/English.ini";
        ready = dir.isValid() && QDir().mkpath(dir.path() + "/Languages") &&
                QFile::copy(shipped, dir.path() + "/Languages/English.ini") &&
                writeBytes(dir.path() + "/Languages/KzpScratch.ini", scratch) &&
                writeBytes(dir.path() + "/config.ini",
                           "[DefaultLanguage]\nDefault=/English\n\n[Languages]\n/English=English\n"
                           "/KzpScratch=Scratch\n") &&
                LanguageManager::useFolder(dir.path());
    }
    bool isReady() const { return ready; }
    QString configText() const { return QString::fromUtf8(readBytes(dir.path() + "/config.ini")); }

private:
    QTemporaryDir dir;
    bool ready = false;
};
