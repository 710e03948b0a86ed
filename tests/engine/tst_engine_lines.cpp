// The engine protocol's plain pieces: line classification and value
// extraction, the argument list, the launcher's rewrite, snapshot names.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include "common/Files.h"
#include "config/DataFolder.h"
#include "engine/EngineCommands.h"
#include "engine/EngineLine.h"
#include "engine/Snapshots.h"
#include "tools/launcher/EngineArguments.h"

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(EngineLineKind)
Q_DECLARE_METATYPE(EngineSnapshots::Report)

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
    void engineShotNames();
    void screenshotReports_data();
    void screenshotReports();
    void screenshotRequests();
    void engineShotReading();
    void backlogTrim_data();
    void backlogTrim();
};

namespace {

bool makeFile(const QString& path, const QByteArray& bytes = "picture") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

void EngineLinesTest::classify_data() {
    // One engine run's output, and one letter per line for what it counts as:
    // T time, L length, % percent, P playing, E end, S screenshot, A audio,
    // s subtitle, V video, . nothing.
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kinds");
    QTest::newRow("position") << QByteArray("ANS_TIME_POSITION=1.0") << QString() << "T";
    QTest::newRow("length") << QByteArray("ANS_LENGTH=12.02\nANS_LENGTH=abc") << QString() << "LL";
    QTest::newRow("percent") << QByteArray("ANS_PERCENT_POSITION=12") << QString() << "%";
    QTest::newRow("playing") << QByteArray("Playing /tmp/a b.mkv.") << "/tmp/a b.mkv"
                             << "P";
    QTest::newRow("ends") << QByteArray("Exiting... (End of file)\nExiting... (Quit)") << QString() << "EE";
    QTest::newRow("screenshot") << QByteArray("*** screenshot '/d/0001.png' ***") << QString() << "S";
    QTest::newRow("streams") << QByteArray("[lavf] stream 1: audio (aac), -aid 0, -alang eng, English\n"
                                           "[lavf] stream 3: subtitle (srt), -sid 0, -slang eng\n"
                                           "[mkv] Track ID 2: audio, -sid 1, -aid 2")
                             << QString() << "AsA";
    QTest::newRow("video") << QByteArray("VIDEO:  [H264]  320x240  0bpp  25.000 fps\nVIDEO:  MPEG2  720x480")
                           << QString() << "VV";
    // Only MPlayer's own shapes, at the start of the line.
    QTest::newRow("shapes elsewhere")
        << QByteArray(" ANS_LENGTH=5\nans_length=5\nplaying x\nVIDEO:[H264]\nVIDEO: [H264]\n"
                      "x Exiting... (Quit)\n(End of file)\n"
                      "stream 1: audio, -aid 0\n[lavf] stream 1: audio, -aid x\n[la vf] a, -aid 1")
        << QString() << "..........";
    QTest::newRow("first shape wins")
        << QByteArray("ANS_TIME_POSITION=Playing (Quit)\nPlaying (End of file).\n"
                      "*** screenshot '(Quit)' ***")
        << "(End of file)"
        << "TPS";
    QTest::newRow("noise") << QByteArray("[mov,mp4,m4a,3gp,3g2,mj2 @ 0x55] stream 0, timescale not set\n\n"
                                         "\xff\xfe\x01\x80garbage\x7f")
                           << QString() << "...";
    // A zero byte ends what a line is judged by.
    QTest::newRow("zero bytes") << QByteArray(
                                       "abc\0Exiting... (Quit)\nExiting... (Quit)\0xyz\n\0ANS_LENGTH=5", 57)
                                << QString() << ".E.";
    // Media text: tags on one line, tags and names with line breaks.
    QTest::newRow("one-line tags")
        << QByteArray(" title: (End of file)\n COMMENT: Playing x, -aid 3, -sid 2\n artist: VIDEO:  x")
        << QString() << "...";
    QTest::newRow("tag block")
        << QByteArray(
               "Playing t.mkv.\n[lavf] stream 1: audio (aac), -aid 0\nVIDEO:  [H264]  160x120\n"
               "Clip info:\n title: T1\nExiting... (End of file)\nVIDEO:  [H264] x\n"
               "[lavf] stream 9: audio (aac), -aid 9\nANS_LENGTH=99\n*** screenshot '/x/0001.png' ***\n"
               "Clip info:\nPlaying y.\n ENCODER: Lavf59\nStarting playback...\nANS_LENGTH=5\n"
               "Exiting... (End of file)")
        << "t.mkv"
        << "PAV...........LE";
    QTest::newRow("name with line breaks")
        << QByteArray(
               "Playing a\nExiting... (End of file)\n[lavf] stream 1: audio, -aid 1\nb.\nVIDEO:  [H264]")
        << "a\nExiting... (End of file)\n[lavf] stream 1: audio, -aid 1\nb"
        << "P...V";
}

void EngineLinesTest::classify() {
    QFETCH(QByteArray, output);
    QFETCH(QString, name);
    QFETCH(QString, kinds);
    const QString letters = QStringLiteral(".TL%PESAsV");
    EngineLineClassifier lines;
    lines.begin(name);
    QString seen;
    for (const QByteArray& line : output.split('\n'))
        seen += letters.at(int(lines.classify(line + '\n')));
    QCOMPARE(seen, kinds);
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
    QTest::newRow("quotes in the folder") << QByteArray("*** screenshot '/home/o'neill/K 'x'/0001.png' ***\n")
                                          << true << QByteArray("/home/o'neill/K 'x'/0001.png");
    QTest::newRow("no stars after the quote")
        << QByteArray("*** screenshot '/data/0001.png'\n") << false << QByteArray();
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
    Source source;
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
                                     << QStringList{"-slave", "-vo", "xv,gl,x11", "-ass",
                                                    "-af",    "x",   "/m/-vo"};
    QTest::newRow("override") << in << QByteArray("null") << QByteArray("null")
                              << QStringList{"-ao",  "null", "-slave", "-vo",   "null",
                                             "-ass", "-af",  "x",      "/m/-vo"};
    QTest::newRow("trailing comma dropped")
        << in << QByteArray("x11,") << QByteArray()
        << QStringList{"-slave", "-vo", "x11", "-ass", "-af", "x", "/m/-vo"};
    QTest::newRow("only commas") << in << QByteArray(",,") << QByteArray()
                                 << QStringList{"-slave", "-vo", "xv,gl,x11", "-ass", "-af", "x", "/m/-vo"};
    QTest::newRow("no -vo") << QStringList{"a"} << QByteArray() << QByteArray() << QStringList{"a"};
    QTest::newRow("-vo last") << QStringList{"-vo"} << QByteArray() << QByteArray()
                              << QStringList{"-vo", "xv,gl,x11", "-ass"};
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
    // Free names are chosen where the file is created (tst_safewrite).
}

void EngineLinesTest::engineShotNames() {
    for (const char* name : {"0001.png", "0042.png", "9999.png", "10000.png", "100000.png", "99999999.png"})
        QVERIFY2(isEngineShotName(name), name);
    for (const char* name :
         {"0000.png", "001.png", "1.png", "00001.png", "0001.PNG", "0001.png.jpg", "x0001.png", "0001",
          "abcd.png", "+001.png", " 001.png", "100000000.png", ".png", "0001.jpg"})
        QVERIFY2(!isEngineShotName(name), name);

    QByteArray whole;
    QImage image(5, 5, QImage::Format_RGB32);
    image.fill(Qt::red);
    QBuffer buffer(&whole);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
    QVERIFY(isCompletePng(whole));
    QVERIFY(!isCompletePng(whole.chopped(1)));
    QVERIFY(!isCompletePng(whole.left(whole.size() / 2)));
    QVERIFY(!isCompletePng(whole.mid(1)));
    QVERIFY(!isCompletePng(QByteArray()));
}

void EngineLinesTest::screenshotReports_data() {
    // What is on disc (relative to a scratch folder holding the engine's
    // folder "shots/"), what a report names ("@" is the scratch folder),
    // and how it is judged while a request is pending.
    using R = EngineSnapshots::Report;
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reported");
    QTest::addColumn<R>("expected");
    QTest::newRow("engine's file") << "file shots/0001.png"
                                   << "@/shots/0001.png" << R::Taken;
    QTest::newRow("not written yet") << ""
                                     << "@/shots/0001.png" << R::NotYet;
    QTest::newRow("doubled separators") << "file shots/0002.png"
                                        << "@//shots//0002.png" << R::Taken;
    QTest::newRow("folder reached through a link") << "file shots/0001.png;link shots alias"
                                                   << "@/alias/0001.png" << R::Taken;
    QTest::newRow("other folder") << "file other/0001.png"
                                  << "@/other/0001.png" << R::Ignored;
    QTest::newRow("sub-folder") << "file shots/sub/0001.png"
                                << "@/shots/sub/0001.png" << R::Ignored;
    QTest::newRow("dot-dot out") << "file 0001.png"
                                 << "@/shots/../0001.png" << R::Ignored;
    QTest::newRow("dot-dot back in") << "file shots/0001.png;dir shots/sub"
                                     << "@/shots/sub/../0001.png" << R::Ignored;
    QTest::newRow("dot step") << "file shots/0001.png"
                              << "@/shots/./0001.png" << R::Ignored;
    QTest::newRow("relative") << "file shots/0001.png"
                              << "shots/0001.png" << R::Ignored;
    QTest::newRow("other name") << "file shots/picture.png"
                                << "@/shots/picture.png" << R::Ignored;
    QTest::newRow("link to a picture") << "file victim.png;link victim.png shots/0001.png"
                                       << "@/shots/0001.png" << R::Ignored;
    QTest::newRow("dangling link") << "link nowhere.png shots/0001.png"
                                   << "@/shots/0001.png" << R::Ignored;
    QTest::newRow("hard link to a picture") << "file victim.png;hardlink victim.png shots/0001.png"
                                            << "@/shots/0001.png" << R::Ignored;
    QTest::newRow("folder named like a file") << "dir shots/0001.png"
                                              << "@/shots/0001.png" << R::Ignored;
    QTest::newRow("pipe named like a file") << "fifo shots/0001.png"
                                            << "@/shots/0001.png" << R::Ignored;
    QTest::newRow("folder missing") << ""
                                    << "@/gone/0001.png" << R::Ignored;
}

void EngineLinesTest::screenshotReports() {
    using R = EngineSnapshots::Report;
    QFETCH(QString, setup);
    QFETCH(QString, reported);
    QFETCH(R, expected);
    QTemporaryDir dir;
    const QString root = dir.path();
    QVERIFY(QDir(root).mkpath("shots"));
    for (const QString& step : setup.split(';', Qt::SkipEmptyParts)) {
        const QStringList words = step.split(' ');
        const QString first = root + "/" + words.value(1);
        const QString second = root + "/" + words.value(2);
        if (words[0] == "file")
            QVERIFY(makeFile(first));
        else if (words[0] == "dir")
            QVERIFY(QDir().mkpath(first));
        else if (words[0] == "link")
            QVERIFY(QFile::link(first, second));
        else if (words[0] == "hardlink")
            QCOMPARE(::link(QFile::encodeName(first).constData(), QFile::encodeName(second).constData()), 0);
        else if (words[0] == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(first).constData(), 0600), 0);
    }
    const QDir before(root + "/shots");
    const QStringList listing = before.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);

    EngineSnapshots shots;
    shots.begin(root + "/shots"); // without its separator: added
    QCOMPARE(shots.folder(), root + "/shots/");
    QVERIFY(shots.request());
    QString name = "untouched";
    const QByteArray path = QFile::encodeName(QString(reported).replace('@', root));
    QCOMPARE(shots.take(path, &name), expected);
    QCOMPARE(name, expected == R::Taken ? QString::fromLatin1(path.mid(path.lastIndexOf('/') + 1))
                                        : QStringLiteral("untouched"));
    QCOMPARE(shots.pending(), expected == R::Taken ? 0 : 1);
    // Judging touches nothing.
    QCOMPARE(before.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), listing);
    if (QFile::exists(root + "/victim.png"))
        QCOMPARE(kzp::test::readBytes(root + "/victim.png"), QByteArray("picture"));
}

