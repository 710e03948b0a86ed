// The playlist reader: fields, labels, result codes, and refusal of every
// structure that runs past the bytes of the file.
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include "BlurayTestSupport.h"

using namespace bdtest;

namespace {

quint32 be32(const QByteArray& b, qsizetype at) {
    return (quint32(quint8(b[at])) << 24) | (quint32(quint8(b[at + 1])) << 16) |
           (quint32(quint8(b[at + 2])) << 8) | quint32(quint8(b[at + 3]));
}
void put16(QByteArray& b, qsizetype at, quint16 v) {
    b[at] = char(v >> 8);
    b[at + 1] = char(v);
}
void put32(QByteArray& b, qsizetype at, quint32 v) {
    put16(b, at, quint16(v >> 16));
    put16(b, at + 2, quint16(v));
}

// A playlist that uses every structure the reader walks: two items, the
// second multi-angle, streams of all kinds, entry and link marks.
genbd::Playlist richPlaylist() {
    genbd::Playlist p;
    p.items = {playItem("00055", 10, 70), playItem("00056", 0, 30)};
    p.items[1].angleClips = {"00057", "00058"};
    p.items[1].audio = {audioStream("eng"), audioStream("deu", 0x83, 0x1101)};
    p.items[1].subtitles = {subtitleStream("jpn"), subtitleStream("fra", 0x92, 0x1800)};
    p.marks = {{1, 0, 10 * 45000, 0xFFFF, 0}, {2, 0, 20 * 45000, 0xFFFF, 0}, {1, 1, 5 * 45000, 0xFFFF, 0}};
    return p;
}

} // namespace

class MplsReaderTest : public QObject {
    Q_OBJECT

private slots:
    void clipsAndChapters_data();
    void clipsAndChapters();
    void streamLabels_data();
    void streamLabels();
    void subtitleChoiceAndLastItemStreams();
    void angleLayouts_data();
    void angleLayouts();
    void resultCodes_data();
    void resultCodes();
    void filesOnDisk();
    void loopingPlaylistLeavesClips();
    void everyCutIsRefused();
    void hugeCountsAndLengths_data();
    void hugeCountsAndLengths();
    void readerReuse();

private:
    QTemporaryDir dir;
};

void MplsReaderTest::clipsAndChapters_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<qint32>>("starts");
    QTest::addColumn<QList<qint32>>("durations");
    QTest::addColumn<QList<qint32>>("chapters");

    genbd::Playlist one;
    one.items = {playItem("00055", 0, 2700000, true)};
    QTest::newRow("one item of 60 s")
        << genbd::mplsBytes(one) << QList<qint32>{0} << QList<qint32>{60000} << QList<qint32>{};

    genbd::Playlist two;
    two.items = {playItem("00001", 0, 60), playItem("00002", 100, 130)};
    two.marks = {{1, 1, 100 * 45000, 0xFFFF, 0}};
    QTest::newRow("entry mark at the second item's IN")
        << genbd::mplsBytes(two) << QList<qint32>{0, 60000} << QList<qint32>{60000, 30000}
        << QList<qint32>{60000};

    genbd::Playlist skipped = two;
    skipped.marks = {{2, 0, 0, 0xFFFF, 0}, {1, 2, 0, 0xFFFF, 0}, {1, 0, 45000 * 5, 0xFFFF, 0}};
    QTest::newRow("link point and mark past the last item")
        << genbd::mplsBytes(skipped) << QList<qint32>{0, 60000} << QList<qint32>{60000, 30000}
        << QList<qint32>{5000};

    // Each time is divided by 45 on its own: 44/45 = 0 and 90/45 = 2.
    genbd::Playlist rounding;
    rounding.items = {playItem("00003", 44, 90, true), playItem("00004", 89, 180, true)};
    rounding.marks = {{1, 1, 134, 0xFFFF, 0}};
    QTest::newRow("per-field rounding") << genbd::mplsBytes(rounding) << QList<qint32>{0, 2}
                                        << QList<qint32>{2, 3} << QList<qint32>{2 - 1 + 2};

    genbd::Playlist backwards;
    backwards.items = {playItem("00005", 10, 4)};
    QTest::newRow("OUT before IN") << genbd::mplsBytes(backwards) << QList<qint32>{0} << QList<qint32>{-6000}
                                   << QList<qint32>{};
}

