// End to end with the real engine through Player.exe on an X server: a clip
// made at test time with two audio streams and a subtitle stream plays inside
// the video surface, its menus appear, a seek lands, a snapshot is saved and
// the end of the clip returns to the start page.

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QMenu>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include "common/Files.h"
#include "common/MediaClips.h"
#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "engine/EngineTestSupport.h"
#include "ui/DRUI.h"

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

QStringList texts(QMenu* menu) {
    QStringList list;
    for (QAction* action : menu->actions())
        list << action->text();
    return list;
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
    options.seconds = 10;
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
    DRUI w;
    w.setupWindow();
    w.setEnginePath(QCoreApplication::applicationDirPath() + "/Player.exe");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    PlaybackController& c = w.playback();
    c.setSource(sourceAt(clip, SourceKind::File, 10));
    w.VideoPlay();
    EngineSession& session = mplayerSession(c);
    QProcess* engine = engineProcess(session);
    QVERIFY(engine);
    QVERIFY(engine->waitForStarted(5000));

    // Watch the engine's lines without taking them from the session: a tap
    // put in front of its reader peeks at the buffer, then lets it read.
    QList<QByteArray> seen;
    QObject::disconnect(engine, &QProcess::readyReadStandardOutput, &session, nullptr);
    QObject::connect(engine, &QProcess::readyReadStandardOutput, &session, [&seen, &session, engine] {
        const QByteArray data = engine->peek(engine->bytesAvailable());
        const QList<QByteArray> lines = data.left(data.lastIndexOf('\n') + 1).split('\n');
        for (const QByteArray& line : lines)
            if (!line.isEmpty())
                seen << line;
        if (!session.isOutputPaused())
            session.readOutput();
    });
    // The positions the engine answered from `from` on.
    auto positions = [&seen](qsizetype from) {
        QList<double> list;
        for (qsizetype i = from; i < seen.size(); ++i)
            if (seen[i].startsWith("ANS_TIME_POSITION="))
                list << seen[i].mid(18).toDouble();
        return list;
    };

    // The process is the engine itself, drawing into our surface.
    QTRY_VERIFY_WITH_TIMEOUT(commandLine(engine->processId()).value(0).endsWith("mplayer"), 5000);
    const QList<QByteArray> arguments = commandLine(engine->processId());
    const int wid = int(arguments.indexOf("-wid"));
    QVERIFY(wid > 0);
    QWidget* surface = w.part<QWidget>("videoSurface");
    QCOMPARE(arguments.value(wid + 1), QByteArray::number(quint64(surface->winId())));

    // Menus rebuilt at the video's start.
    QMenu* audio = w.part<QMenu>("audioTrackMenu");
    QTRY_COMPARE_WITH_TIMEOUT(texts(audio), (QStringList{"Disable", "Audio 1", "Audio 2"}), 20000);
    QCOMPARE(texts(w.part<QMenu>("subtitleTrackMenu")), (QStringList{"Disable", "Subtitle 1"}));
    QVERIFY(audio->actions()[1]->isChecked());

    // Frames inside the video surface.
    const QRect area(surface->mapToGlobal(QPoint(0, 0)), surface->size());
    QImage frame;
    QVERIFY(FakeEngine::waitUntil(
        [&] {
            frame = QGuiApplication::primaryScreen()
                        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                        .toImage();
            return colourCount(frame) > 20;
        },
        20000));

    // A seek back lands near its target. Playback never goes back by itself,
    // so the first answer below where it stood is the seek's (an answer to a
    // poll sent before the seek, however late, still shows the old place).
    QVERIFY(
        FakeEngine::waitUntil([&] { return !positions(0).isEmpty() && positions(0).last() >= 5.0; }, 20000));
    const qsizetype from = seen.size();
    w.SliderSeek(2);
    w.SliderRelease();
    double landed = -1;
    QVERIFY2(FakeEngine::waitUntil(
                 [&] {
                     for (const double position : positions(from)) {
                         if (position < 4.5) {
                             landed = position;
                             return true;
                         }
                     }
                     return false;
                 },
                 20000),
             qPrintable(QStringLiteral("answers after the seek: %1").arg(positions(from).size())));
    QVERIFY2(landed >= 1.0, QByteArray::number(landed).constData());

    // A snapshot lands in the snapshot folder as JPEG; the engine's file goes.
    const QString folder = snapshotFolder(c.dataFolderPath());
    w.Snapshot();
    QVERIFY(FakeEngine::waitUntil([&] { return !QDir(folder).entryList(QDir::Files).isEmpty(); }, 20000));
    const QString saved = QDir(folder).entryList(QDir::Files).first();
    QVERIFY2(isSnapshotName(saved), qPrintable(saved));
    QImageReader reader(folder + saved);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), QSize(320, 240));
    QVERIFY(QDir(c.dataFolderPath()).entryList({"*.png"}, QDir::Files).isEmpty());

    // The end of the clip brings the start page back.
    QVERIFY(FakeEngine::waitUntil([&] { return c.isStopped(); }, 30000));
    QCOMPARE(c.page(), Page::Start);
    QVERIFY(w.part<QWidget>("startPage")->isVisibleTo(&w));
    QVERIFY(!refreshTimer(c)->isActive());
    bool ended = false;
    for (const QByteArray& line : std::as_const(seen))
        ended = ended || line.contains("(End of file)");
    QVERIFY(ended);
}

