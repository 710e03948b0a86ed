// The real engine behind Player.exe, started with the player's own argument
// list, for data folders whose paths hold characters the engine's option
// syntax gives meaning to. The screenshot prefix (the data folder) travels in
// a "-vf" value, which the engine splits at commas: the clip must play, and a
// screenshot must land in exactly that folder.

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QWindow>
#include <QtTest>

#include "common/MediaClips.h"
#include "common/Wait.h"
#include "config/DataFolder.h"
#include "engine/EngineCommands.h"

namespace {

// The engine's lines as they arrive, with a wait for the first that starts
// with a given text. Gives up early when the engine has ended.
class EngineLines {
public:
    explicit EngineLines(QProcess& engine) : engine(engine) {}

    QByteArray waitFor(const QByteArray& start, int timeoutMs) {
        QByteArray found;
        kzp::test::waitUntil(
            [&] {
                while (engine.canReadLine()) {
                    const QByteArray line = engine.readLine().trimmed();
                    seen += line + '\n';
                    if (found.isEmpty() && line.startsWith(start))
                        found = line;
                }
                return !found.isEmpty() || engine.state() == QProcess::NotRunning;
            },
            timeoutMs);
        return found;
    }
    QByteArray seen;

private:
    QProcess& engine;
};

} // namespace

class DataFolderEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void playsAndSnapshotsIntoOddFolder_data();
    void playsAndSnapshotsIntoOddFolder();

private:
    QTemporaryDir media;
    QString clip;
};

void DataFolderEndToEndTest::initTestCase() {
    if (QStandardPaths::findExecutable("mplayer").isEmpty() ||
        QStandardPaths::findExecutable("ffmpeg").isEmpty())
        QSKIP("mplayer or ffmpeg is not installed");
    QVERIFY(QGuiApplication::platformName() == QLatin1String("xcb"));
    clip = media.filePath("clip.mp4");
    kzp::test::ClipOptions options;
    options.seconds = 60; // outlasts the test on a loaded machine; it quits the engine itself
    options.encoding = {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"};
    options.channels = kzp::test::Channels::Forwarded;
    QVERIFY(kzp::test::makeClip(clip, options).succeeded());
}

void DataFolderEndToEndTest::playsAndSnapshotsIntoOddFolder_data() {
    QTest::addColumn<QString>("home");
    QTest::newRow("comma, colon, equals, quotes, blanks, brackets, non-ASCII")
        << QString::fromUtf8("a,b:c=d 'e' \"f\" [g] (h) {i} Zürich,Ωmega");
    QTest::newRow("backslash before comma") << QString::fromUtf8("x\\,y\\\\,z\\");
    QTest::newRow("leading comma") << QStringLiteral(",start");
}

void DataFolderEndToEndTest::playsAndSnapshotsIntoOddFolder() {
    QFETCH(QString, home);
    QTemporaryDir root;
    QTemporaryDir elsewhere; // the engine's working directory: the prefix must not depend on it
    QVERIFY(root.isValid() && elsewhere.isValid());
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", savedDataHome); });
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(home)));
    const QString folder = dataFolderPath();
    QVERIFY2(folder.startsWith(root.filePath(home)), qPrintable(folder));
    QVERIFY(QDir().mkpath(folder));

    QWindow surface;
    surface.resize(320, 240);
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));

    Source source;
    source.path = clip;
    QProcess engine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("KZP_ENGINE"); // the real one
    env.insert("KZP_VO", "x11");
    env.insert("KZP_AO", "null");
    engine.setProcessEnvironment(env);
    engine.setWorkingDirectory(elsewhere.path());
    engine.start(QCoreApplication::applicationDirPath() + "/Player.exe",
                 engineArguments(quint64(surface.winId()), folder, source));
    QVERIFY(engine.waitForStarted(10000));
    const auto stop = qScopeGuard([&] {
        if (engine.state() != QProcess::NotRunning) {
            engine.kill();
            engine.waitForFinished(5000);
        }
    });
    EngineLines lines(engine);

    // Playing: the engine answers instead of refusing its command line.
    engine.write("get_time_length\n");
    const QByteArray length = lines.waitFor("ANS_LENGTH=", 60000);
    QVERIFY2(!length.isEmpty(), (lines.seen + engine.readAllStandardError()).constData());
    QVERIFY2(length.mid(11).toDouble() > 50, length.constData());

    engine.write("screenshot 0\n");
    const QByteArray report = lines.waitFor("*** screenshot '", 60000);
    QVERIFY2(!report.isEmpty(), (lines.seen + engine.readAllStandardError()).constData());
    const QString expected = folder + "0001.png";
    QCOMPARE(report, "*** screenshot '" + QFile::encodeName(expected) + "' ***");
    // The report may come before the file is complete.
    QVERIFY(kzp::test::waitUntil([&] { return QImage(expected).size() == QSize(320, 240); }, 30000));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"0001.png"});
    QVERIFY(QDir(elsewhere.path()).isEmpty());

    engine.write("q\n");
    QVERIFY(engine.waitForFinished(30000));
    QCOMPARE(engine.exitStatus(), QProcess::NormalExit);
    QCOMPARE(engine.exitCode(), 0);
}

int main(int argc, char** argv) {
    // The X server of the test run, whatever the caller's platform setting.
    if (qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    DataFolderEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_datafolder_e2e.moc"
