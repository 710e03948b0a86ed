// End to end with the real probe and engine under X: two generated clips
// opened through the file dialog, Next from one to the other, then a DVD
// folder authored here opened through the folder dialog.
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "SourcesTestSupport.h"

namespace {

bool run(const QString& program, const QStringList& arguments, const QByteArray& extraEnv = QByteArray()) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!extraEnv.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QList<QByteArray> pair = extraEnv.split('=');
        env.insert(QString::fromLatin1(pair[0]), QString::fromLatin1(pair[1]));
        process.setProcessEnvironment(env);
    }
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAll().right(2000);
        return false;
    }
    return true;
}

QStringList clipArguments(int seconds, const QString& out) {
    const QString d = QString::number(seconds);
    return {"-hide_banner",
            "-nostdin",
            "-y",
            "-f",
            "lavfi",
            "-i",
            "testsrc=duration=" + d + ":size=320x240:rate=25",
            "-f",
            "lavfi",
            "-i",
            "sine=duration=" + d,
            "-c:v",
            "mpeg4",
            "-c:a",
            "aac",
            "-shortest",
            out};
}

} // namespace

class TestSourcesReal : public QObject {
    Q_OBJECT
    PrivateHome home;

private slots:
    void initTestCase() {
        for (const char* program : {"ffmpeg", "mplayer", "dvdauthor"}) {
            if (QStandardPaths::findExecutable(program).isEmpty())
                QSKIP("ffmpeg, mplayer and dvdauthor are needed");
        }
        qputenv("KZP_AO", "null");
    }

    void filesThenDvdFolder() {
        const QString a = home.path("clip one.mp4"), b = home.path("clip two.mp4");
        QVERIFY(run("ffmpeg", clipArguments(3, a)));
        QVERIFY(run("ffmpeg", clipArguments(5, b)));

        ScriptedWindow window;
        const QString bin = QCoreApplication::applicationDirPath();
        window.setEnginePath(bin + "/Player.exe");
        QFile::remove(window.probePath());
        QVERIFY(QFile::copy(bin + "/tool", window.probePath()));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        window.filesAnswer = {a, b};
        window.btnOpenFile();
        QCOMPARE(window.playList.size(), 2);
        QCOMPARE(window.playList[0].duration, QStringLiteral("00:00:03"));
        QCOMPARE(window.playList[1].duration, QStringLiteral("00:00:05"));
        QCOMPARE(window.mediaLength, 3LL);
        QVERIFY(window.engineProcess);
        QCOMPARE(window.engineProcess->arguments().count(a), 1);
        QTRY_VERIFY_WITH_TIMEOUT(window.positionText.toDouble() >= 1, 15000);

        window.PlayNext();
        QCOMPARE(window.playingSource, b);
        QCOMPARE(window.mediaLength, 5LL);
        QCOMPARE(window.engineProcess->arguments().count(b), 1);
        QTRY_VERIFY_WITH_TIMEOUT(window.positionText.toDouble() >= 1, 15000);

        // A DVD folder, authored the way a disc carries it.
        const QString mpg = home.path("dvd.mpg"), dvd = home.path("dvd folder");
        QVERIFY(
            run("ffmpeg", {"-hide_banner", "-nostdin", "-y", "-f", "lavfi", "-i",
                           "testsrc=duration=4:size=720x480:rate=30000/1001", "-f", "lavfi", "-i",
                           "sine=duration=4:sample_rate=48000", "-shortest", "-target", "ntsc-dvd", mpg}));
        QVERIFY(run("dvdauthor", {"-o", dvd, "-t", mpg}, "VIDEO_FORMAT=NTSC"));
        QVERIFY(run("dvdauthor", {"-o", dvd, "-T"}, "VIDEO_FORMAT=NTSC"));

        window.folderAnswer = dvd;
        window.btnLoadBDPath();
        QVERIFY(window.refusals.isEmpty());
        QCOMPARE(window.playList.size(), 3);
        QCOMPARE(window.playList[2].kind, 1);
        QCOMPARE(window.sourceKind, 1);
        const QStringList args = window.engineProcess->arguments();
        const int device = args.indexOf("-dvd-device");
        QVERIFY(args.contains("dvd://1"));
        QVERIFY(device >= 0 && device + 1 < args.size());
        QCOMPARE(args[device + 1], dvd);
        // The DVD's length comes from the engine's first length answer.
        QTRY_VERIFY_WITH_TIMEOUT(window.mediaLength >= 3 && window.mediaLength <= 5, 15000);
        window.StopBtn();
    }
};

QTEST_MAIN(TestSourcesReal)
#include "tst_sources_real.moc"
