#pragma once

// Small helpers shared by the Blu-ray tests.
#include <QByteArray>
#include <QString>

#include "common/Files.h"
#include "media/MplsReader.h"
#include "tools/gen-bluray/BlurayWriter.h"

namespace bdtest {

using kzp::test::writeBytes;

inline genbd::Stream videoStream() {
    return genbd::Stream{1, 0x1011, 0x1B, "", 0x61, 0};
}
inline genbd::Stream audioStream(const QByteArray& lang, quint8 coding = 0x81, quint16 pid = 0x1100) {
    return genbd::Stream{1, pid, coding, lang, 0x31, 0};
}
inline genbd::Stream subtitleStream(const QByteArray& lang, quint8 coding = 0x90, quint16 pid = 0x1200) {
    return genbd::Stream{1, pid, coding, lang, 0, 1};
}

// A play item of `clip` from `from` to `to` seconds (45 kHz ticks when `ticks`).
inline genbd::PlayItem playItem(const QByteArray& clip, quint32 from, quint32 to, bool ticks = false) {
    genbd::PlayItem item;
    item.clip = clip;
    item.inTime = ticks ? from : from * 45000;
    item.outTime = ticks ? to : to * 45000;
    item.video = {videoStream()};
    item.audio = {audioStream("eng")};
    return item;
}

// Outputs of one read, started with recognisable contents.
struct Outputs {
    QList<ClipInfo> clips{ClipInfo{9, 9, 9, "UNTOUCHED"}};
    QList<StreamInfo> subtitles{StreamInfo{9, "untouched"}};
    QList<StreamInfo> audio{StreamInfo{9, "untouched"}};
    QList<qint32> chapters{9};

    bool untouched() const {
        return clips.size() == 1 && clips[0].clipName == "UNTOUCHED" && subtitles.size() == 1 &&
               subtitles[0].label == "untouched" && audio.size() == 1 && audio[0].label == "untouched" &&
               chapters == QList<qint32>{9};
    }
    qint32 read(MplsReader& reader, const QString& path) {
        return reader.readPlaylist(path, clips, subtitles, audio, chapters);
    }
    qint32 read(MplsReader& reader, const QByteArray& bytes) {
        return reader.readPlaylistData(bytes.constData(), bytes.size(), clips, subtitles, audio, chapters);
    }
};

inline QStringList labels(const QList<StreamInfo>& streams) {
    QStringList out;
    for (const StreamInfo& s : streams)
        out << s.label;
    return out;
}

} // namespace bdtest
