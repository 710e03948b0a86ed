// End to end under X with the real probe and engine: two generated clips
// through the file dialog, Next from one to the other, then a DVD folder
// authored here through the folder dialog.
#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "SourcesTestSupport.h"
#include "common/MediaClips.h"
#include "media/Probe.h"

namespace {

bool succeeded(const kzp::test::ProgramRun& run) {
    if (!run.succeeded())
        qWarning() << run.program << run.arguments << run.output.right(2000);
    return run.succeeded();
}

bool run(const QString& program, const QStringList& arguments) {
    return succeeded(kzp::test::runProgram(program, arguments, 120000));
}

// A clip of generated picture and tone, made with ffmpeg.
bool makeClip(const QString& path, int seconds, const QString& size, const QStringList& encoding) {
    kzp::test::ClipOptions options;
    options.size = size;
    options.seconds = seconds;
    options.sampleRate = 48000;
    options.encoding = QStringList{"-shortest"} + encoding;
    options.quiet = false;
    options.timeoutMs = 120000;
    return succeeded(kzp::test::makeClip(path, options));
}

} // namespace

class TestSourcesReal : public QObject {
    Q_OBJECT
    PrivateHome home;

private slots:
    void filesThenDvdFolder() {
        for (const char* program : {"ffmpeg", "mplayer", "dvdauthor"}) {
            if (QStandardPaths::findExecutable(program).isEmpty())
                QSKIP("needs ffmpeg, mplayer and dvdauthor");
        }
        qputenv("KZP_AO", "null");
        qputenv("VIDEO_FORMAT", "NTSC");
        const QString a = home.path("clip one.mp4"), b = home.path("clip two.mp4");
        const QString mpg = home.path("dvd.mpg"), dvd = home.path("dvd folder");
        QVERIFY(makeClip(a, 3, "320x240", {"-c:v", "mpeg4"}));
        QVERIFY(makeClip(b, 5, "320x240", {"-c:v", "mpeg4"}));
        QVERIFY(makeClip(mpg, 4, "720x480", {"-target", "ntsc-dvd"}));
        QVERIFY(run("dvdauthor", {"-o", dvd, "-t", mpg}) && run("dvdauthor", {"-o", dvd, "-T"}));

        ScriptedWindow window;
        const QString bin = QCoreApplication::applicationDirPath(), engineLog = home.path("engine.log");
        QVERIFY(writeRecordingEngine(home.path("engine.sh"), engineLog, bin + "/Player.exe"));
        window.setEnginePath(home.path("engine.sh"));
        QFile::remove(window.probePath());
        QVERIFY(QFile::copy(bin + "/tool", window.probePath()));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const PlaybackController& playback = window.playback();
        const QList<PLAY_LIST_INFO>& entries = window.playListModel().entries();
        // The arguments of the last engine started (the folder it ran in dropped).
        const auto lastArguments = [&] {
            return loggedCalls(engineLog).value(loggedCalls(engineLog).size() - 1).mid(1);
        };
        // The slider follows the engine's position answers from 0 on each start.
        const auto plays = [&] { return playback.sliderValue() >= 1; };

        window.filesAnswer = {a, b};
        window.btnOpenFile();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].duration, QStringLiteral("00:00:03"));
        QCOMPARE(entries[1].duration, QStringLiteral("00:00:05"));
        QCOMPARE(playback.currentSource().length, 3LL);
        QTRY_VERIFY2_WITH_TIMEOUT(plays(), "first clip plays", 15000);
        QVERIFY(lastArguments().contains(a));
        window.PlayNext();
        QCOMPARE(playback.currentSource().length, 5LL);
        QTRY_VERIFY2_WITH_TIMEOUT(plays(), "second clip plays", 15000);
        QVERIFY(lastArguments().contains(b));

        window.folderAnswer = dvd;
        window.btnLoadBDPath();
        QCOMPARE(entries.value(2).kind, 1);
        // The length comes from the engine's first answer (4 s authored).
        QTRY_VERIFY_WITH_TIMEOUT(playback.currentSource().length >= 3 && playback.currentSource().length <= 5,
                                 15000);
        QTRY_VERIFY2_WITH_TIMEOUT(plays(), "DVD plays", 15000);
        const QStringList args = lastArguments();
        QVERIFY(args.contains("dvd://1"));
        QCOMPARE(args.value(args.indexOf("-dvd-device") + 1), dvd);
        window.StopBtn();
    }

    // The real probe on 1-second clips whose title tag and file name hold
    // "Duration: 99:59:59", once plainly and once as a line of its own.
    void realProbeReadsOnlyTheHeader() {
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
            QSKIP("needs ffmpeg");
        const QString tool = QCoreApplication::applicationDirPath() + "/tool";
        for (const QString& name : {QStringLiteral("Duration: 99:59:59.mp4"),
                                    QStringLiteral("x\n  Duration: 99:59:59.00, start: 0\n.mkv")}) {
            const QString clip = home.path(name);
            QVERIFY(makeClip(clip, 1, "64x48",
                             {"-metadata", "title=Duration: 99:59:59", "-c:v", "mpeg4", "-c:a", "aac"}));
            QCOMPARE(runProbe(tool, clip), QStringLiteral("00:00:01"));
        }
    }
};

// The engine draws into a real X window: run on the X server even when the
// caller's environment asks for the offscreen platform.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestSourcesReal test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sources_real.moc"
