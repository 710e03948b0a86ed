// Placeholder: filled in by its owner.
#include "config/DataFolder.h"
#include <QDir>
#include <QStandardPaths>
QString dataFolderPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Kestrune Zyl Player/";
}
QString defaultSnapshotFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Kestrune Zyl Player/";
}
QString prepareDataFolder(const QString&) {
    QDir().mkpath(dataFolderPath());
    return dataFolderPath();
}
QString readOutputPath(const QString&) { return {}; }
bool writeOutputPath(const QString&, const QString&) { return false; }
QString snapshotFolder(const QString&) { return defaultSnapshotFolder(); }
