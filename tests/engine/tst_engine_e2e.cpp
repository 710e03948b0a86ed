// End to end with the real engine through Player.exe on an X server: a clip
// made at test time with two audio streams and a subtitle stream plays inside
// the video surface, its menus appear, a seek lands, a snapshot is saved and
// the end of the clip returns to the start page.

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include "common/Files.h"
#include "common/MediaClips.h"
#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "engine/EngineTestSupport.h"

KZP_TEMPORARY_HOME()

namespace {

// Distinct colours in a picture (a blank surface has one or two).
int colourCount(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

QList<QByteArray> commandLine(qint64 pid) {
    return kzp::test::readParts(QStringLiteral("/proc/%1/cmdline").arg(pid), '\0');
}

} // namespace

class EngineEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void playsRealClip();
    void forgedReportsInTagsAndNames();

private:
    QTemporaryDir media;
    QString clip;
};

void EngineEndToEndTest::initTestCase() {
    if (QStandardPaths::findExecutable("mplayer").isEmpty() ||
        QStandardPaths::findExecutable("ffmpeg").isEmpty())
        QSKIP("mplayer or ffmpeg is not installed");
    QVERIFY(QGuiApplication::platformName() == QLatin1String("xcb"));
    QFile subtitles(media.filePath("subs.srt"));
    QVERIFY(subtitles.open(QIODevice::WriteOnly));
    subtitles.write("1\n00:00:01,000 --> 00:00:04,000\nHello\n\n2\n00:00:05,000 --> 00:00:07,000\nWorld\n");
    subtitles.close();
    clip = media.filePath("clip with blanks.mkv");
    kzp::test::ClipOptions options;
    options.tones = {440, 880};
    options.subtitles = subtitles.fileName();
    // A key frame every second so seeks land near their target.
    options.encoding = {"-c:v",     "libx264", "-preset", "ultrafast", "-g",   "25",
                        "-pix_fmt", "yuv420p", "-c:a",    "aac",       "-c:s", "srt"};
    options.channels = kzp::test::Channels::Forwarded;
    const kzp::test::ProgramRun ffmpeg = kzp::test::makeClip(clip, options);
    QVERIFY(ffmpeg.finished);
    QCOMPARE(ffmpeg.exitCode, 0);
    qputenv("KZP_AO", "null");
    qputenv("KZP_VO", "x11");
}

void EngineEndToEndTest::playsRealClip() {
    TestWindow w;
    w.setEnginePath(QCoreApplication::applicationDirPath() + "/Player.exe");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    w.playFile(clip, 8);
    QVERIFY(w.engineProcess);
    QVERIFY(w.engineProcess->waitForStarted(5000));

    // Watch the engine's lines without taking them from the parser: a tap
    // connected ahead of it peeks at the buffer.
    QList<QByteArray> seen;
    QObject::disconnect(w.engineProcess, SIGNAL(readyReadStandardOutput()), &w, SLOT(MPlayerDataRecieve()));
    QProcess* engine = w.engineProcess;
    QObject::connect(engine, &QProcess::readyReadStandardOutput, &w, [&seen, engine] {
        const QByteArray data = engine->peek(engine->bytesAvailable());
        const QList<QByteArray> lines = data.left(data.lastIndexOf('\n') + 1).split('\n');
        for (const QByteArray& line : lines)
            if (!line.isEmpty())
                seen << line;
    });
    QObject::connect(engine, SIGNAL(readyReadStandardOutput()), &w, SLOT(MPlayerDataRecieve()));

    // The process is the engine itself, drawing into our surface.
    QTRY_VERIFY_WITH_TIMEOUT(commandLine(engine->processId()).value(0).endsWith("mplayer"), 5000);
    const QList<QByteArray> arguments = commandLine(engine->processId());
    const int wid = int(arguments.indexOf("-wid"));
    QVERIFY(wid > 0);
    QCOMPARE(arguments.value(wid + 1), QByteArray::number(quint64(w.videoSurface->winId())));

    // Menus rebuilt at the video's start.
    QTRY_COMPARE_WITH_TIMEOUT(w.texts(w.audioTrackMenu), (QStringList{"Disable", "Audio 1", "Audio 2"}),
                              10000);
    QCOMPARE(w.texts(w.subtitleTrackMenu), (QStringList{"Disable", "Subtitle 1"}));
    QCOMPARE(w.checkedIndex(w.audioTrackMenu), 1);

    // Frames inside the video surface.
    const QRect area(w.videoSurface->mapToGlobal(QPoint(0, 0)), w.videoSurface->size());
    QImage frame;
    QVERIFY(FakeEngine::waitUntil(
        [&] {
            frame = QGuiApplication::primaryScreen()
                        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                        .toImage();
            return colourCount(frame) > 20;
        },
        10000));

    // A seek lands near its target.
    w.SliderSeek(5);
    w.SliderRelease();
    const int from = int(seen.size());
    double landed = -1;
    QVERIFY(FakeEngine::waitUntil(
        [&] {
            for (int i = from; i < seen.size(); ++i)
                if (seen[i].startsWith("ANS_TIME_POSITION="))
                    landed = seen[i].mid(18).toDouble();
            return landed >= 0;
        },
        5000));
    QVERIFY2(landed >= 4.0 && landed <= 7.0, QByteArray::number(landed).constData());

    // A snapshot lands in the snapshot folder as JPEG; the engine's file goes.
    const QString folder = snapshotFolder(w.dataFolder);
    w.Snapshot();
    QVERIFY(FakeEngine::waitUntil([&] { return !QDir(folder).entryList(QDir::Files).isEmpty(); }, 5000));
    const QString saved = QDir(folder).entryList(QDir::Files).first();
    QVERIFY2(isSnapshotName(saved), qPrintable(saved));
    QImageReader reader(folder + saved);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), QSize(320, 240));
    QVERIFY(QDir(w.dataFolder).entryList({"*.png"}, QDir::Files).isEmpty());

    // The end of the clip brings the start page back.
    QTRY_VERIFY_WITH_TIMEOUT(w.isStopped, 15000);
    QCOMPARE(w.pageStack->currentIndex(), 0);
    QVERIFY(!w.refreshTimer->isActive());
    QVERIFY(!w.isPlaying);
    bool ended = false;
    for (const QByteArray& line : std::as_const(seen))
        ended = ended || line.contains("(End of file)");
    QVERIFY(ended);
}

