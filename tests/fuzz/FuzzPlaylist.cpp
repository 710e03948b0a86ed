// Fuzz entry for the playlist reader: any bytes must parse without reading
// outside them, and a refused playlist must leave the outputs as they were.
#include <cstdint>
#include <cstdlib>

#include "media/MplsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MplsReader reader; // reused, as for the files of one disc
    const ClipInfo sentinelClip{7, 7, 7, "SENTINEL"};
    const StreamInfo sentinelStream{7, QStringLiteral("sentinel")};
    QList<ClipInfo> clips{sentinelClip};
    QList<StreamInfo> subtitles{sentinelStream}, audio{sentinelStream};
    QList<qint32> chapters{7};
    const char* bytes = reinterpret_cast<const char*>(data);
    const qint32 result = reader.readPlaylistData(bytes, qint64(size), clips, subtitles, audio, chapters);
    if (result != 0) {
        if (clips.size() != 1 || clips[0].clipName != "SENTINEL" || subtitles.size() != 1 ||
            audio.size() != 1 || chapters != QList<qint32>{7})
            std::abort();
        if (size < 20 && result != MplsReader::BadSize)
            std::abort();
        return 0;
    }
    // Parsing is deterministic and does not depend on the previous input.
    QList<ClipInfo> clips2;
    QList<StreamInfo> subtitles2, audio2;
    QList<qint32> chapters2;
    if (reader.readPlaylistData(bytes, qint64(size), clips2, subtitles2, audio2, chapters2) != 0 ||
        chapters2 != chapters)
        std::abort();
    // A looping playlist leaves the clips as they were; otherwise both runs agree.
    const bool loop = clips.size() == 1 && clips[0].clipName == "SENTINEL";
    if (loop ? !clips2.isEmpty() : clips2.size() != clips.size())
        std::abort();
    // Clip start times run on from each other.
    qint32 expected = 0;
    for (const ClipInfo& clip : clips2) {
        if (clip.startTime != expected || clip.clipName.size() > 10)
            std::abort();
        expected = qint32(quint32(expected) + quint32(clip.clipDuration));
    }
    return 0;
}
