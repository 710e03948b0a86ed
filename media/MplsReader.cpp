#include "media/MplsReader.h"

#include <cstring>

#include "media/DiscFile.h"

namespace {

// Big-endian reads that can only happen inside the bytes at hand. Each read
// reports whether it succeeded, and callers must look at that answer.
class Bytes {
public:
    Bytes(const unsigned char* data, qint64 size) : data(data), size(size) {}

    [[nodiscard]] bool has(qint64 pos, qint64 count) const {
        return pos >= 0 && count >= 0 && pos <= size && count <= size - pos;
    }
    [[nodiscard]] bool u8(qint64 pos, quint8& value) const {
        if (!has(pos, 1))
            return false;
        value = data[pos];
        return true;
    }
    [[nodiscard]] bool u16(qint64 pos, quint16& value) const {
        if (!has(pos, 2))
            return false;
        value = static_cast<quint16>((data[pos] << 8) | data[pos + 1]);
        return true;
    }
    [[nodiscard]] bool u32(qint64 pos, quint32& value) const {
        if (!has(pos, 4))
            return false;
        value = (quint32(data[pos]) << 24) | (quint32(data[pos + 1]) << 16) | (quint32(data[pos + 2]) << 8) |
                quint32(data[pos + 3]);
        return true;
    }
    [[nodiscard]] bool text(qint64 pos, qint64 count, QByteArray& value) const {
        if (!has(pos, count))
            return false;
        // 8-bit text: it ends at a NUL byte like the C string it is stored as.
        const char* start = reinterpret_cast<const char*>(data + pos);
        value = QByteArray(start, static_cast<qsizetype>(qstrnlen(start, static_cast<uint>(count))));
        return true;
    }

private:
    const unsigned char* data;
    qint64 size;
};

struct Language {
    const char* code;
    const char* name;
};

constexpr Language kLanguages[] = {
    {"eng", "English"}, {"msa", "Malay"},    {"zho", "Chinese"}, {"spa", "Spanish"}, {"fra", "French"},
    {"hin", "Hindi"},   {"jpn", "Japanese"}, {"kor", "Korean"},  {"tha", "Thai"},    {"por", "Portugal"},
};

bool isAudio(quint8 coding) {
    return (coding >= 0x80 && coding <= 0x86) || coding == 0xA1 || coding == 0xA2;
}

} // namespace

