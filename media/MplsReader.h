#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>

#include "media/DiscFile.h"
#include "media/MplsTypes.h"

// Reads Blu-ray movie playlist ("MPLS") files: clips with their times, chapter
// starts, audio streams and subtitle streams. One reader serves any number of
// files in turn and keeps its 10 MiB buffer between them.
class MplsReader {
public:
    static constexpr qint64 kBufferSize = 10485760;
    static constexpr qint64 kMinimumSize = 20;

    enum Result : qint32 {
        Ok = 0,
        BadSize = 1,      // fewer than 20 or more than 10 MiB bytes
        NotMpls = 2,      // the file does not start with "MPLS"
        TooManyVideo = 3, // the last play item declares more than 3 primary video streams
        RunsPastData = 4, // a structure runs past the bytes of the file
    };

    MplsReader() = default;
    MplsReader(const MplsReader&) = delete;
    MplsReader& operator=(const MplsReader&) = delete;

    // Reads the playlist at `path`, which must be a regular file (see
    // DiscFile). Returns 0 on success, one of the codes above, or the errno
    // of a failed open (which may equal one of them).
    // On any nonzero result the outputs are left untouched. On success the
    // chapters are always replaced; clips, subtitles and audio are replaced
    // unless the second and third clips name the same file (then the
    // playlist is a loop the caller should not offer).
    qint32 readPlaylist(const QString& path, QList<ClipInfo>& clips, QList<StreamInfo>& subtitles,
                        QList<StreamInfo>& audio, QList<qint32>& chapters);
    // Playlists read from now on must lie inside `disc` (see DiscFile).
    void setDiscFolder(const DiscFolder& disc) { discFolder = disc; }

    // The same, for bytes already in memory.
    qint32 readPlaylistData(const char* data, qint64 size, QList<ClipInfo>& clips,
                            QList<StreamInfo>& subtitles, QList<StreamInfo>& audio, QList<qint32>& chapters);

    // The bytes of the file read last, valid until the next read, and whether
    // they are the whole file (so its digest need not read it again).
    QByteArrayView lastBytes() const { return QByteArrayView(buffer.get(), lastSize); }
    bool lastReadWhole() const { return lastWhole; }

    // Label parts, exposed for the tools.
    static QByteArray languageName(const char code[3]);
    static const char* codecName(quint8 codingType);

private:
    qint32 parse(const unsigned char* data, qint64 size);
    qint32 parsePlayItem(const unsigned char* data, qint64 size, qint64 pos, qint64& next);
    qint32 parseStreamEntry(const unsigned char* data, qint64 size, qint64 pos, qint64& next);
    qint32 deliver(QList<ClipInfo>& clips, QList<StreamInfo>& subtitles, QList<StreamInfo>& audio,
                   QList<qint32>& chapters);

    DiscFolder discFolder;
    std::unique_ptr<char[]> buffer;
    QList<ClipInfo> clipList;
    QList<qint32> chapterList;
    QList<StreamInfo> graphicsSubtitles;
    QList<StreamInfo> textSubtitles;
    QList<StreamInfo> audioList;
    qint32 playlistTime = 0;
    qint64 lastSize = 0;
    bool lastWhole = false;
};