void MplsReaderTest::clipsAndChapters() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<qint32>, starts);
    QFETCH(QList<qint32>, durations);
    QFETCH(QList<qint32>, chapters);
    MplsReader reader;
    Outputs out;
    QCOMPARE(out.read(reader, bytes), 0);
    QCOMPARE(out.clips.size(), starts.size());
    for (qsizetype i = 0; i < starts.size(); ++i) {
        QCOMPARE(out.clips[i].startTime, starts[i]);
        QCOMPARE(out.clips[i].clipDuration, durations[i]);
        QCOMPARE(out.clips[i].clipName.size(), 10);
        QVERIFY(out.clips[i].clipName.endsWith(".M2TS"));
    }
    QCOMPARE(out.chapters, chapters);
}

void MplsReaderTest::streamLabels_data() {
    QTest::addColumn<genbd::Stream>("stream");
    QTest::addColumn<bool>("isAudio");
    QTest::addColumn<QString>("label");
    QTest::addColumn<qint32>("pid");

    QTest::newRow("deu TrueHD") << audioStream("deu", 0x83, 0x1100) << true << "DEU TRUEHD" << 0x1100;
    QTest::newRow("eng 0xA2 has no codec") << audioStream("eng", 0xA2, 0x1101) << true << "English" << 0x1101;
    QTest::newRow("jpn AC3") << audioStream("jpn", 0x81) << true << "Japanese AC3" << 0x1100;
    QTest::newRow("por LPCM") << audioStream("por", 0x80) << true << "Portugal LPCM" << 0x1100;
    QTest::newRow("ger DTS-HD MA") << audioStream("ger", 0x86) << true << "GER DTS HD XLL" << 0x1100;
    QTest::newRow("unknown code upper-cased") << audioStream("x1z", 0xA1) << true << "X1Z EAC3" << 0x1100;
    QTest::newRow("upper-case code is not in the table")
        << audioStream("ENG", 0x82) << true << "ENG DTS" << 0x1100;
    QTest::newRow("PG") << subtitleStream("zho", 0x90, 0x1200) << false << "Chinese" << 0x1200;
    QTest::newRow("IG counts as graphics")
        << subtitleStream("kor", 0x91, 0x1400) << false << "Korean" << 0x1400;
    genbd::Stream sub = audioStream("tha", 0x84, 0x1234);
    sub.entryType = 2;
    QTest::newRow("entry type 2 PID") << sub << true << "Thai EAC3" << 0x1234;
    sub.entryType = 3;
    QTest::newRow("entry type 3 PID") << sub << true << "Thai EAC3" << 0x1234;
    sub.entryType = 4;
    QTest::newRow("entry type 4 has no PID") << sub << true << "Thai EAC3" << 0;
}

void MplsReaderTest::streamLabels() {
    QFETCH(genbd::Stream, stream);
    QFETCH(bool, isAudio);
    QFETCH(QString, label);
    QFETCH(qint32, pid);
    genbd::Playlist p;
    p.items = {playItem("00001", 0, 10)};
    if (isAudio) {
        p.items[0].audio = {stream};
    } else {
        p.items[0].audio.clear();
        p.items[0].subtitles = {stream};
    }
    MplsReader reader;
    Outputs out;
    QCOMPARE(out.read(reader, genbd::mplsBytes(p)), 0);
    const QList<StreamInfo>& list = isAudio ? out.audio : out.subtitles;
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].label, label);
    QCOMPARE(list[0].pid, pid);
    QVERIFY((isAudio ? out.subtitles : out.audio).isEmpty());
}

