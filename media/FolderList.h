#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One entry of a folder listing.
struct FolderEntry {
    qint32 isDirectory = 0; // 1 for a folder (a link to a folder counts), else 0
    quint64 size = 0;       // file size in bytes; 0 for folders and dangling links
    QByteArray fullPath;    // listed folder + "/" + name, in the local 8-bit encoding
};

// Appends the entries of `folder` to `out`, sorted by name (ASCII letters
// compared without case first, then byte by byte), skipping every name that
// starts with ".". Does not descend into sub-folders. Returns false, leaving
// `out` untouched, when the folder cannot be listed.
bool listFolder(const QString& folder, QList<FolderEntry>& out);
