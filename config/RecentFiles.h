#pragma once

#include <QStringList>

// "RecentConfig.txt": one path per line, newest first, local 8-bit text.
QStringList readRecentFiles(const QString& filePath);
// Rewrites the whole file atomically. False on failure (the old file stays).
bool writeRecentFiles(const QString& filePath, const QStringList& entries);
// Inserts path at the front unless present; keeps at most 10. Returns true when changed.
bool addRecentFile(QStringList& entries, const QString& path);