void MplsReaderTest::subtitleChoiceAndLastItemStreams() {
    MplsReader reader;
    genbd::Playlist p;
    p.items = {playItem("00001", 0, 10)};
    p.items[0].subtitles = {subtitleStream("fra", 0x92), subtitleStream("eng", 0x90),
                            subtitleStream("spa", 0x92)};
    Outputs both;
    QCOMPARE(both.read(reader, genbd::mplsBytes(p)), 0);
    QCOMPARE(labels(both.subtitles), QStringList{"English"});

    p.items[0].subtitles = {subtitleStream("fra", 0x92), subtitleStream("spa", 0x92)};
    Outputs text;
    QCOMPARE(text.read(reader, genbd::mplsBytes(p)), 0);
    QCOMPARE(labels(text.subtitles), (QStringList{"French", "Spanish"}));

    // Only the last play item's streams are offered.
    p.items.append(playItem("00002", 0, 10));
    p.items[1].audio = {audioStream("hin", 0x82)};
    Outputs last;
    QCOMPARE(last.read(reader, genbd::mplsBytes(p)), 0);
    QCOMPARE(labels(last.audio), QStringList{"Hindi DTS"});
    QVERIFY(last.subtitles.isEmpty());
}

void MplsReaderTest::angleLayouts_data() {
    QTest::addColumn<int>("extraAngles");
    QTest::addColumn<int>("patchedCount"); // -1: as written
    QTest::newRow("three angles") << 2 << -1;
    QTest::newRow("flag with one angle") << 0 << -1;
    QTest::newRow("angle count 0") << 0 << 0;
}

void MplsReaderTest::angleLayouts() {
    QFETCH(int, extraAngles);
    QFETCH(int, patchedCount);
    genbd::Playlist p;
    p.items = {playItem("00001", 0, 10)};
    p.items[0].multiAngle = true;
    for (int i = 0; i < extraAngles; ++i)
        p.items[0].angleClips.append(QByteArray::number(20 + i).rightJustified(5, '0'));
    p.items[0].audio = {audioStream("msa", 0x85)};
    QByteArray bytes = genbd::mplsBytes(p);
    if (patchedCount >= 0) {
        // With a count of 0 the STN_table still follows the two angle bytes.
        const qsizetype item = be32(bytes, 8) + 10;
        QCOMPARE(int(quint8(bytes[item + 34])), 1);
        bytes[item + 34] = char(patchedCount);
    }
    MplsReader reader;
    Outputs out;
    QCOMPARE(out.read(reader, bytes), 0);
    QCOMPARE(labels(out.audio), QStringList{"Malay DTS HD"});
}

void MplsReaderTest::resultCodes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("result");

    genbd::Playlist plain;
    plain.items = {playItem("00001", 0, 10)};
    const QByteArray good = genbd::mplsBytes(plain);
    QTest::newRow("10 bytes") << good.left(10) << qint32(MplsReader::BadSize);
    QTest::newRow("empty") << QByteArray() << qint32(MplsReader::BadSize);
    QTest::newRow("19 bytes") << good.left(19) << qint32(MplsReader::BadSize);
    QByteArray wrongType = good;
    wrongType[0] = 'X';
    QTest::newRow("not MPLS") << wrongType << qint32(MplsReader::NotMpls);
    QTest::newRow("size checked before type") << QByteArray("XPLS") << qint32(MplsReader::BadSize);

    genbd::Playlist videos;
    videos.items = {playItem("00001", 0, 10), playItem("00002", 0, 10)};
    videos.items[1].video = {videoStream(), videoStream(), videoStream(), videoStream()};
    QTest::newRow("last item with 4 videos") << genbd::mplsBytes(videos) << qint32(MplsReader::TooManyVideo);
    std::swap(videos.items[0], videos.items[1]);
    QTest::newRow("earlier item with 4 videos") << genbd::mplsBytes(videos) << qint32(0);
    videos.items[0].video.removeLast();
    QTest::newRow("3 videos") << genbd::mplsBytes(videos) << qint32(0);
}

void MplsReaderTest::resultCodes() {
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, result);
    MplsReader reader;
    Outputs out;
    QCOMPARE(out.read(reader, bytes), result);
    QCOMPARE(out.untouched(), result != 0);
}

