#pragma once

#include <QStringList>

// "RecentConfig.txt": one path per line, newest first, local 8-bit text.
QStringList readRecentFiles(const QString& filePath);
// The entries of that file's bytes.
QStringList parseRecentFiles(const QByteArray& bytes);
// Rewrites the whole file atomically. False on failure (the old file stays).
bool writeRecentFiles(const QString& filePath, const QStringList& entries);
// Inserts path at the front unless present (exact comparison); when the list then
// holds more than 10 entries the last one is dropped. Returns true when changed.
bool addRecentFile(QStringList& entries, const QString& path);

// The recent-files list and the file that keeps it.
class RecentFileList {
public:
    // Reads the list from `filePath`, where later changes are written.
    void load(const QString& filePath);
    // Adds `path` as addRecentFile() does and, when the list changed, rewrites
    // the file. True when the list changed. A path holding a line break is
    // not added: the file would give it back as other paths.
    bool add(const QString& path);
    // Empties the list and removes its file.
    void clear();
    const QStringList& entries() const { return list; }

private:
    QString file;
    QStringList list;
};
