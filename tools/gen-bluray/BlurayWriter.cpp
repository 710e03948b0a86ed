#include "tools/gen-bluray/BlurayWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

#include "common/MediaClips.h"

namespace genbd {

namespace {

// Big-endian writer.
class Out {
public:
    QByteArray bytes;
    void u8(quint32 v) { bytes.append(char(v & 0xFF)); }
    void u16(quint32 v) {
        u8(v >> 8);
        u8(v);
    }
    void u32(quint32 v) {
        u16(v >> 16);
        u16(v);
    }
    void raw(const QByteArray& v, int size) {
        QByteArray part = v.left(size);
        part.append(QByteArray(size - part.size(), '\0'));
        bytes.append(part);
    }
    void zeros(int count) { bytes.append(QByteArray(count, '\0')); }
    qsizetype pos() const { return bytes.size(); }
    void put32(qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((v >> (24 - 8 * i)) & 0xFF);
    }
    void put16(qsizetype at, quint32 v) {
        bytes[at] = char((v >> 8) & 0xFF);
        bytes[at + 1] = char(v & 0xFF);
    }
};

void writeStream(Out& out, const Stream& s) {
    // stream_entry: 9 bytes after its length byte
    out.u8(9);
    const qsizetype start = out.pos();
    out.u8(s.entryType);
    if (s.entryType == 1) {
        out.u16(s.pid);
    } else if (s.entryType == 2 || s.entryType == 4) {
        out.u8(0); // sub path
        out.u8(0); // sub clip
        out.u16(s.pid);
    } else if (s.entryType == 3) {
        out.u8(0);
        out.u16(s.pid);
    }
    out.zeros(int(9 - (out.pos() - start)));
    // stream_attributes: 5 bytes after its length byte
    out.u8(5);
    const qsizetype attributes = out.pos();
    out.u8(s.coding);
    const quint8 c = s.coding;
    if ((c >= 0x80 && c <= 0x86) || c == 0xA1 || c == 0xA2 || c == 0x03 || c == 0x04) {
        out.u8(s.formatRate);
        out.raw(s.lang, 3);
    } else if (c == 0x90 || c == 0x91) {
        out.raw(s.lang, 3);
    } else if (c == 0x92) {
        out.u8(s.charCode);
        out.raw(s.lang, 3);
    } else {
        out.u8(s.formatRate);
    }
    out.zeros(int(5 - (out.pos() - attributes)));
}

void writePlayItem(Out& out, const PlayItem& item) {
    const qsizetype lengthAt = out.pos();
    out.u16(0);
    out.raw(item.clip, 5);
    out.raw(item.codec, 4);
    const bool multi = item.multiAngle || !item.angleClips.isEmpty();
    out.u16((multi ? 0x10 : 0) | (item.connection & 0x0F));
    out.u8(0); // ref_to_STC_id
    out.u32(item.inTime);
    out.u32(item.outTime);
    out.zeros(8); // UO mask
    out.u8(0);    // random access flag
    out.u8(0);    // still mode
    out.u16(0);   // still time
    if (multi) {
        out.u8(quint32(item.angleClips.size() + 1));
        out.u8(0);
        for (const QByteArray& angle : item.angleClips) {
            out.raw(angle, 5);
            out.raw("M2TS", 4);
            out.u8(0);
        }
    }
    // STN_table
    const qsizetype stnAt = out.pos();
    out.u16(0);
    out.u16(0);
    out.u8(quint32(item.video.size()));
    out.u8(quint32(item.audio.size()));
    out.u8(quint32(item.subtitles.size()));
    out.u8(quint32(item.interactive.size()));
    out.u8(0); // secondary audio
    out.u8(0); // secondary video
    out.u8(0); // PiP subtitles
    out.zeros(5);
    for (const auto* list : {&item.video, &item.audio, &item.subtitles, &item.interactive})
        for (const Stream& s : *list)
            writeStream(out, s);
    out.put16(stnAt, quint32(out.pos() - stnAt - 2));
    out.put16(lengthAt, quint32(out.pos() - lengthAt - 2));
}

} // namespace

QByteArray mplsBytes(const Playlist& playlist) {
    Out out;
    out.raw("MPLS0200", 8);
    out.u32(0); // PlayList start
    out.u32(0); // PlayListMark start
    out.u32(0); // ExtensionData start
    out.zeros(20);
    // AppInfoPlayList
    out.u32(14);
    out.u8(0);
    out.u8(1); // sequential playback
    out.u16(0);
    out.zeros(8);    // UO mask
    out.u16(0x4000); // audio mix flag
    // PlayList
    out.put32(8, quint32(out.pos()));
    const qsizetype listAt = out.pos();
    out.u32(0);
    out.u16(0);
    out.u16(quint32(playlist.items.size()));
    out.u16(0); // sub paths
    for (const PlayItem& item : playlist.items)
        writePlayItem(out, item);
    out.put32(listAt, quint32(out.pos() - listAt - 4));
    // PlayListMark
    out.put32(12, quint32(out.pos()));
    out.u32(quint32(2 + 14 * playlist.marks.size()));
    out.u16(quint32(playlist.marks.size()));
    for (const Mark& m : playlist.marks) {
        out.u8(0);
        out.u8(m.type);
        out.u16(m.item);
        out.u32(m.time);
        out.u16(m.pid);
        out.u32(m.duration);
    }
    return out.bytes;
}

QByteArray indexBytes(int titles) {
    Out out;
    out.raw("INDX0200", 8);
    out.u32(78); // Indexes
    out.u32(0);  // ExtensionData
    out.zeros(24);
    out.u32(34); // AppInfoBDMV
    out.zeros(34);
    out.u32(quint32(12 + 12 + 2 + 12 * titles));
    auto hdmvObject = [&](quint16 id) {
        out.u32(0x40000000); // object type HDMV
        out.u16(0);          // movie playback
        out.u16(id);
        out.u32(0);
    };
    hdmvObject(0); // first play
    hdmvObject(0); // top menu
    out.u16(quint32(titles));
    for (int i = 0; i < titles; ++i)
        hdmvObject(quint16(i));
    return out.bytes;
}

QByteArray movieObjectBytes(const QList<int>& playlists) {
    Out out;
    out.raw("MOBJ0200", 8);
    out.u32(0);
    out.zeros(28);
    const qsizetype at = out.pos();
    out.u32(0);
    out.u32(0);
    out.u16(quint32(playlists.size()));
    for (int playlist : playlists) {
        out.u16(0);
        out.u16(1);
        // PlayPL(playlist)
        out.u32(0x22800000);
        out.u32(quint32(playlist));
        out.u32(0);
    }
    out.put32(at, quint32(out.pos() - at - 4));
    return out.bytes;
}

ClipFacts scanM2ts(const QByteArray& m2ts, quint16 videoPid) {
    ClipFacts facts;
    const auto* d = reinterpret_cast<const unsigned char*>(m2ts.constData());
    facts.packets = quint32(m2ts.size() / 192);
    bool first = true;
    for (quint32 i = 0; i < facts.packets; ++i) {
        const unsigned char* ts = d + qsizetype(i) * 192 + 4;
        if (ts[0] != 0x47)
            continue;
        const quint16 pid = quint16(((ts[1] & 0x1F) << 8) | ts[2]);
        const bool unitStart = ts[1] & 0x40;
        const int control = (ts[3] >> 4) & 3;
        if (pid != videoPid || !unitStart || !(control & 1))
            continue;
        int payload = 4;
        bool randomAccess = false;
        if (control & 2) {
            const int length = ts[4];
            randomAccess = length > 0 && (ts[5] & 0x40);
            payload = 5 + length;
        }
        if (payload + 14 > 188)
            continue;
        const unsigned char* pes = ts + payload;
        if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || !(pes[7] & 0x80))
            continue;
        const unsigned char* p = pes + 9;
        const quint64 pts = (quint64((p[0] >> 1) & 7) << 30) | (quint64(p[1]) << 22) |
                            (quint64(p[2] >> 1) << 15) | (quint64(p[3]) << 7) | quint64(p[4] >> 1);
        if (first) {
            facts.firstPts = pts;
            first = false;
        }
        facts.lastPts = qMax(facts.lastPts, pts);
        if (randomAccess)
            facts.entryPoints.append({pts, i});
    }
    return facts;
}

