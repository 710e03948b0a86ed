// Our reading of generated discs against libbluray's, and the launcher's
// translation of title numbers into libbluray's list.
#include <QTemporaryDir>
#include <QtTest>

#include <libbluray/bluray.h>

#include "BlurayTestSupport.h"
#include "media/DiscScan.h"
#include "tools/launcher/BlurayTitle.h"

using namespace bdtest;

namespace {

// A disc of playlists only, with times that are not whole milliseconds and
// every kind of stream entry.
genbd::DiscLayout variedDisc() {
    genbd::DiscLayout layout = genbd::sampleDisc();
    layout.clips.clear();
    genbd::Playlist odd;
    odd.items = {playItem("00031", 12345, 12345 + 999999, true),
                 playItem("00032", 77, 45000 * 61 + 44, true)};
    odd.items[1].angleClips = {"00033"};
    genbd::Stream viaSubPath = audioStream("spa", 0x84, 0x1110);
    viaSubPath.entryType = 2;
    odd.items[1].audio = {audioStream("kor", 0x85, 0x1101), viaSubPath};
    odd.items[1].subtitles = {subtitleStream("zho", 0x92, 0x1801), subtitleStream("tha", 0x92, 0x1802)};
    odd.marks = {
        {1, 0, 12345 + 4500, 0xFFFF, 0}, {1, 1, 77 + 45000 * 30 + 7, 0xFFFF, 0}, {2, 1, 999, 0xFFFF, 0}};
    layout.playlists.append({"00010.mpls", odd});
    return layout;
}

struct Ours {
    qint32 result = 0;
    QList<ClipInfo> clips;
    QList<StreamInfo> subtitles, audio;
    QList<qint32> chapters;
};

} // namespace

class LibblurayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sameReadingAsLibbluray();
    void titleTranslation();
    void duplicateDroppedByLibbluray();
    void argumentsLeftAlone_data();
    void argumentsLeftAlone();

private:
    QTemporaryDir dir;
    QString sample;
};

void LibblurayTest::initTestCase() {
    sample = dir.filePath("sample");
    QVERIFY(genbd::writeDisc(sample, variedDisc()));
}

void LibblurayTest::sameReadingAsLibbluray() {
    BLURAY* bd = bd_open(QFile::encodeName(sample).constData(), nullptr);
    QVERIFY(bd);
    const quint32 count = bd_get_titles(bd, TITLES_ALL, 0);
    QCOMPARE(count, 7u);
    MplsReader reader;
    int compared = 0;
    for (quint32 i = 0; i < count; ++i) {
        BLURAY_TITLE_INFO* info = bd_get_title_info(bd, i, 0);
        QVERIFY(info);
        const QString path =
            QStringLiteral("%1/BDMV/PLAYLIST/%2.mpls").arg(sample).arg(info->playlist, 5, 10, QChar('0'));
        Ours ours;
        ours.result = reader.readPlaylist(path, ours.clips, ours.subtitles, ours.audio, ours.chapters);
        QCOMPARE(ours.result, 0);
        // Prescribed difference: a playlist whose 2nd and 3rd items play the
        // same clip gives us no clips; libbluray lists it.
        const bool loop =
            info->clip_count >= 3 && qstrcmp(info->clips[1].clip_id, info->clips[2].clip_id) == 0;
        if (loop) {
            QVERIFY(ours.clips.isEmpty());
            bd_free_title_info(info);
            continue;
        }
        QCOMPARE(quint32(ours.clips.size()), info->clip_count);
        if (info->clip_count == 0) {
            bd_free_title_info(info);
            continue;
        }
        qint64 start = 0;
        for (quint32 k = 0; k < info->clip_count; ++k) {
            const BLURAY_CLIP_INFO& c = info->clips[k];
            const ClipInfo& o = ours.clips[int(k)];
            QCOMPARE(o.clipName, QByteArray(c.clip_id) + ".M2TS");
            // libbluray reports 90 kHz; we divide the 45 kHz values by 45, each on its own.
            QCOMPARE(qint64(o.inTime), qint64(c.in_time / 2 / 45));
            QCOMPARE(qint64(o.clipDuration), qint64(c.out_time / 2 / 45) - qint64(c.in_time / 2 / 45));
            QCOMPARE(qint64(o.startTime), start);
            start += o.clipDuration;
        }
        // Chapters: the same marks, within the rounding of one millisecond per clip.
        QCOMPARE(quint32(ours.chapters.size()), info->chapter_count);
        for (quint32 k = 0; k < info->chapter_count; ++k) {
            const qint64 theirs = qint64(info->chapters[k].start / 90);
            QVERIFY2(
                qAbs(ours.chapters[int(k)] - theirs) <= qint64(info->clip_count),
                qPrintable(QStringLiteral("%1: %2 vs %3").arg(path).arg(ours.chapters[int(k)]).arg(theirs)));
        }
        // Streams: those of the last play item.
        const BLURAY_CLIP_INFO& last = info->clips[info->clip_count - 1];
        QCOMPARE(ours.audio.size(), qsizetype(last.audio_stream_count));
        for (int k = 0; k < last.audio_stream_count; ++k) {
            const BLURAY_STREAM_INFO& s = last.audio_streams[k];
            QCOMPARE(ours.audio[k].pid, qint32(s.pid));
            const QByteArray name = MplsReader::languageName(reinterpret_cast<const char*>(s.lang));
            QCOMPARE(ours.audio[k].label, QString::fromLatin1(name + MplsReader::codecName(s.coding_type)));
        }
        QList<const BLURAY_STREAM_INFO*> graphics, text;
        for (int k = 0; k < last.pg_stream_count; ++k)
            (last.pg_streams[k].coding_type == 0x92 ? text : graphics).append(&last.pg_streams[k]);
        const auto& offered = graphics.isEmpty() ? text : graphics;
        QCOMPARE(ours.subtitles.size(), offered.size());
        for (qsizetype k = 0; k < offered.size(); ++k) {
            QCOMPARE(ours.subtitles[k].pid, qint32(offered[k]->pid));
            QCOMPARE(ours.subtitles[k].label, QString::fromLatin1(MplsReader::languageName(
                                                  reinterpret_cast<const char*>(offered[k]->lang))));
        }
        ++compared;
        bd_free_title_info(info);
    }
    bd_close(bd);
    QCOMPARE(compared, 5); // all but the loop and the empty playlist
}