void MplsReaderTest::filesOnDisk() {
    MplsReader reader;
    genbd::Playlist plain;
    plain.items = {playItem("00001", 0, 10)};
    const QByteArray good = genbd::mplsBytes(plain);

    const QString ok = dir.filePath("ok.mpls");
    QVERIFY(writeBytes(ok, good));
    Outputs read;
    QCOMPARE(read.read(reader, ok), 0);
    QCOMPARE(read.clips.size(), 1);

    Outputs missing;
    QCOMPARE(missing.read(reader, dir.filePath("missing.mpls")), qint32(ENOENT));
    QVERIFY(missing.untouched());

    QVERIFY(QDir().mkpath(dir.filePath("folder.mpls")));
    Outputs folder;
    QVERIFY(folder.read(reader, dir.filePath("folder.mpls")) != 0);
    QVERIFY(folder.untouched());

    const QString empty = dir.filePath("empty.mpls");
    QVERIFY(writeBytes(empty, QByteArray()));
    Outputs none;
    QCOMPARE(none.read(reader, empty), qint32(MplsReader::BadSize));
    QVERIFY(none.untouched());

    // More than 10 MiB is refused even when the playlist sits at the start.
    const QString big = dir.filePath("big.mpls");
    QVERIFY(writeBytes(big, good + QByteArray(MplsReader::kBufferSize, '\0')));
    Outputs tooBig;
    QCOMPARE(tooBig.read(reader, big), qint32(MplsReader::BadSize));
    QVERIFY(tooBig.untouched());
    const QString exact = dir.filePath("exact.mpls");
    QVERIFY(writeBytes(exact, good + QByteArray(MplsReader::kBufferSize - good.size(), '\0')));
    Outputs fits;
    QCOMPARE(fits.read(reader, exact), 0);
    QCOMPARE(fits.clips.size(), 1);

    if (geteuid() == 0) {
        qInfo("running as root: permissions do not block reads, unreadable file not checked");
    } else {
        const QString locked = dir.filePath("locked.mpls");
        QVERIFY(writeBytes(locked, good));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        Outputs denied;
        QCOMPARE(denied.read(reader, locked), qint32(EACCES));
        QVERIFY(denied.untouched());
    }
}

void MplsReaderTest::loopingPlaylistLeavesClips() {
    genbd::Playlist loop;
    loop.items = {playItem("00001", 0, 10), playItem("00002", 0, 5), playItem("00002", 5, 10)};
    loop.marks = {{1, 1, 0, 0xFFFF, 0}};
    MplsReader reader;
    Outputs out;
    QCOMPARE(out.read(reader, genbd::mplsBytes(loop)), 0);
    QCOMPARE(out.clips[0].clipName, QByteArray("UNTOUCHED"));
    QCOMPARE(out.audio[0].label, QString("untouched"));
    QCOMPARE(out.chapters, QList<qint32>{10000});
}

void MplsReaderTest::everyCutIsRefused() {
    const QByteArray whole = genbd::mplsBytes(richPlaylist());
    MplsReader reader;
    Outputs full;
    QCOMPARE(full.read(reader, whole), 0);
    QCOMPARE(full.clips.size(), 2);
    // The first item starts at its IN time 10 s, so a mark there is chapter 0.
    QCOMPARE(full.chapters, (QList<qint32>{0, 65000}));
    QCOMPARE(labels(full.audio), (QStringList{"English AC3", "DEU TRUEHD"}));

    // The reader is fed copies of exactly the cut length, so the address
    // sanitizer catches any read past them.
    for (qsizetype size = 0; size < whole.size(); ++size) {
        const QByteArray cut(whole.constData(), size);
        Outputs out;
        const qint32 result = out.read(reader, cut);
        if (result == 0 || !out.untouched())
            QFAIL(qPrintable(QStringLiteral("cut at %1 gave %2").arg(size).arg(result)));
        if (size < 20)
            QCOMPARE(result, qint32(MplsReader::BadSize));
    }
}