QByteArray clpiBytes(const ClipFacts& facts, quint16 videoPid, quint16 audioPid) {
    Out out;
    out.raw("HDMV0200", 8);
    out.zeros(20); // five start addresses, filled below
    out.zeros(12);
    // ClipInfo
    const qsizetype infoAt = out.pos();
    out.u32(0);
    out.u16(0);
    out.u8(1); // clip stream type
    out.u8(1); // main movie
    out.u32(0);
    out.u32(6000000); // TS recording rate
    out.u32(facts.packets);
    out.zeros(128);
    out.u16(30); // TS type info block
    out.u8(0x80);
    out.raw("HDMV", 4);
    out.zeros(25);
    out.put32(infoAt, quint32(out.pos() - infoAt - 4));
    // SequenceInfo
    out.put32(8, quint32(out.pos()));
    out.u32(22);
    out.u8(0);
    out.u8(1);
    out.u32(0);
    out.u8(1);
    out.u8(0);
    out.u16(videoPid);
    out.u32(0);
    out.u32(quint32(facts.firstPts / 2));
    out.u32(quint32(facts.lastPts / 2));
    // ProgramInfo
    out.put32(12, quint32(out.pos()));
    const qsizetype programAt = out.pos();
    out.u32(0);
    out.u8(0);
    out.u8(1);
    out.u32(0);
    out.u16(0x0100);
    out.u8(2);
    out.u8(0);
    out.u16(videoPid);
    out.u8(21);
    out.u8(0x1B);
    out.u8(0x31);
    out.zeros(19);
    out.u16(audioPid);
    out.u8(21);
    out.u8(0x81);
    out.u8(0x31);
    out.raw("eng", 3);
    out.zeros(16);
    out.put32(programAt, quint32(out.pos() - programAt - 4));
    // CPI with the EP map: one coarse entry for every fine entry.
    out.put32(16, quint32(out.pos()));
    const qsizetype cpiAt = out.pos();
    out.u32(0);
    out.u16(1); // EP_map
    const qsizetype mapAt = out.pos();
    const quint32 n = quint32(facts.entryPoints.size());
    out.u8(0);
    out.u8(1);
    out.u16(videoPid);
    const quint64 packed = (quint64(1) << 34) | (quint64(n & 0xFFFF) << 18) | quint64(n & 0x3FFFF);
    for (int i = 5; i >= 0; --i)
        out.u8(quint32((packed >> (8 * i)) & 0xFF));
    const qsizetype addressAt = out.pos();
    out.u32(0);
    out.put32(addressAt, quint32(out.pos() - mapAt));
    out.u32(4 + 8 * n); // fine table start
    for (quint32 i = 0; i < n; ++i) {
        const EntryPoint& e = facts.entryPoints[int(i)];
        out.u32((i << 14) | quint32((e.pts >> 19) & 0x3FFF));
        out.u32(e.spn);
    }
    for (quint32 i = 0; i < n; ++i) {
        const EntryPoint& e = facts.entryPoints[int(i)];
        out.u32((1u << 28) | (quint32((e.pts >> 9) & 0x7FF) << 17) | (e.spn & 0x1FFFF));
    }
    out.put32(cpiAt, quint32(out.pos() - cpiAt - 4));
    // ClipMark
    out.put32(20, quint32(out.pos()));
    out.u32(0);
    return out.bytes;
}

