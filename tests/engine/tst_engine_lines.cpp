// The engine protocol's plain pieces: line classification and value
// extraction, the argument list, the launcher's rewrite, snapshot names.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include "config/DataFolder.h"
#include "engine/EngineCommands.h"
#include "engine/EngineLine.h"
#include "engine/Snapshots.h"
#include "tools/launcher/EngineArguments.h"

Q_DECLARE_METATYPE(EngineLineKind)

class EngineLinesTest : public QObject {
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
    void length_data();
    void length();
    void screenshotName_data();
    void screenshotName();
    void arguments_data();
    void arguments();
    void launcherRewrite_data();
    void launcherRewrite();
    void snapshotNames();
    void savedSnapshotFormats();
    void snapshotFailures();
};

void EngineLinesTest::classify_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<EngineLineKind>("kind");
    using K = EngineLineKind;
    QTest::newRow("position") << QByteArray("ANS_TIME_POSITION=1.0\n") << K::TimePosition;
    QTest::newRow("length") << QByteArray("ANS_LENGTH=12.02\n") << K::Length;
    QTest::newRow("length garbage") << QByteArray("ANS_LENGTH=abc\n") << K::Length;
    QTest::newRow("percent") << QByteArray("ANS_PERCENT_POSITION=12\n") << K::PercentPosition;
    QTest::newRow("playing") << QByteArray("Playing /tmp/a b.mkv.\n") << K::Playing;
    QTest::newRow("end of file") << QByteArray("\nExiting... (End of file)\n") << K::EndOfPlayback;
    QTest::newRow("quit") << QByteArray("Exiting... (Quit)\n") << K::EndOfPlayback;
    QTest::newRow("screenshot") << QByteArray("*** screenshot '/d/0001.png' ***\n") << K::Screenshot;
    QTest::newRow("audio") << QByteArray("[lavf] stream 1: audio (aac), -aid 0, -alang eng, English\n")
                           << K::AudioStream;
    QTest::newRow("subtitle") << QByteArray("[lavf] stream 3: subtitle (srt), -sid 0, -slang eng\n")
                              << K::SubtitleStream;
    QTest::newRow("video") << QByteArray("VIDEO:  [H264]  320x240  0bpp  25.000 fps\n") << K::VideoStart;
    // Order: the first matching test wins.
    QTest::newRow("position beats playing")
        << QByteArray("ANS_TIME_POSITION=Playing (Quit)") << K::TimePosition;
    QTest::newRow("playing beats end") << QByteArray("Playing (End of file).") << K::Playing;
    QTest::newRow("end beats screenshot") << QByteArray("*** screenshot '(Quit)' ***") << K::EndOfPlayback;
    QTest::newRow("aid beats sid and video") << QByteArray("VIDEO: , -sid 1, -aid 2") << K::AudioStream;
    // "Starts" tests only at the start, "has" tests anywhere.
    QTest::newRow("length not at start") << QByteArray(" ANS_LENGTH=5") << K::Other;
    QTest::newRow("lowercase") << QByteArray("ans_length=5\nplaying x") << K::Other;
    QTest::newRow("VIDEO without blank") << QByteArray("VIDEO:[H264]") << K::Other;
    QTest::newRow("noise") << QByteArray("[mov,mp4,m4a,3gp,3g2,mj2 @ 0x55] stream 0, timescale not set\n")
                           << K::Other;
    QTest::newRow("empty") << QByteArray() << K::Other;
    QTest::newRow("binary") << QByteArray("\xff\xfe\x01\x80garbage\x7f", 12) << K::Other;
    // A zero byte ends what "has" tests look at.
    QTest::newRow("NUL before marker") << QByteArray("abc\0Exiting... (Quit)\n", 22) << K::Other;
    QTest::newRow("NUL after marker") << QByteArray("Exiting... (Quit)\0xyz\n", 22) << K::EndOfPlayback;
    QTest::newRow("NUL at start") << QByteArray("\0ANS_LENGTH=5", 13) << K::Other;
}

void EngineLinesTest::classify() {
    QFETCH(QByteArray, line);
    QFETCH(EngineLineKind, kind);
    QCOMPARE(classifyEngineLine(line), kind);
}