void EngineLinesTest::screenshotRequests() {
    using R = EngineSnapshots::Report;
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    QVERIFY(makeFile(folder + "0001.png"));
    QVERIFY(makeFile(folder + "0002.png"));
    const QByteArray first = QFile::encodeName(folder + "0001.png");
    const QByteArray second = QFile::encodeName(folder + "0002.png");
    QString name;

    EngineSnapshots shots;
    QVERIFY(!shots.request()); // no engine yet
    QCOMPARE(shots.pending(), 0);
    shots.begin(folder);
    QCOMPARE(shots.take(first, &name), R::Ignored); // nothing asked for
    // One file per request.
    QVERIFY(shots.request());
    QVERIFY(shots.request());
    QCOMPARE(shots.take(first, &name), R::Taken);
    QCOMPARE(shots.take(second, &name), R::Taken);
    QCOMPARE(name, QStringLiteral("0002.png"));
    QCOMPARE(shots.take(first, &name), R::Ignored);
    // Requests lapse when the engine ends, and with a new engine.
    QVERIFY(shots.request());
    shots.end();
    QCOMPARE(shots.take(first, &name), R::Ignored);
    QVERIFY(shots.request());
    shots.begin(folder);
    QCOMPARE(shots.pending(), 0);
    QCOMPARE(shots.take(first, &name), R::Ignored);
    // A folder whose name MPlayer's option syntax would trip over is still
    // recognised in the engine's report of it.
    const QString awkward = dir.path() + QString::fromUtf8("/a,b 'c' \"d\" [e]=f:g Zürich 東京/");
    QVERIFY(makeFile(awkward + "0001.png"));
    shots.begin(awkward);
    QVERIFY(shots.request());
    QByteArray reported;
    QVERIFY(
        engineScreenshotName("*** screenshot '" + QFile::encodeName(awkward) + "0001.png' ***\n", &reported));
    QCOMPARE(shots.take(reported, &name), R::Taken);
    QCOMPARE(shots.read(name), QByteArray("picture"));
}