QByteArray metadataXml(const QByteArray& name, const QByteArray& thumbnail) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                     "<disclib xmlns=\"urn:BDA:bdmv;disclib\" xmlns:di=\"urn:BDA:bdmv;discinfo\">\n"
                     "  <di:discinfo>\n"
                     "    <di:title>\n"
                     "      <di:name>" +
                     name +
                     "</di:name>\n"
                     "    </di:title>\n"
                     "    <di:description>\n";
    if (!thumbnail.isEmpty())
        xml += "      <di:thumbnail href=\"" + thumbnail + "\" size=\"416x240\" />\n";
    xml += "    </di:description>\n"
           "    <di:language>eng</di:language>\n"
           "  </di:discinfo>\n"
           "</disclib>\n";
    return xml;
}

namespace {

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        if (error)
            *error = QStringLiteral("cannot write ") + path;
        return false;
    }
    return true;
}

QByteArray thumbnailJpeg() {
    QImage image(416, 240, QImage::Format_RGB32);
    image.fill(QColor(20, 50, 80));
    QPainter painter(&image);
    painter.fillRect(40, 40, 336, 160, QColor(200, 120, 40));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

bool makeClip(const QString& path, const ClipPlan& clip, QString* error) {
    kzp::test::ClipOptions options;
    options.seconds = clip.seconds;
    options.tones = {clip.frequency};
    options.sampleRate = 48000;
    options.encoding = {
        "-c:v", "libx264", "-preset", "ultrafast", "-g", "25",     "-pix_fmt",          "yuv420p",
        "-c:a", "ac3",     "-b:a",    "96k",       "-f", "mpegts", "-mpegts_m2ts_mode", "1"};
    options.program = qEnvironmentVariable("KZP_FFMPEG", QStringLiteral("ffmpeg"));
    options.timeoutMs = 120000;
    const kzp::test::ProgramRun ffmpeg = kzp::test::makeClip(path, options);
    if (!ffmpeg.succeeded()) {
        if (error)
            *error =
                QStringLiteral("ffmpeg failed for ") + path + ": " + QString::fromLocal8Bit(ffmpeg.output);
        return false;
    }
    return true;
}

} // namespace