void EngineEndToEndTest::forgedReportsInTagsAndNames() {
    // The engine prints tags and the file name verbatim: a title and a file
    // name holding lines shaped like its screenshot report name the user's
    // pictures (absolute, relative to the working folder, and an engine-like
    // file in the engine's own folder). None of them is touched; a snapshot
    // the user asks for is still saved.
    QTemporaryDir scratch;
    TestWindow w;
    const QString absolute = scratch.filePath("pictures/victim.png");
    const QString relative = scratch.filePath("cwd/victim.png");
    const QString engineLike = w.dataFolder + "0001.png";
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::darkMagenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"));
    for (const QString& victim : {absolute, relative, engineLike})
        QVERIFY(kzp::test::writeBytes(victim, bytes));

    const QString title = "x\n*** screenshot '" + absolute + "' ***\n*** screenshot '" + engineLike + "' ***";
    const QString forged = scratch.filePath("a\n*** screenshot 'victim.png' ***\nb.mkv");
    kzp::test::ClipOptions options;
    options.seconds = 4;
    options.encoding = {"-c:v",    "libx264", "-preset", "ultrafast", "-pix_fmt",
                        "yuv420p", "-c:a",    "aac",     "-metadata", "title=" + title};
    const kzp::test::ProgramRun ffmpeg = kzp::test::makeClip(forged, options);
    QVERIFY(ffmpeg.finished);
    QCOMPARE(ffmpeg.exitCode, 0);

    const QString shots = snapshotFolder(w.dataFolder);
    QDir(shots).removeRecursively();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(scratch.filePath("cwd"));
    w.setEnginePath(QCoreApplication::applicationDirPath() + "/Player.exe");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.playFile(forged, 4);
    QVERIFY(w.engineProcess && w.engineProcess->waitForStarted(5000));

    // A tap ahead of the parser: once it has seen a line, the parser has too.
    QList<QByteArray> seen;
    QProcess* engine = w.engineProcess;
    QObject::disconnect(engine, SIGNAL(readyReadStandardOutput()), &w, SLOT(MPlayerDataRecieve()));
    QObject::connect(engine, &QProcess::readyReadStandardOutput, &w, [&seen, engine] {
        const QByteArray data = engine->peek(engine->bytesAvailable());
        seen << data.left(data.lastIndexOf('\n') + 1).split('\n');
    });
    QObject::connect(engine, SIGNAL(readyReadStandardOutput()), &w, SLOT(MPlayerDataRecieve()));
    QVERIFY(FakeEngine::waitUntil([&] { return seen.contains("Starting playback..."); }, 10000));
    // The forged lines really came as lines of their own.
    QVERIFY(seen.contains("*** screenshot 'victim.png' ***"));
    QVERIFY(seen.contains(("*** screenshot '" + absolute + "' ***").toLocal8Bit()));
    QVERIFY(seen.contains(("*** screenshot '" + engineLike + "' ***").toLocal8Bit()));
    for (const QString& victim : {absolute, relative, engineLike})
        QCOMPARE(kzp::test::readBytes(victim), bytes);
    QVERIFY(!QDir(shots).exists() || QDir(shots).isEmpty());

    // Tools, Snapshot: one real snapshot; the engine wrote 0002.png (0001.png is taken).
    w.BDToolMenu(w.snapshotAction);
    QVERIFY(FakeEngine::waitUntil([&] { return !QDir(shots).entryList(QDir::Files).isEmpty(); }, 5000));
    QTRY_VERIFY(!QFile::exists(w.dataFolder + "0002.png"));
    const QStringList saved = QDir(shots).entryList(QDir::Files);
    QCOMPARE(saved.size(), 1);
    QImageReader reader(shots + saved.first());
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), QSize(320, 240));
    for (const QString& victim : {absolute, relative, engineLike})
        QCOMPARE(kzp::test::readBytes(victim), bytes);

    w.endEngine();
    QDir::setCurrent(previous);
    QFile::remove(engineLike);
}

int main(int argc, char** argv) {
    // The X server of the test run, whatever the caller's platform setting.
    if (qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    EngineEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engine_e2e.moc"
