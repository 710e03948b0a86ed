#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Files from outside that must be plain files: disc files, the player's side
// files, the engine's screenshots. Any of them can be a pipe, a device or a
// link to one (/dev/zero, a FIFO named like the file). Every reader of such a
// file opens it here: without blocking, and refused unless the opened
// descriptor is a regular file, so nothing can hold the caller up or feed it
// without end; the type is checked on the descriptor itself, so nothing can
// swap the file in between.
//
// Results are 0 or an errno value: EISDIR for a folder, EINVAL for anything
// else that is not a regular file, ELOOP for a link where links are refused,
// EFBIG for a file over its bound, EIO when a read fails or ends early,
// EBADF without an open file.
class RegularFile {
public:
    enum Links { FollowLinks, NoLinks };
    enum Bound {
        Whole,  // a file over the bound is refused without a read
        Prefix, // a file over the bound is read up to it
    };

    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Closes any open file, then opens an existing regular file for reading.
    // With NoLinks the name itself may not be a link (its folders may).
    int open(const QString& path, Links links = FollowLinks);
    // Reads `count` bytes at `offset` in pieces of at most kPieceSize; `done`
    // receives the number of bytes actually read.
    int readAt(char* buffer, qint64 count, qint64 offset, qint64& done);
    // The file's first bytes, at most `limit` of them: the size seen at open
    // bounds the read, so a file that grows meanwhile is read no further and
    // one that shrinks ends the read early and is refused. On any nonzero
    // result `bytes` is untouched.
    int readAll(qint64 limit, QByteArray& bytes, Bound bound = Whole);
    void close();

    bool isOpen() const { return fd >= 0; }
    // Size and number of names of the open file when it was opened.
    qint64 size() const { return fileSize; }
    quint64 linkCount() const { return names; }

    static constexpr qint64 kPieceSize = 65536;

private:
    int fd = -1;
    qint64 fileSize = 0;
    quint64 names = 0;
};

// Opens `path` and reads it as RegularFile::readAll does.
int readRegularFile(const QString& path, qint64 limit, QByteArray& bytes,
                    RegularFile::Bound bound = RegularFile::Whole,
                    RegularFile::Links links = RegularFile::FollowLinks);