bool writeDisc(const QString& folder, const DiscLayout& disc, QString* error) {
    const QString bdmv = folder + QStringLiteral("/BDMV");
    for (const char* sub : {"PLAYLIST", "CLIPINF", "STREAM", "META/DL", "BACKUP", "AUXDATA", "BDJO", "JAR"}) {
        if (!QDir().mkpath(bdmv + '/' + QLatin1String(sub))) {
            if (error)
                *error = QStringLiteral("cannot create ") + bdmv;
            return false;
        }
    }
    // Clips first: the playlists' times are relative to each clip's first picture.
    QMap<QByteArray, quint32> clipStart; // 45 kHz
    for (const ClipPlan& clip : disc.clips) {
        const QString m2ts = bdmv + "/STREAM/" + QString::fromLatin1(clip.name) + ".m2ts";
        if (!makeClip(m2ts, clip, error))
            return false;
        QFile file(m2ts);
        if (!file.open(QIODevice::ReadWrite))
            return false;
        QByteArray bytes = file.readAll();
        // Whole aligned units of 32 packets, filled with null packets.
        QByteArray nullPacket(192, char(0xFF));
        nullPacket[0] = nullPacket[1] = nullPacket[2] = nullPacket[3] = 0;
        nullPacket[4] = 0x47;
        nullPacket[5] = 0x1F;
        nullPacket[6] = char(0xFF);
        nullPacket[7] = 0x10;
        QByteArray padding;
        while ((bytes.size() + padding.size()) % 6144)
            padding += nullPacket;
        file.write(padding);
        file.close();
        bytes += padding;
        const ClipFacts facts = scanM2ts(bytes);
        clipStart[clip.name] = quint32(facts.firstPts / 2);
        if (!writeFile(bdmv + "/CLIPINF/" + QString::fromLatin1(clip.name) + ".clpi", clpiBytes(facts),
                       error))
            return false;
    }
    QList<int> numbers;
    for (const auto& [name, playlist] : disc.playlists) {
        Playlist adjusted = playlist;
        for (PlayItem& item : adjusted.items) {
            const quint32 start = clipStart.value(item.clip, 0);
            item.inTime += start;
            item.outTime += start;
        }
        for (Mark& mark : adjusted.marks) {
            if (mark.item < adjusted.items.size())
                mark.time += clipStart.value(adjusted.items[mark.item].clip, 0);
        }
        if (!writeFile(bdmv + "/PLAYLIST/" + name, mplsBytes(adjusted), error))
            return false;
        numbers.append(name.left(5).toInt());
    }
    const QByteArray index = indexBytes(int(numbers.size()));
    const QByteArray objects = movieObjectBytes(numbers);
    if (!writeFile(bdmv + "/index.bdmv", index, error) ||
        !writeFile(bdmv + "/BACKUP/index.bdmv", index, error) ||
        !writeFile(bdmv + "/MovieObject.bdmv", objects, error) ||
        !writeFile(bdmv + "/BACKUP/MovieObject.bdmv", objects, error))
        return false;
    const QByteArray thumbnail = disc.thumbnail ? QByteArray("disc_416.jpg") : QByteArray();
    if (!writeFile(bdmv + "/META/DL/bdmt_eng.xml", metadataXml(disc.name, thumbnail), error))
        return false;
    if (disc.thumbnail && !writeFile(bdmv + "/META/DL/disc_416.jpg", thumbnailJpeg(), error))
        return false;
    return true;
}

namespace {

Stream video() {
    return Stream{1, 0x1011, 0x1B, "", 0x61, 0};
}
Stream audio(const QByteArray& lang, quint8 coding = 0x81, quint16 pid = 0x1100) {
    return Stream{1, pid, coding, lang, 0x31, 0};
}
Stream pg(const QByteArray& lang, quint16 pid = 0x1200) {
    return Stream{1, pid, 0x90, lang, 0, 0};
}
Stream textSt(const QByteArray& lang, quint16 pid = 0x1800) {
    return Stream{1, pid, 0x92, lang, 0, 1};
}

PlayItem item(const QByteArray& clip, double from, double to) {
    PlayItem i;
    i.clip = clip;
    i.inTime = quint32(from * 45000);
    i.outTime = quint32(to * 45000);
    i.video = {video()};
    i.audio = {audio("eng")};
    return i;
}

} // namespace

