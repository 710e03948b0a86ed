#pragma once

#include <QStringList>

// "RecentConfig.txt": one path per line, newest first, local 8-bit text.
// Read through the side-file gate, and only as far as the ten entries the
// list keeps: a hand-edited list of any length costs no more.
QStringList readRecentFiles(const QString& filePath);
// The first ten entries of that file's bytes. A line that is not text in the
// local encoding (or holds a NUL) is dropped: it names no file the player can
// open, and written back it would name another.
QStringList parseRecentFiles(const QByteArray& bytes);
// Rewrites the whole file atomically, modes 0600. False on failure (the old
// file stays).
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
