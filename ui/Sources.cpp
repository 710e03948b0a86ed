// Opening sources: the file and folder dialogs and the examination of a
// chosen folder (Blu-ray structure, DVD structure, or refusal).

#include "ui/DRUI.h"

#include <QFileDialog>
#include <QFileInfo>

#include "config/LanguageManager.h"
#include "dialogs/CMessageBox.h"
#include "media/FolderList.h"

namespace {

const char* const kOpenFileFilter =
    "*.rmvb *.rm *.mpeg *.mov *.avi *.wmv *.asf *.mp4 *.flv *.fla *.swf *.m4v *.3gp *.dv *.3g2 *.m4b *.mkv "
    "*.mts *.divx *.ogm *.moi *.vob *.ajp *.f4v *.mqv *.svi *.vid *.tod *.hdmov *.mod *.mxf *.m2ts *.lrv "
    ";;All File(*.*)";

// A structure folder must be a folder: a plain file that happens to carry
// the name is not a disc (the path is tested with its trailing separator).
bool isFolder(const QString& path) {
    return QFileInfo(path).isDir();
}

bool hasSubFolderMatching(const QString& base, const char* needle) {
    QList<FolderEntry> entries;
    if (!listFolder(base, entries))
        return false;
    for (const FolderEntry& entry : std::as_const(entries)) {
        if (entry.isDirectory && entry.fullPath.contains(needle))
            return true;
    }
    return false;
}

} // namespace

void DRUI::btnOpenFile() {
    if (isAddingFiles())
        return;
    const QStringList files = askOpenFiles();
    if (!files.isEmpty())
        addFiles(files);
}

void DRUI::btnLoadBDPath() {
    if (isAddingFiles())
        return;
    loadDiscFolder(askDiscFolder());
}

QStringList DRUI::askOpenFiles() {
    // The dialog starts where the engine last ran: the folder a disc title
    // played from, else the player's own working folder.
    const QString start =
        controller->engineFolder().isEmpty() ? QStringLiteral(".") : controller->engineFolder();
    return QFileDialog::getOpenFileNames(this, QString(), start, QLatin1String(kOpenFileFilter));
}

QString DRUI::askDiscFolder() {
    return QFileDialog::getExistingDirectory(this, QString(), QString(), QFileDialog::ShowDirsOnly);
}

void DRUI::loadDiscFolder(const QString& folder) {
    // A cancelled dialog gives a null text; an empty one names no folder either.
    if (folder.isEmpty() || isAddingFiles())
        return;
    StopBtn();

    const QString blurayBase = folder + QStringLiteral("/BDMV/");
    bool bluray = false;
    QString base;
    const char* needle = nullptr;
    if (isFolder(blurayBase)) {
        bluray = true;
        base = blurayBase;
        needle = "STREAM";
    } else if (isFolder(folder + QStringLiteral("/VIDEO_TS/"))) {
        base = folder;
        needle = "VIDEO_TS";
    } else {
        showRefusal(caption("Messages/MSG0102"));
        return;
    }

    if (!hasSubFolderMatching(base, needle)) {
        showRefusal(caption("Messages/MSG0102"));
        return;
    }
    if (bluray)
        buildDiscMenus(folder);
    else
        addDvdFolder(folder);
}

void DRUI::showRefusal(const QString& message) {
    CMessageBox box;
    box.setGeometry(x() + width() / 3, y() + height() / 3, 400, 180);
    box.setupInformation(message);
    box.exec();
}
