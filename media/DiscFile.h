#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include "util/RegularFile.h"

// The folder of one disc, resolved once. A scan reads thousands of files
// from one folder in turn, so the folder of the last file is kept resolved.
class DiscFolder {
public:
    DiscFolder() = default; // no bound: files anywhere
    explicit DiscFolder(const QString& folder);
    bool isBound() const { return bound; }
    // The name to open for `path` when its folder, links resolved, lies
    // inside the disc's folder; empty otherwise.
    QString locate(const QString& path) const;

private:
    bool bound = false;
    QString inside;               // the disc's folder resolved, with a trailing '/'
    mutable QString lastFolder;   // the folder of the last file, as named ('/'-ended)
    mutable QString lastResolved; // the same resolved ('/'-ended); empty: outside the disc
};

// Files read from a disc folder (playlists, the metadata file, the thumbnail)
// are outside data: a disc tree unpacked from an archive or an image can hold
// pipes, devices or links to them under those names. Every such file is
// opened through DiscFile, which reads it as a RegularFile: without blocking,
// and refused unless the opened descriptor is a regular file.
//
// A disc tree can also hold links that lead out of it, to the user's own
// files. Given the disc's folder (DiscFolder), a file is opened only when its
// folder, links resolved, lies inside the disc's folder and the file itself
// is no link.
//
// Result codes: 0 done, an errno value from the system (EISDIR for a folder,
// EINVAL for anything else that is not a regular file, EXDEV for a file whose
// folder lies outside the disc's, ELOOP for a link, EFBIG for a file over its
// bound), 87 without an open file, 30 when a read fails or ends early.
class DiscFile {
public:
    static constexpr qint32 kNotOpen = 87;
    static constexpr qint32 kReadFault = 30;
    static constexpr qint64 kPieceSize = RegularFile::kPieceSize;

    DiscFile() = default;
    ~DiscFile();
    DiscFile(const DiscFile&) = delete;
    DiscFile& operator=(const DiscFile&) = delete;

    // Closes any open file, then opens an existing regular file for reading,
    // within `disc` when that is bound.
    qint32 open(const QString& path, const DiscFolder& disc = DiscFolder());
    // Reads `count` bytes at `offset` in pieces of at most 64 KiB; `done`
    // receives the number of bytes actually read.
    qint32 readAt(char* buffer, qint64 count, qint64 offset, qint64& done);
    void close();
    bool isOpen() const { return file.isOpen(); }
    // Size of the open file when it was opened.
    qint64 size() const { return file.size(); }

private:
    friend qint32 readDiscFile(const QString&, qint64, QByteArray&, const DiscFolder&);
    RegularFile file;
};

// Size bounds of the disc files read whole. Real metadata files hold a few
// KiB and thumbnails a few dozen; playlists have their own bound in MplsReader.
inline constexpr qint64 kDiscMetadataLimit = qint64(1) << 20;
inline constexpr qint64 kDiscThumbnailLimit = qint64(16) << 20;

// Reads a whole regular file of at most `limit` bytes into `bytes`. A larger
// file gives EFBIG without a read. On any nonzero result `bytes` is untouched.
qint32 readDiscFile(const QString& path, qint64 limit, QByteArray& bytes,
                    const DiscFolder& disc = DiscFolder());