void EngineEndToEndTest::forgedReportsInTagsAndNames() {
    // The engine prints tags and the file name verbatim: a title and a file
    // name holding lines shaped like its own (an end of playback, a video
    // start, a stream, screenshot reports naming the user's pictures:
    // absolute, relative to the working folder, and an engine-like file in
    // the engine's own folder). None of them counts: playback goes on, one
    // audio stream is counted, nothing is touched; a snapshot the user asks
    // for is still saved.
    QTemporaryDir scratch;
    DRUI w;
    w.setupWindow();
    PlaybackController& c = w.playback();
    const QString absolute = scratch.filePath("pictures/victim.png");
    const QString relative = scratch.filePath("cwd/victim.png");
    const QString engineLike = c.dataFolderPath() + "0001.png";
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::darkMagenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"));
    for (const QString& victim : {absolute, relative, engineLike})
        QVERIFY(kzp::test::writeBytes(victim, bytes));

    const QString title = "(End of file)\nExiting... (End of file)\nVIDEO:  [H264] x\n"
                          "[lavf] stream 9: audio (aac), -aid 9\n*** screenshot '" +
                          absolute + "' ***\n*** screenshot '" + engineLike + "' ***";
    const QString forged =
        scratch.filePath("a\n*** screenshot 'victim.png' ***\nExiting... (Quit)\nPlaying b, -aid 4.mkv");
    kzp::test::ClipOptions options;
    options.seconds = 4;
    options.encoding = {"-c:v",    "libx264", "-preset", "ultrafast", "-pix_fmt",
                        "yuv420p", "-c:a",    "aac",     "-metadata", "title=" + title};
    const kzp::test::ProgramRun ffmpeg = kzp::test::makeClip(forged, options);
    QVERIFY(ffmpeg.finished);
    QCOMPARE(ffmpeg.exitCode, 0);

    const QString shots = snapshotFolder(c.dataFolderPath());
    QDir(shots).removeRecursively();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(scratch.filePath("cwd"));
    w.setEnginePath(QCoreApplication::applicationDirPath() + "/Player.exe");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy reports(&mplayerSession(c), &EngineSession::screenshotReported);
    QSignalSpy video(&mplayerSession(c), &EngineSession::videoStarted);
    QSignalSpy position(&mplayerSession(c), &EngineSession::positionAnswered);
    c.setSource(sourceAt(forged, SourceKind::File, 4));
    w.VideoPlay();

    // The engine answers a query only once it plays: every forged line was read by then.
    QVERIFY(position.wait(10000));
    QCOMPARE(c.state(), PlaybackState::Playing);
    QCOMPARE(video.count(), 1);
    QCOMPARE(c.audioStreamCount(), 1);
    QCOMPARE(reports.count(), 0);
    for (const QString& victim : {absolute, relative, engineLike})
        QCOMPARE(kzp::test::readBytes(victim), bytes);
    QVERIFY(!QDir(shots).exists() || QDir(shots).isEmpty());

    // Tools, Snapshot: one real snapshot; the engine wrote 0002.png (0001.png is taken).
    QAction* snapshot = nullptr;
    for (QAction* action : w.part<QMenu>("toolsMenu")->actions())
        if (action->data().toString() == "Snapshot")
            snapshot = action;
    QVERIFY(snapshot);
    w.BDToolMenu(snapshot);
    QVERIFY(FakeEngine::waitUntil([&] { return !QDir(shots).entryList(QDir::Files).isEmpty(); }, 5000));
    QTRY_VERIFY(!QFile::exists(c.dataFolderPath() + "0002.png"));
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