void EngineLinesTest::length_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("two decimals") << QByteArray("ANS_LENGTH=12.02\n") << qint64(12);
    QTest::newRow("truncated not rounded") << QByteArray("ANS_LENGTH=99.99\n") << qint64(99);
    QTest::newRow("integer") << QByteArray("ANS_LENGTH=7200") << qint64(7200);
    QTest::newRow("carriage return") << QByteArray("ANS_LENGTH=10.02\r\n") << qint64(10);
    QTest::newRow("line feeds removed first") << QByteArray("ANS_LENGTH=\n42\n") << qint64(42);
    QTest::newRow("garbage") << QByteArray("ANS_LENGTH=abc\n") << qint64(0);
    QTest::newRow("trailing garbage") << QByteArray("ANS_LENGTH=15x\n") << qint64(15);
    QTest::newRow("empty value") << QByteArray("ANS_LENGTH=") << qint64(0);
    QTest::newRow("no equals sign") << QByteArray("ANS_LENGTH") << qint64(0);
    QTest::newRow("negative") << QByteArray("ANS_LENGTH=-5") << qint64(0);
    QTest::newRow("nan") << QByteArray("ANS_LENGTH=nan") << qint64(0);
    QTest::newRow("huge") << QByteArray("ANS_LENGTH=1e300") << qint64(2147483647);
    QTest::newRow("exponent") << QByteArray("ANS_LENGTH=1.5e2") << qint64(150);
    QTest::newRow("NUL") << QByteArray("ANS_LENGTH=3\0009", 14) << qint64(3);
}

void EngineLinesTest::length() {
    QFETCH(QByteArray, line);
    QFETCH(qint64, seconds);
    QCOMPARE(engineLineLength(line), seconds);
}

void EngineLinesTest::screenshotName_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("*** screenshot '/data/0001.png' ***\n") << true
                           << QByteArray("/data/0001.png");
    QTest::newRow("blanks in name") << QByteArray("*** screenshot '/a b/Kestrune Zyl Player/0002.png' ***")
                                    << true << QByteArray("/a b/Kestrune Zyl Player/0002.png");
    QTest::newRow("prefix noise") << QByteArray("xx*** screenshot '/d/1.png' ***") << true
                                  << QByteArray("/d/1.png");
    QTest::newRow("no closing quote")
        << QByteArray("*** screenshot '/data/0001.png\n") << false << QByteArray();
    QTest::newRow("no opening quote")
        << QByteArray("*** screenshot /data/0001.png ***") << false << QByteArray();
    QTest::newRow("empty name") << QByteArray("*** screenshot '' ***") << false << QByteArray();
    QTest::newRow("511 bytes") << "*** screenshot '" + QByteArray(511, 'a') + "' ***" << true
                               << QByteArray(511, 'a');
    QTest::newRow("512 bytes") << "*** screenshot '" + QByteArray(512, 'a') + "' ***" << false
                               << QByteArray();
    QTest::newRow("quote after NUL") << QByteArray("*** screenshot '/d/1.png\0' ***", 30) << false
                                     << QByteArray();
}

void EngineLinesTest::screenshotName() {
    QFETCH(QByteArray, line);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, name);
    QByteArray found = "untouched";
    QCOMPARE(engineScreenshotName(line, &found), accepted);
    QCOMPARE(found, accepted ? name : QByteArray("untouched"));
}

void EngineLinesTest::arguments_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("titleChosen");
    QTest::addColumn<bool>("hasTitle");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("tail");
    QTest::newRow("file") << 0 << false << false << "/m/a.mkv" << QStringList{"/m/a.mkv"};
    QTest::newRow("dvd") << 1 << false << false << "/m/DVD"
                         << QStringList{"dvd://1", "-dvd-device", "/m/DVD"};
    QTest::newRow("bluray first play")
        << 2 << false << false << "/m/BD" << QStringList{"br://0", "-bluray-device", "/m/BD"};
    QTest::newRow("bluray title") << 2 << true << true << "/m/BD"
                                  << QStringList{"br://7", "-bluray-device", "/m/BD"};
    QTest::newRow("bluray unknown title") << 2 << true << false << "/m/BD" << QStringList{"/m/BD"};
    QTest::newRow("file with leading dash") << 0 << false << false << "-x.mkv" << QStringList{"./-x.mkv"};
    QTest::newRow("device value with dash")
        << 1 << false << false << "-DVD" << QStringList{"dvd://1", "-dvd-device", "-DVD"};
}

