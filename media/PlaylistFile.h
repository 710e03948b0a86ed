#pragma once

#include <QString>
#include <QtGlobal>

// Read-only access to one playlist file by position. Result codes: 0 done,
// an errno value from the system, 87 without an open file, 30 when a read
// fails or ends early.
class PlaylistFile {
public:
    static constexpr qint32 kNotOpen = 87;
    static constexpr qint32 kReadFault = 30;
    static constexpr qint64 kPieceSize = 65536;

    PlaylistFile() = default;
    ~PlaylistFile();
    PlaylistFile(const PlaylistFile&) = delete;
    PlaylistFile& operator=(const PlaylistFile&) = delete;

    // Closes any open file, then opens an existing file for reading.
    qint32 open(const QString& path);
    // Reads `count` bytes at `offset` in pieces of at most 64 KiB; `done`
    // receives the number of bytes actually read.
    qint32 readAt(char* buffer, qint64 count, qint64 offset, qint64& done);
    void close();
    bool isOpen() const { return fd >= 0; }
    // Size of the open file when it was opened.
    qint64 size() const { return fileSize; }

private:
    int fd = -1;
    qint64 fileSize = 0;
};