void EngineLinesTest::engineShotReading() {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/shots/";
    QVERIFY(makeFile(folder + "0001.png", "engine picture"));
    QVERIFY(makeFile(dir.path() + "/victim.png", "user picture"));
    EngineSnapshots shots;
    shots.begin(folder);
    QCOMPARE(shots.read("0001.png"), QByteArray("engine picture"));
    // Only the engine's names, only inside the folder.
    QVERIFY(shots.read("../victim.png").isEmpty());
    QVERIFY(!shots.remove("../victim.png"));
    QVERIFY(!shots.remove("0001.png/.."));
    // A link put in place after the report was judged is neither followed
    // nor its target removed.
    QVERIFY(QFile::remove(folder + "0001.png"));
    QVERIFY(QFile::link(dir.path() + "/victim.png", folder + "0001.png"));
    QVERIFY(shots.read("0001.png").isEmpty());
    QVERIFY(shots.remove("0001.png"));
    QCOMPARE(kzp::test::readBytes(dir.path() + "/victim.png"), QByteArray("user picture"));
    // A pipe is not waited on.
    QCOMPARE(::mkfifo(QFile::encodeName(folder + "0002.png").constData(), 0600), 0);
    QVERIFY(shots.read("0002.png").isEmpty());
    QVERIFY(shots.read("0003.png").isEmpty()); // missing
}

