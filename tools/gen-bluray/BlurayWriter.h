#pragma once

// Writes Blu-ray structures for tests and benchmarks: movie playlists in the
// full public layout, clip information with entry-point maps, the index and
// movie object files, metadata with a thumbnail, and whole disc folders whose
// clips are made with ffmpeg.

#include <QByteArray>
#include <QList>
#include <QString>

namespace genbd {

struct Stream {
    quint8 entryType = 1; // 1 main path, 2 sub path with sub clip, 3 sub path
    quint16 pid = 0x1011;
    quint8 coding = 0x1B; // 0x1B H.264, 0x81 AC3, 0x90 PG, 0x92 textST ...
    QByteArray lang = "eng";
    quint8 formatRate = 0x31;
    quint8 charCode = 0x01;
};

struct PlayItem {
    QByteArray clip = "00000";
    QByteArray codec = "M2TS";
    quint32 inTime = 0; // 45 kHz; on a whole disc relative to the clip's first picture
    quint32 outTime = 0;
    QList<QByteArray> angleClips; // further angles: the item is multi-angle when not empty
    bool multiAngle = false;      // multi-angle flag even without further angles
    quint8 connection = 1;
    QList<Stream> video, audio, subtitles, interactive; // subtitles: PG and textST entries
};

struct Mark {
    quint8 type = 1; // 1 entry mark (chapter), 2 link point
    quint16 item = 0;
    quint32 time = 0; // 45 kHz, in the referenced item's time base
    quint16 pid = 0xFFFF;
    quint32 duration = 0;
};

struct Playlist {
    QList<PlayItem> items;
    QList<Mark> marks;
};

QByteArray mplsBytes(const Playlist& playlist);
QByteArray indexBytes(int titles);
QByteArray movieObjectBytes(const QList<int>& playlists);

struct EntryPoint {
    quint64 pts = 0; // 90 kHz
    quint32 spn = 0; // source packet number
};
struct ClipFacts {
    quint32 packets = 0;
    quint64 firstPts = 0, lastPts = 0; // 90 kHz
    QList<EntryPoint> entryPoints;     // key frames of the video stream
};
// Key frames and packet count of an m2ts file (192-byte packets).
ClipFacts scanM2ts(const QByteArray& m2ts, quint16 videoPid = 0x1011);
QByteArray clpiBytes(const ClipFacts& facts, quint16 videoPid = 0x1011, quint16 audioPid = 0x1100);

QByteArray metadataXml(const QByteArray& name, const QByteArray& thumbnail);

struct ClipPlan {
    QByteArray name = "00000";
    int seconds = 2;
    int frequency = 440;
};

struct DiscLayout {
    QByteArray name = "Generated Disc";
    bool thumbnail = true;
    QList<ClipPlan> clips;                     // made with ffmpeg; without clips no STREAM files are written
    QList<QPair<QString, Playlist>> playlists; // file name ("00000.mpls") and contents
};

// Writes the disc tree under `folder` (BDMV/...). Returns false with a message on failure.
bool writeDisc(const QString& folder, const DiscLayout& disc, QString* error = nullptr);

// A small disc with several titles: a long and a short one, a duplicate, a
// playlist without items, a looping playlist, chapters, audio and subtitles.
DiscLayout sampleDisc();
// `count` playlists, most of them byte-identical copies, no clips written.
DiscLayout manyPlaylistsDisc(int count);
// Seed playlists and metadata files for fuzzing.
QList<QPair<QString, QByteArray>> seedPlaylists();
QList<QPair<QString, QByteArray>> seedMetadata();

} // namespace genbd