void EngineLinesTest::arguments() {
    QFETCH(int, kind);
    QFETCH(bool, titleChosen);
    QFETCH(bool, hasTitle);
    QFETCH(QString, path);
    QFETCH(QStringList, tail);
    EngineSource source;
    source.kind = SourceKind(kind);
    source.titleChosen = titleChosen;
    source.hasTitle = hasTitle;
    source.title = 7;
    source.path = path;
    const QStringList head{"-demuxer",
                           "lavf",
                           "-ni",
                           "-slave",
                           "-quiet",
                           "-wid",
                           "4711",
                           "-vo",
                           "direct3d",
                           "-lavdopts",
                           "threads=4",
                           "-vf",
                           "screenshot=/data/Kestrune Zyl Player/",
                           "-af",
                           "channels=6,volume=5.1:1"};
    QCOMPARE(engineArguments(4711, "/data/Kestrune Zyl Player/", source), head + tail);
}

void EngineLinesTest::launcherRewrite_data() {
    QTest::addColumn<QStringList>("in");
    QTest::addColumn<QByteArray>("vo");
    QTest::addColumn<QByteArray>("ao");
    QTest::addColumn<QStringList>("out");
    const QStringList in{"-slave", "-vo", "direct3d", "-af", "x", "/m/-vo"};
    QTest::newRow("default outputs") << in << QByteArray() << QByteArray()
                                     << QStringList{"-slave", "-vo", "xv,gl,x11", "-af", "x", "/m/-vo"};
    QTest::newRow("override") << in << QByteArray("null") << QByteArray("null")
                              << QStringList{"-ao", "null", "-slave", "-vo", "null", "-af", "x", "/m/-vo"};
    QTest::newRow("trailing comma dropped") << in << QByteArray("x11,") << QByteArray()
                                            << QStringList{"-slave", "-vo", "x11", "-af", "x", "/m/-vo"};
    QTest::newRow("only commas") << in << QByteArray(",,") << QByteArray()
                                 << QStringList{"-slave", "-vo", "xv,gl,x11", "-af", "x", "/m/-vo"};
    QTest::newRow("no -vo") << QStringList{"a"} << QByteArray() << QByteArray() << QStringList{"a"};
    QTest::newRow("-vo last") << QStringList{"-vo"} << QByteArray() << QByteArray()
                              << QStringList{"-vo", "xv,gl,x11"};
}

void EngineLinesTest::launcherRewrite() {
    QFETCH(QStringList, in);
    QFETCH(QByteArray, vo);
    QFETCH(QByteArray, ao);
    QFETCH(QStringList, out);
    adaptEngineArguments(in, vo, ao);
    QCOMPARE(in, out);
    QVERIFY(!in.join(' ').contains(", "));
}