void EngineLinesTest::backlogTrim_data() {
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<bool>("skipping");
    QTest::addColumn<qint64>("dropped");
    QTest::addColumn<bool>("skippingAfter");
    QTest::addColumn<bool>("ended");
    // Cap 100: over it, whole lines go until at most 75 bytes are left.
    const QByteArray line(9, 'a'); // ten bytes with its line end
    const QByteArray ten = line + '\n';
    QTest::newRow("under the cap") << ten.repeated(10) << false << qint64(0) << false << false;
    QTest::newRow("over the cap") << ten.repeated(11) << false << qint64(40) << false << false;
    QTest::newRow("cut at a line end")
        << QByteArray(30, 'b') + "\n" + ten.repeated(8) << false << qint64(41) << false << false;
    QTest::newRow("end of file among the dropped")
        << "Exiting... (End of file)\n" + ten.repeated(9) << false << qint64(45) << false << true;
    QTest::newRow("quit among the dropped")
        << "x\nExiting... (Quit)\n" + ten.repeated(9) << false << qint64(40) << false << true;
    QTest::newRow("end line kept") << ten.repeated(10) + "Exiting... (Quit)\n"
                                   << false << qint64(50) << false << false;
    QTest::newRow("marker in another kind of line")
        << "Playing (Quit).\n" + ten.repeated(9) << false << qint64(36) << false << false;
    QTest::newRow("end inside tags") << "Clip info:\nExiting... (Quit)\n" + ten.repeated(8) << false
                                     << qint64(39) << false << false;
    QTest::newRow("marker after a zero byte")
        << QByteArray("ab\0(Quit)\n", 10) + ten.repeated(10) << false << qint64(40) << false << false;
    QTest::newRow("marker in a skipped tail")
        << "tail (Quit)\n" + ten.repeated(10) << true << qint64(42) << false << false;
    QTest::newRow("no line end in reach") << QByteArray(200, 'c') << false << qint64(125) << true << false;
}

void EngineLinesTest::backlogTrim() {
    QFETCH(QByteArray, output);
    QFETCH(bool, skipping);
    QFETCH(qint64, dropped);
    QFETCH(bool, skippingAfter);
    QFETCH(bool, ended);
    QBuffer device(&output);
    QVERIFY(device.open(QIODevice::ReadOnly));
    EngineLineClassifier lines;
    const EngineBacklogTrim trim = trimEngineBacklog(device, skipping, lines, 100);
    QCOMPARE(trim.dropped, dropped);
    QCOMPARE(device.pos(), dropped);
    QCOMPARE(skipping, skippingAfter);
    QCOMPARE(trim.endOfPlayback, ended);
    QVERIFY(device.bytesAvailable() <= (dropped ? 75 : 100));
}

QTEST_GUILESS_MAIN(EngineLinesTest)
#include "tst_engine_lines.moc"
