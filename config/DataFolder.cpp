#include "config/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "config/AtomicWrite.h"

namespace {
const QString folderName = QStringLiteral("/Kestrune Zyl Player/");
const QString outputPathFile = QStringLiteral("OutputPath.txt");
} // namespace

QString dataFolderPath() {
    // An unknown location leaves just the folder name, as on the old platform.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + folderName;
}

QString defaultSnapshotFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + folderName;
}

QString prepareDataFolder(const QString& applicationDir) {
    const QString folder = dataFolderPath();
    if (!QDir(folder).exists())
        QDir().mkpath(folder);
    // The probe copy is made once; an existing one is never replaced.
    const QString target = folder + QStringLiteral("tool.exe");
    if (!QFile::exists(target)) {
        QFile::remove(target); // a dangling link would block the copy
        // QFile::copy keeps the permissions (the run bit) and writes through a
        // temporary file, so a failed copy leaves no half-written probe.
        QFile::copy(applicationDir + QStringLiteral("/tool"), target);
    }
    return folder;
}

QString readOutputPath(const QString& dataFolder) {
    QFile file(dataFolder + outputPathFile);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // Used exactly as stored: no trimming, no line-end handling.
    return QString::fromLocal8Bit(file.readAll());
}

bool writeOutputPath(const QString& dataFolder, const QString& folder) {
    return writeFileAtomically(dataFolder + outputPathFile, folder.toLocal8Bit());
}

QString snapshotFolder(const QString& dataFolder) {
    const QString stored = readOutputPath(dataFolder);
    return stored.isEmpty() ? defaultSnapshotFolder() : stored;
}
