#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>

#include "media/DiscFile.h"
#include "media/MplsTypes.h"

// One title of a Blu-ray disc: a distinct playlist that has clips.
struct DiscTitle {
    qint32 number = 0;  // counts every playlist with clips in name order, duplicates included
    QString playlist;   // full path of the playlist file
    qint64 seconds = 0; // sum over the clips of whole seconds
    QString duration;   // `seconds` as "hh:mm:ss"
    QList<ClipInfo> clips;
    QList<qint32> chapters; // chapter starts in milliseconds
    QList<StreamInfo> audio;
    QList<StreamInfo> subtitles;
};

// What the player knows about a disc folder.
struct DiscInfo {
    QString folder;          // the folder that holds "BDMV"
    QByteArray name;         // disc name from the metadata file (8-bit text), empty when none
    QByteArray thumbnail;    // thumbnail file name from the metadata file, empty when none
    QString thumbnailPath;   // the thumbnail's full path, empty without a usable name (discThumbnailPath)
    QList<DiscTitle> titles; // longest first

    // The playlist of the title shown first (the longest); empty without titles.
    QString sourceKey() const { return titles.isEmpty() ? QString() : titles.first().playlist; }
};

// The most playlist files a scan reads. The disc format allows 2,000
// playlists and real discs hold a few hundred at most; a folder with more is
// not a disc as authored, and reading 100,000 playlists took seconds and
// hundreds of MiB. Five times the format's limit leaves room for discs made
// by hand, and bounds the titles (and their menu entries) at 10,000.
inline constexpr qsizetype kDiscPlaylistLimit = 10000;

// Shared with a scan that runs on another thread: it is told to stop, and
// tells how far it got (playlist files read of those it will read).
struct DiscScanControl {
    std::atomic<bool> stop{false};
    std::atomic<int> read{0};
    std::atomic<int> total{0};
};

// Reads the disc's metadata and the first kDiscPlaylistLimit playlist files
// in name order (the rest are refused, with one line under the logging
// category "kzp.gate.discscan", off by default). Playlists without clips are
// left out; byte-identical playlists give one title. With a `control`, the
// scan ends early when its `stop` is set, and the result is then partial.
DiscInfo scanDisc(const QString& folder, DiscScanControl* control = nullptr);

// Disc name and thumbnail name from a "bdmt_eng.xml" file. Leaves both
// untouched when the file is not a regular file of at most 1 MiB (see
// readDiscFile); later matches overwrite earlier ones; values of 256 bytes or
// more are ignored.
void readDiscMetadata(const QString& file, QByteArray& name, QByteArray& thumbnail,
                      const DiscFolder& disc = DiscFolder());
// The same for text already in memory.
void readDiscMetadataText(const QByteArray& text, QByteArray& name, QByteArray& thumbnail);

// The thumbnail's path in the metadata folder, or empty when `name` is not a
// plain file name there: empty, ".", "..", or holding a separator, a colon or
// a NUL byte. The name comes from the disc and must not reach other files.
QString discThumbnailPath(const QString& metadataFolder, const QByteArray& name);

// SHA-512 of a regular file's bytes as 128 upper-case hexadecimal characters.
// Returns 0; 87 when the file cannot be opened or is empty (`hex` untouched);
// 30 when it could not be read whole (`hex` is then 128 zeros).
qint32 fileDigestHex(const QString& file, QByteArray& hex, const DiscFolder& disc = DiscFolder());