void MplsReaderTest::hugeCountsAndLengths_data() {
    QTest::addColumn<int>(
        "field"); // 0 PL start, 1 mark start, 2 PL length, 3 item count, 4 item length,
                  // 5 STN length, 6 audio count, 7 mark count, 8 mark length, 9 entry length
    QTest::addColumn<quint32>("value");
    QTest::addColumn<qint32>("result");
    QTest::addColumn<int>("clips"); // clips expected when result is 0

    QTest::newRow("PlayList start") << 0 << 0xFFFFFFFFu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("PlayListMark start") << 1 << 0xFFFFFFFFu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("PlayList length") << 2 << 0xFFFFFFFFu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("item count 0xFFFF is negative: none") << 3 << 0xFFFFu << qint32(0) << 0;
    QTest::newRow("item count 0x7FFF") << 3 << 0x7FFFu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("item length") << 4 << 0xFFFFu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("STN length") << 5 << 0xFFFFu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("audio count 0xFF is negative: none") << 6 << 0xFFu << qint32(0) << 2;
    QTest::newRow("audio count 0x7F") << 6 << 0x7Fu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("mark count 0xFFFF is negative: none") << 7 << 0xFFFFu << qint32(0) << 2;
    QTest::newRow("mark count 0x7FFF") << 7 << 0x7FFFu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("PlayListMark length") << 8 << 0xFFFFFFFFu << qint32(MplsReader::RunsPastData) << 0;
    QTest::newRow("stream entry length") << 9 << 0xFFu << qint32(MplsReader::RunsPastData) << 0;
}

void MplsReaderTest::hugeCountsAndLengths() {
    QFETCH(int, field);
    QFETCH(quint32, value);
    QFETCH(qint32, result);
    QFETCH(int, clips);
    // Patches go into the header, the first play item and its STN_table, and the marks.
    genbd::Playlist p = richPlaylist();
    QByteArray bytes = genbd::mplsBytes(p);
    const qsizetype a = be32(bytes, 8), b = be32(bytes, 12);
    const qsizetype item = a + 10;
    const qsizetype stn = item + 34;
    switch (field) {
    case 0:
        put32(bytes, 8, value);
        break;
    case 1:
        put32(bytes, 12, value);
        break;
    case 2:
        put32(bytes, a, value);
        break;
    case 3:
        put16(bytes, a + 6, quint16(value));
        break;
    case 4:
        put16(bytes, item, quint16(value));
        break;
    case 5:
        put16(bytes, stn, quint16(value));
        break;
    case 6:
        bytes[stn + 5] = char(value);
        break;
    case 7:
        put16(bytes, b + 4, quint16(value));
        break;
    case 8:
        put32(bytes, b, value);
        break;
    case 9:
        bytes[stn + 16] = char(value);
        break;
    }
    MplsReader reader;
    Outputs out;
    QCOMPARE(out.read(reader, bytes), result);
    if (result != 0) {
        QVERIFY(out.untouched());
    } else {
        QCOMPARE(out.clips.size(), clips);
    }
}

void MplsReaderTest::readerReuse() {
    MplsReader reader;
    Outputs first;
    QCOMPARE(first.read(reader, genbd::mplsBytes(richPlaylist())), 0);
    genbd::Playlist small;
    small.items = {playItem("00009", 0, 1)};
    Outputs second;
    second.clips.clear();
    second.chapters.clear();
    second.audio.clear();
    second.subtitles.clear();
    QCOMPARE(second.read(reader, genbd::mplsBytes(small)), 0);
    QCOMPARE(second.clips.size(), 1);
    QCOMPARE(second.clips[0].clipName, QByteArray("00009.M2TS"));
    QVERIFY(second.chapters.isEmpty());
    QCOMPARE(labels(second.audio), QStringList{"English AC3"});
    QVERIFY(second.subtitles.isEmpty());
}

QTEST_GUILESS_MAIN(MplsReaderTest)
#include "tst_mpls_reader.moc"