void LibblurayTest::titleTranslation() {
    const DiscInfo disc = scanDisc(sample);
    QVERIFY(disc.titles.size() >= 3);
    BLURAY* bd = bd_open(QFile::encodeName(sample).constData(), nullptr);
    QVERIFY(bd);
    const quint32 count = bd_get_titles(bd, TITLES_RELEVANT, 0);
    QVERIFY(count > 0);
    auto playlistAt = [&](const QString& argument) -> QString {
        bool ok = false;
        const quint32 n = argument.mid(5).toUInt(&ok);
        if (!ok || n < 1 || n > count)
            return {};
        BLURAY_TITLE_INFO* info = bd_get_title_info(bd, n - 1, 0);
        const QString name = QStringLiteral("%1.mpls").arg(info->playlist, 5, 10, QChar('0'));
        bd_free_title_info(info);
        return name;
    };
    for (const DiscTitle& title : disc.titles) {
        QStringList args{"-slave", QStringLiteral("br://%1").arg(title.number), "-bluray-device", sample};
        translateBlurayTitle(args);
        QCOMPARE(playlistAt(args[1]), QFileInfo(title.playlist).fileName());
        QCOMPARE(args.mid(2), (QStringList{"-bluray-device", sample}));
    }
    // 0 and an empty number: the title the disc page shows first.
    for (const QString& first : {QStringLiteral("br://0"), QStringLiteral("br://")}) {
        QStringList args{first, "-bluray-device", sample};
        translateBlurayTitle(args);
        QCOMPARE(playlistAt(args[0]), QFileInfo(disc.sourceKey()).fileName());
    }
    bd_close(bd);
}

void LibblurayTest::duplicateDroppedByLibbluray() {
    // Two playlists that differ in a byte libbluray does not compare: both are
    // titles for us, libbluray keeps whichever it reads first.
    const QString folder = dir.filePath("dup");
    genbd::DiscLayout layout;
    genbd::Playlist p;
    p.items = {playItem("00001", 0, 60)};
    p.marks = {{1, 0, 0, 0xFFFF, 0}};
    layout.playlists = {{"00000.mpls", p}, {"00001.mpls", p}};
    QVERIFY(genbd::writeDisc(folder, layout));
    QFile second(folder + "/BDMV/PLAYLIST/00001.mpls");
    QVERIFY(second.open(QIODevice::ReadWrite));
    QByteArray bytes = second.readAll();
    bytes[30] = 1; // reserved header byte
    QVERIFY(second.seek(0) && second.write(bytes) == bytes.size());
    second.close();

    const DiscInfo disc = scanDisc(folder);
    QCOMPARE(disc.titles.size(), 2);
    BLURAY* bd = bd_open(QFile::encodeName(folder).constData(), nullptr);
    QCOMPARE(bd_get_titles(bd, TITLES_RELEVANT, 0), 1u);
    bd_close(bd);
    for (const DiscTitle& title : disc.titles) {
        QStringList args{QStringLiteral("br://%1").arg(title.number), "-bluray-device", folder};
        translateBlurayTitle(args);
        QCOMPARE(args[0], QString("br://1"));
    }
}

void LibblurayTest::argumentsLeftAlone_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("file") << QStringList{"-slave", "/tmp/movie.mkv"};
    QTest::newRow("no device") << QStringList{"br://2"};
    QTest::newRow("device without folder") << QStringList{"br://2", "-bluray-device"};
    QTest::newRow("no such title") << QStringList{"br://99", "-bluray-device", "SAMPLE"};
    QTest::newRow("not a number") << QStringList{"br://x", "-bluray-device", "SAMPLE"};
    QTest::newRow("no disc") << QStringList{"br://1", "-bluray-device", "/nonexistent/disc"};
}

void LibblurayTest::argumentsLeftAlone() {
    QFETCH(QStringList, args);
    args.replaceInStrings("SAMPLE", sample);
    const QStringList before = args;
    translateBlurayTitle(args);
    QCOMPARE(args, before);
}

QTEST_GUILESS_MAIN(LibblurayTest)
#include "tst_bluray_libbluray.moc"