DiscLayout sampleDisc() {
    DiscLayout disc;
    disc.name = "Generated Test Disc";
    disc.clips = {{"00001", 6, 440}, {"00002", 3, 660}};

    Playlist six;
    six.items = {item("00001", 0, 6)};
    six.items[0].audio = {audio("eng"), audio("jpn", 0x82, 0x1101)};
    six.items[0].subtitles = {pg("jpn"), pg("eng", 0x1201)};
    six.marks = {{1, 0, 0, 0xFFFF, 0}, {1, 0, 3 * 45000, 0xFFFF, 0}};

    Playlist three;
    three.items = {item("00002", 0, 3)};
    three.items[0].subtitles = {textSt("fra")};
    three.marks = {{1, 0, 0, 0xFFFF, 0}};

    Playlist empty;

    Playlist loop;
    loop.items = {item("00001", 0, 2), item("00002", 0, 1), item("00002", 0, 1)};

    Playlist nine;
    nine.items = {item("00002", 0, 3), item("00001", 0, 6)};
    nine.items[1].audio = {audio("deu", 0x83)};
    nine.marks = {
        {1, 0, 0, 0xFFFF, 0}, {2, 1, 0, 0xFFFF, 0}, {1, 1, 0, 0xFFFF, 0}, {1, 1, 2 * 45000, 0xFFFF, 0}};

    disc.playlists = {{"00000.mpls", six},   {"00001.mpls", three}, {"00002.mpls", six},
                      {"00003.mpls", empty}, {"00004.mpls", loop},  {"00005.mpls", nine}};
    return disc;
}

DiscLayout manyPlaylistsDisc(int count) {
    DiscLayout disc;
    disc.name = "Many Playlists";
    const int distinct = 25;
    for (int n = 0; n < count; ++n) {
        const int kind = n % distinct;
        Playlist p;
        for (int k = 0; k <= kind % 4; ++k)
            p.items.append(item(QByteArray::number(10000 + kind * 4 + k), 0, 60.0 * (kind + 1) + k));
        p.items.last().subtitles = {pg("eng"), textSt("fra")};
        for (int m = 0; m < 8; ++m)
            p.marks.append({1, 0, quint32(m * 45000 * 30), 0xFFFF, 0});
        disc.playlists.append({QStringLiteral("%1.mpls").arg(n, 5, 10, QLatin1Char('0')), p});
    }
    return disc;
}

QList<QPair<QString, QByteArray>> seedPlaylists() {
    QList<QPair<QString, QByteArray>> seeds;
    const DiscLayout disc = sampleDisc();
    for (const auto& [name, playlist] : disc.playlists)
        seeds.append({name, mplsBytes(playlist)});

    Playlist angles;
    angles.items = {item("00010", 0, 10)};
    angles.items[0].angleClips = {"00011", "00012"};
    angles.items[0].subtitles = {textSt("kor")};
    angles.marks = {{1, 0, 45000, 0xFFFF, 0}};
    seeds.append({"angles.mpls", mplsBytes(angles)});

    Playlist videos;
    videos.items = {item("00020", 0, 2)};
    videos.items[0].video = {video(), video(), video(), video()};
    seeds.append({"videos.mpls", mplsBytes(videos)});

    Playlist entryTypes;
    entryTypes.items = {item("00030", 0, 2)};
    Stream sub = audio("tha", 0xA2);
    sub.entryType = 2;
    Stream path = textSt("spa");
    path.entryType = 3;
    entryTypes.items[0].audio = {sub, audio("msa", 0x86)};
    entryTypes.items[0].subtitles = {path};
    entryTypes.items[0].interactive = {Stream{1, 0x1400, 0x91, "zho", 0, 0}};
    seeds.append({"entry-types.mpls", mplsBytes(entryTypes)});
    return seeds;
}

QList<QPair<QString, QByteArray>> seedMetadata() {
    return {{"plain.xml", metadataXml("Generated Test Disc", "disc_416.jpg")},
            {"no-thumbnail.xml", metadataXml("Name Only", QByteArray())},
            {"open.xml", "<di:name>Open name\n<di:thumbnail href=\"a.jpg\n<di:thumbnail href='b.jpg' />\n"}};
}

} // namespace genbd
