#pragma once

#include <QString>

// The per-user data folder ".../Kestrune Zyl Player/" (trailing separator kept).
QString dataFolderPath();
// Default snapshot folder: documents folder + "/Kestrune Zyl Player/".
QString defaultSnapshotFolder();
// Creates the data folder when missing and copies appDir/tool to tool.exe
// there unless a tool.exe already exists (run bit kept). Returns the folder.
QString prepareDataFolder(const QString& applicationDir);
// The stored snapshot folder text of OutputPath.txt (empty when missing/unreadable).
QString readOutputPath(const QString& dataFolder);
// Writes OutputPath.txt atomically (local 8-bit text, no line end). False on failure.
bool writeOutputPath(const QString& dataFolder, const QString& folder);
// Stored folder, or the default snapshot folder when the stored text is empty.
QString snapshotFolder(const QString& dataFolder);