void EngineLinesTest::snapshotNames() {
    const QDateTime when(QDate(2025, 2, 3), QTime(14, 5, 9));
    QCOMPARE(snapshotBaseName(when, "JPG"), QStringLiteral("Snapshot-2025-02-03 14-05-09.JPG"));
    QCOMPARE(QByteArray(snapshotImageFormat("JPG")), QByteArray("JPEG"));
    QCOMPARE(QByteArray(snapshotImageFormat("PNG")), QByteArray("PNG"));
    QCOMPARE(QByteArray(snapshotImageFormat("BMP")), QByteArray("BMP"));
    QCOMPARE(QByteArray(snapshotImageFormat("png")), QByteArray("JPEG"));

    QTemporaryDir dir;
    const QString base = dir.filePath("Snapshot-2025-02-03 14-05-09.JPG");
    QCOMPARE(firstFreeFileName(base), base);
    for (const QString& taken : {base, dir.filePath("Snapshot-2025-02-03 14-05-09 (2).JPG")}) {
        QFile f(taken);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(firstFreeFileName(base), dir.filePath("Snapshot-2025-02-03 14-05-09 (3).JPG"));
    // A dot in a folder name is not an extension.
    QVERIFY(QDir(dir.path()).mkdir("a.b"));
    const QString bare = dir.filePath("a.b/noext");
    QFile(bare).open(QIODevice::WriteOnly);
    QCOMPARE(firstFreeFileName(bare), dir.filePath("a.b/noext (2)"));
}

namespace {

// A picture as the engine leaves it, or an empty text when it cannot be made.
QString engineFile(const QTemporaryDir& dir, const QString& name) {
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.setPixel(3, 3, qRgb(0, 0, 255));
    const QString path = dir.filePath(name);
    return image.save(path, "PNG") ? path : QString();
}

QByteArray screenshotLine(const QString& path, const char* end = "' ***\n") {
    return "*** screenshot '" + path.toLocal8Bit() + end;
}

} // namespace

void EngineLinesTest::savedSnapshotFormats() {
    QTemporaryDir dir;
    const QString data = dir.filePath("data/");
    const QString target = dir.filePath("shots/"); // missing, stored with its separator
    QVERIFY(QDir().mkpath(data));
    QVERIFY(writeOutputPath(data, target));
    struct Case {
        QString format;
        QByteArray detected;
    };
    for (const Case& c :
         {Case{"PNG", "png"}, Case{"BMP", "bmp"}, Case{"JPEG", "jpeg"}, Case{"JPG", "jpeg"}}) {
        // Saved twice in a row: the same second must not overwrite.
        for (int i = 0; i < 2; ++i) {
            const QString source = engineFile(dir, "0001.png");
            QVERIFY(!source.isEmpty());
            const QString saved = saveEngineSnapshot(screenshotLine(source), data, c.format);
            QVERIFY(saved.startsWith(target));
            QVERIFY(!QFile::exists(source)); // gone once the copy is safe
        }
        const QStringList files = QDir(target).entryList({"*." + c.format}, QDir::Files, QDir::Name);
        QVERIFY2(files.size() == 2, qPrintable(files.join(", ")));
        // Either both in one second ("x.EXT", "x (2).EXT") or across two.
        if (files[0].left(28) == files[1].left(28))
            QVERIFY2(files[1].endsWith(" (2)." + c.format) || files[0].endsWith(" (2)." + c.format),
                     qPrintable(files.join(", ")));
        for (const QString& f : files) {
            QImageReader reader(target + f);
            reader.setDecideFormatFromContent(true);
            QCOMPARE(reader.format(), c.detected);
            QFile::remove(target + f);
        }
    }
}

void EngineLinesTest::snapshotFailures() {
    QTemporaryDir dir;
    const QString data = dir.filePath("data/");
    const QString folder = dir.filePath("out/");
    QVERIFY(QDir().mkpath(data));
    QVERIFY(writeOutputPath(data, folder));

    // Missing engine file: ignored, nothing created.
    QVERIFY(saveEngineSnapshot(screenshotLine(dir.filePath("missing.png")), data, "JPG").isEmpty());
    QVERIFY(!QDir(folder).exists() || QDir(folder).isEmpty());

    // A line without the closing quote names nothing.
    const QString good = engineFile(dir, "good.png");
    QVERIFY(saveEngineSnapshot(screenshotLine(good, " ***"), data, "JPG").isEmpty());
    QVERIFY(QFile::exists(good));

    // Not an image: nothing saved, the engine's file is kept.
    const QString junk = dir.filePath("junk.png");
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("this is no picture");
    f.close();
    QVERIFY(saveEngineSnapshot(screenshotLine(junk), data, "JPG").isEmpty());
    QVERIFY(QFile::exists(junk));
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());

    // The snapshot folder cannot be made (a file is in the way): the engine's
    // file is kept.
    QFile blocker(dir.filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(writeOutputPath(data, dir.filePath("blocker/sub/")));
    QVERIFY(saveEngineSnapshot(screenshotLine(good), data, "JPG").isEmpty());
    QVERIFY(QFile::exists(good));
}

QTEST_GUILESS_MAIN(EngineLinesTest)
#include "tst_engine_lines.moc"