QByteArray MplsReader::languageName(const char code[3]) {
    const QByteArray text(code, static_cast<qsizetype>(qstrnlen(code, 3)));
    for (const Language& language : kLanguages) {
        if (text == language.code)
            return language.name;
    }
    QByteArray upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

const char* MplsReader::codecName(quint8 codingType) {
    switch (codingType) {
    case 0x80:
        return " LPCM";
    case 0x81:
        return " AC3";
    case 0x82:
        return " DTS";
    case 0x83:
        return " TRUEHD";
    case 0x84:
        return " EAC3";
    case 0x85:
        return " DTS HD";
    case 0x86:
        return " DTS HD XLL";
    case 0xA1:
        return " EAC3";
    default:
        return "";
    }
}

qint32 MplsReader::readPlaylist(const QString& path, QList<ClipInfo>& clips, QList<StreamInfo>& subtitles,
                                QList<StreamInfo>& audio, QList<qint32>& chapters) {
    // The shared disc-file open refuses pipes, devices and folders.
    DiscFile file;
    const qint32 opened = file.open(path, discFolder);
    if (opened != 0)
        return opened;
    // One byte more than the limit tells a file that is too big from one
    // that fits exactly.
    if (!buffer)
        buffer.reset(new char[kBufferSize + 1]);
    lastSize = 0;
    lastWhole = false;
    qint64 done = 0;
    // A short file ends the read early; what was read is what gets parsed.
    // Asking for no more than the file holds spares the read that finds its end.
    const qint64 wanted = qBound<qint64>(1, file.size(), kBufferSize + 1);
    (void)file.readAt(buffer.get(), wanted, 0, done);
    lastWhole = done == file.size() && done <= kBufferSize;
    lastSize = done;
    file.close();
    const qint32 result = parse(reinterpret_cast<const unsigned char*>(buffer.get()), done);
    if (result != Ok)
        return result;
    return deliver(clips, subtitles, audio, chapters);
}

qint32 MplsReader::readPlaylistData(const char* data, qint64 size, QList<ClipInfo>& clips,
                                    QList<StreamInfo>& subtitles, QList<StreamInfo>& audio,
                                    QList<qint32>& chapters) {
    const qint32 result = parse(reinterpret_cast<const unsigned char*>(data), data ? size : 0);
    if (result != Ok)
        return result;
    return deliver(clips, subtitles, audio, chapters);
}

qint32 MplsReader::deliver(QList<ClipInfo>& clips, QList<StreamInfo>& subtitles, QList<StreamInfo>& audio,
                           QList<qint32>& chapters) {
    chapters = chapterList;
    // A playlist whose second and third items play the same clip is a loop
    // (menus, backgrounds); it is not offered as a title.
    if (clipList.size() >= 3 && clipList[2].clipName == clipList[1].clipName)
        return Ok;
    clips = clipList;
    audio = audioList;
    subtitles = graphicsSubtitles.isEmpty() ? textSubtitles : graphicsSubtitles;
    return Ok;
}

qint32 MplsReader::parse(const unsigned char* data, qint64 size) {
    clipList.clear();
    graphicsSubtitles.clear();
    textSubtitles.clear();
    audioList.clear();
    chapterList.clear();
    if (size < kMinimumSize || size > kBufferSize)
        return BadSize;
    if (std::memcmp(data, "MPLS", 4) != 0)
        return NotMpls;
    const Bytes in(data, size);
    quint32 playListStart = 0, markStart = 0;
    if (!in.u32(8, playListStart) || !in.u32(12, markStart))
        return RunsPastData;

    // PlayList: length, reserved, play item count, sub-path count, items.
    const qint64 a = playListStart;
    quint32 playListLength = 0;
    quint16 itemCount = 0, subPathCount = 0;
    if (!in.u32(a, playListLength) || !in.has(a + 4, playListLength) || !in.u16(a + 6, itemCount) ||
        !in.u16(a + 8, subPathCount))
        return RunsPastData;
    playlistTime = 0;
    qint32 result = Ok;
    qint64 pos = a + 10;
    for (qint32 i = 0; i < static_cast<qint16>(itemCount); ++i) {
        graphicsSubtitles.clear();
        textSubtitles.clear();
        audioList.clear();
        qint64 next = 0;
        result = parsePlayItem(data, size, pos, next);
        if (result == RunsPastData)
            return result;
        pos = next;
    }
    if (result != Ok)
        return result;

    // PlayListMark: length, mark count, marks of 14 bytes.
    const qint64 b = markStart;
    quint32 markLength = 0;
    quint16 markCount = 0;
    if (!in.u32(b, markLength) || !in.has(b + 4, markLength) || !in.u16(b + 4, markCount))
        return RunsPastData;
    for (qint32 i = 0; i < static_cast<qint16>(markCount); ++i) {
        const qint64 mark = b + 6 + 14 * qint64(i);
        quint8 type = 0;
        quint16 item = 0;
        quint32 stamp = 0;
        if (!in.has(mark, 14) || !in.u8(mark + 1, type) || !in.u16(mark + 2, item) ||
            !in.u32(mark + 4, stamp))
            return RunsPastData;
        if (type != 1 || item >= clipList.size())
            continue;
        const ClipInfo& clip = clipList[item];
        // Wraps like the 32-bit arithmetic it stands for, never overflows.
        const quint32 start = quint32(clip.startTime) - clip.inTime + stamp / 45;
        chapterList.append(static_cast<qint32>(start));
    }
    return Ok;
}

qint32 MplsReader::parsePlayItem(const unsigned char* data, qint64 size, qint64 pos, qint64& next) {
    const Bytes in(data, size);
    quint16 length = 0;
    if (!in.u16(pos, length) || !in.has(pos + 2, length))
        return RunsPastData;
    next = pos + 2 + length;

    QByteArray name, codec;
    quint8 flags = 0;
    quint32 inTime = 0, outTime = 0;
    if (!in.text(pos + 2, 5, name) || !in.text(pos + 7, 4, codec) || !in.u8(pos + 12, flags) ||
        !in.u32(pos + 14, inTime) || !in.u32(pos + 18, outTime))
        return RunsPastData;
    qint64 stn = pos + 34;
    if (flags & 0x10) {
        quint8 angles = 0;
        if (!in.u8(pos + 34, angles))
            return RunsPastData;
        // The angle count includes the main clip; the others follow in 10-byte entries.
        stn = angles ? pos + 26 + 10 * qint64(angles) : pos + 36;
    }

    ClipInfo clip;
    clip.inTime = inTime / 45;
    clip.clipDuration = static_cast<qint32>(outTime / 45) - static_cast<qint32>(inTime / 45);
    clip.startTime = playlistTime;
    clip.clipName = name + '.' + codec;
    playlistTime = static_cast<qint32>(quint32(playlistTime) + quint32(clip.clipDuration));

    quint16 stnLength = 0;
    quint8 videoCount = 0, audioCount = 0, subtitleCount = 0;
    if (!in.u16(stn, stnLength) || !in.has(stn + 2, stnLength) || !in.u8(stn + 4, videoCount) ||
        !in.u8(stn + 5, audioCount) || !in.u8(stn + 6, subtitleCount))
        return RunsPastData;
    clipList.append(clip);
    const qint32 videos = qMax<qint32>(0, static_cast<qint8>(videoCount));
    if (videos > 3)
        return TooManyVideo;
    const qint32 entries = videos + qMax<qint32>(0, static_cast<qint8>(audioCount)) +
                           qMax<qint32>(0, static_cast<qint8>(subtitleCount));
    qint64 entry = stn + 16;
    for (qint32 i = 0; i < entries; ++i) {
        qint64 following = 0;
        const qint32 result = parseStreamEntry(data, size, entry, following);
        if (result != Ok)
            return result;
        entry = following;
    }
    return Ok;
}

qint32 MplsReader::parseStreamEntry(const unsigned char* data, qint64 size, qint64 pos, qint64& next) {
    const Bytes in(data, size);
    quint8 entryLength = 0, type = 0;
    if (!in.u8(pos, entryLength) || !in.u8(pos + 1, type))
        return RunsPastData;
    quint16 pid = 0;
    const qint64 pidAt = type == 1 ? pos + 2 : type == 2 ? pos + 4 : type == 3 ? pos + 3 : -1;
    if (pidAt >= 0 && !in.u16(pidAt, pid))
        return RunsPastData;
    const qint64 attributes = pos + 1 + entryLength;
    quint8 attributesLength = 0, coding = 0;
    if (!in.u8(attributes, attributesLength) || !in.has(attributes + 1, attributesLength) ||
        !in.u8(attributes + 1, coding))
        return RunsPastData;
    next = attributes + 1 + attributesLength;

    const qint64 c = attributes + 1; // the coding type byte
    qint64 languageAt = -1;
    QList<StreamInfo>* list = nullptr;
    if (isAudio(coding)) {
        languageAt = c + 2;
        list = &audioList;
    } else if (coding == 0x90 || coding == 0x91) {
        languageAt = c + 1;
        list = &graphicsSubtitles;
    } else if (coding == 0x92) {
        languageAt = c + 2;
        list = &textSubtitles;
    }
    if (!list)
        return Ok;
    if (!in.has(languageAt, 3))
        return RunsPastData;
    char code[3];
    std::memcpy(code, data + languageAt, 3);
    QByteArray label = languageName(code);
    if (list == &audioList)
        label += codecName(coding);
    list->append(StreamInfo{pid, QString::fromLocal8Bit(label)});
    return Ok;
}
