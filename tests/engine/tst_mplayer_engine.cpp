// The engine interface as MPlayer's slave protocol, against the scripted fake
// engine process: each intent's text on the wire, the command line, how the
// engine's end is reported, output held while paused, and snapshots.

#include <QImage>
#include <QSignalSpy>
#include <QtTest>

#include "common/TestEnv.h"
#include "engine/EngineTestSupport.h"

KZP_TEMPORARY_HOME()

namespace {

struct Wire {
    FakeEngine fake;
    QTemporaryDir media;
    QTemporaryDir data;
    MPlayerEngine engine;

    // Starts the fake on a file named `name`, with `volume` and a start second.
    EngineStart start(const QString& name = QStringLiteral("clip.mkv"), int volume = 50, qint32 from = 0) {
        EngineStart how;
        how.source = sourceAt(makeSource(media, name));
        how.source.startSecond = from;
        how.shotFolder = data.path() + '/';
        how.volume = volume;
        engine.start(FakeEngine::program(), how);
        return how;
    }
    // Everything written so far has reached the engine.
    bool caughtUp() { return engineCaughtUp(engine, fake); }
};

} // namespace

class MPlayerEngineTest : public QObject {
    Q_OBJECT

private slots:
    void intentsOnTheWire_data();
    void intentsOnTheWire();
    void commandLine_data();
    void commandLine();
    void endsReported_data();
    void endsReported();
    void outputHeldWhilePaused();
    void replacedEngineStaysQuiet();
    void snapshotsAnswerRequests();
};

void MPlayerEngineTest::intentsOnTheWire_data() {
    QTest::addColumn<QString>("intent");
    QTest::addColumn<QByteArrayList>("wire");
    QTest::newRow("start") << "start 35 30" << QByteArrayList{"volume 35 2", "seek 30 2"};
    QTest::newRow("start, volume bounded") << "start 150 0" << QByteArrayList{"volume 100 2"};
    QTest::newRow("pause") << "pause" << QByteArrayList{"pause"};
    QTest::newRow("resume sends nothing") << "resume" << QByteArrayList{};
    QTest::newRow("times") << "times" << QByteArrayList{"get_time_length", "get_time_pos"};
    QTest::newRow("seek") << "seek" << QByteArrayList{"seek 3725 2"};
    QTest::newRow("slider volume") << "volume keeps" << QByteArrayList{"pausing_keep volume 80 100"};
    QTest::newRow("mute volume") << "volume resumes" << QByteArrayList{"volume 0 100"};
    QTest::newRow("audio chosen") << "audio keeps" << QByteArrayList{"pausing_keep switch_audio -2"};
    QTest::newRow("audio at video start") << "audio resumes" << QByteArrayList{"switch_audio 1"};
    QTest::newRow("subtitle chosen") << "subtitle keeps" << QByteArrayList{"pausing_keep sub_demux -1"};
    QTest::newRow("subtitle at video start") << "subtitle resumes" << QByteArrayList{"sub_demux 0"};
    QTest::newRow("channels") << "channels"
                              << QByteArrayList{"pausing_keep balance -1 1", "pausing_keep balance 1 1",
                                                "pausing_keep balance 0 1"};
    QTest::newRow("snapshot") << "snapshot" << QByteArrayList{"screenshot 0"};
    QTest::newRow("quit") << "quit" << QByteArrayList{"q"};
}

void MPlayerEngineTest::intentsOnTheWire() {
    QFETCH(QString, intent);
    QFETCH(QByteArrayList, wire);
    Wire w;
    const QStringList parts = intent.split(' ');
    w.start("clip.mkv", parts[0] == "start" ? parts[1].toInt() : 50,
            parts[0] == "start" ? parts[2].toInt() : 0);
    QVERIFY(w.fake.waitForStart());
    if (parts[0] != "start")
        QVERIFY(w.caughtUp());
    const qsizetype before = w.fake.commands().size();
    const bool keeps = intent.endsWith("keeps");
    const Pausing pausing = keeps ? Pausing::Keeps : Pausing::Resumes;
    if (intent == "pause")
        w.engine.pause();
    else if (intent == "resume")
        w.engine.resume();
    else if (intent == "times")
        w.engine.askTimes();
    else if (intent == "seek")
        w.engine.seek(3725);
    else if (parts[0] == "volume")
        w.engine.setVolume(keeps ? 80 : 0, pausing);
    else if (parts[0] == "audio")
        w.engine.chooseAudio(keeps ? -2 : 1, pausing);
    else if (parts[0] == "subtitle")
        w.engine.chooseSubtitle(keeps ? -1 : 0, pausing);
    else if (intent == "channels")
        for (AudioChannel channel : {AudioChannel::Left, AudioChannel::Right, AudioChannel::Stereo})
            w.engine.chooseChannel(channel);
    else if (intent == "snapshot")
        QVERIFY(w.engine.requestSnapshot());
    else if (intent == "quit")
        w.engine.quit();
    if (intent == "quit")
        QVERIFY(w.fake.waitForCommand("q"));
    else
        QVERIFY(w.caughtUp());
    QByteArrayList sent = w.fake.commands().mid(parts[0] == "start" ? 0 : before);
    // The poll that proved the round trip is not part of the intent.
    sent = intent == "times" ? sent.mid(0, 2) : withoutPolls(sent);
    QCOMPARE(sent, wire);
}

void MPlayerEngineTest::commandLine_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<QString>("lastArgument");
    QTest::newRow("spaces") << "a  b c.mkv" << false << QString();
    QTest::newRow("quotes") << "it's \"x\" `y` $HOME.mkv" << false << QString();
    QTest::newRow("non-ASCII") << QString::fromUtf8("Fête à Zürich 東京.mkv") << false << QString();
    QTest::newRow("leading dash") << "-vo null.mkv" << true << "./-vo null.mkv";
}

// The window, the screenshot folder and the source reach the engine whatever
// the source's name; the engine runs in the folder it is given.
void MPlayerEngineTest::commandLine() {
    QFETCH(QString, name);
    QFETCH(bool, relative);
    QFETCH(QString, lastArgument);
    Wire w;
    const QString path = makeSource(w.media, name);
    const QString folder = w.media.filePath("BDMV/STREAM");
    QVERIFY(QDir().mkpath(folder));
    EngineStart how;
    how.source = sourceAt(relative ? name : path);
    how.windowId = 4711;
    how.shotFolder = w.data.path() + '/';
    how.workingFolder = relative ? w.media.path() : folder;
    w.engine.start(FakeEngine::program(), how);
    QVERIFY(w.fake.waitForStart());
    const QStringList arguments = w.fake.arguments();
    QCOMPARE(arguments.size(), 16);
    QCOMPARE(arguments.last(), relative ? lastArgument : path);
    QCOMPARE(arguments.value(arguments.indexOf("-wid") + 1), QStringLiteral("4711"));
    QCOMPARE(arguments.value(arguments.indexOf("-vf") + 1), "screenshot=" + w.data.path() + '/');
    const qint64 pid = engineProcess(w.engine.processSession())->processId();
    QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).canonicalFilePath(),
             QFileInfo(how.workingFolder).canonicalFilePath());
}

void MPlayerEngineTest::endsReported_data() {
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<bool>("missingProgram");
    QTest::addColumn<bool>("engineSaidSo");
    QTest::newRow("end of file") << QByteArrayList{"Playing x.", "Exiting... (End of file)"} << false << true;
    QTest::newRow("exits at once") << QByteArrayList{"@exit 0"} << false << false;
    QTest::newRow("exits with error") << QByteArrayList{"@exit 3"} << false << false;
    QTest::newRow("crashes") << QByteArrayList{"Playing x.", "@crash"} << false << false;
    QTest::newRow("missing Player.exe") << QByteArrayList{} << true << false;
}

void MPlayerEngineTest::endsReported() {
    QFETCH(QByteArrayList, script);
    QFETCH(bool, missingProgram);
    QFETCH(bool, engineSaidSo);
    Wire w;
    w.fake.setScript(script);
    QSignalSpy ended(&w.engine, &Engine::ended);
    EngineStart how = w.start();
    if (missingProgram)
        w.engine.start(w.media.filePath("no-such-folder/Player.exe"), how);
    QVERIFY(ended.wait(10000));
    QCOMPARE(ended.first().at(0).toBool(), engineSaidSo);
    QVERIFY(!w.engine.isRunning() || engineSaidSo);
}

// While paused the engine's lines wait; on resume they are read (a DVD's
// length answered meanwhile is not lost).
void MPlayerEngineTest::outputHeldWhilePaused() {
    Wire w;
    w.fake.setScript({"@silent", "@once pause => ANS_LENGTH=55.00"});
    QSignalSpy lengths(&w.engine, &Engine::lengthAnswered);
    w.start();
    QVERIFY(w.fake.waitForCommand("volume 50 2"));
    w.engine.pause();
    QVERIFY(FakeEngine::waitUntil(
        [&] { return engineProcess(w.engine.processSession())->bytesAvailable() > 0; }));
    QCoreApplication::processEvents();
    QVERIFY(lengths.isEmpty());
    w.engine.resume();
    QVERIFY(lengths.wait(5000));
    QCOMPARE(lengths.first().at(0).toLongLong(), qint64(55));
}

void MPlayerEngineTest::replacedEngineStaysQuiet() {
    Wire w;
    w.fake.setScript({"@wait get_time_pos", "Exiting... (End of file)"});
    QSignalSpy ended(&w.engine, &Engine::ended);
    w.start("first.mkv");
    QVERIFY(w.fake.waitForCommand("volume 50 2"));
    w.fake.setScript({});
    w.start("second.mkv"); // kills the first engine
    QVERIFY(w.fake.waitForCommand("volume 50 2", 2));
    QVERIFY(w.caughtUp());
    QVERIFY(w.caughtUp());
    QVERIFY(ended.isEmpty());
    QVERIFY(w.engine.isRunning());
}

// A report is taken only as the answer to a request; the picture is handed
// on once complete, and the engine's file goes only when released.
void MPlayerEngineTest::snapshotsAnswerRequests() {
    Wire w;
    QVERIFY(!w.engine.requestSnapshot()); // no engine: nothing
    QSignalSpy taken(&w.engine, &Engine::snapshotTaken);
    w.start();
    QVERIFY(w.fake.waitForCommand("volume 50 2"));
    QVERIFY(w.engine.requestSnapshot());
    QVERIFY(taken.wait(5000));
    QCOMPARE(QImage::fromData(taken.first().at(0).toByteArray()).size(), QSize(64, 48));
    const QString file = taken.first().at(1).toString();
    QVERIFY(QFile::exists(w.data.filePath(file)));
    w.engine.releaseSnapshot(file);
    QVERIFY(!QFile::exists(w.data.filePath(file)));
    QCOMPARE(w.engine.pendingSnapshots(), 0);
    // A report nobody asked for is ignored.
    emit w.engine.processSession().screenshotReported("*** screenshot '" +
                                                      w.data.filePath("0009.png").toUtf8() + "' ***\n");
    QVERIFY(w.caughtUp());
    QCOMPARE(taken.size(), 1);
    QCOMPARE(w.fake.count("screenshot 0"), 1);
}

QTEST_GUILESS_MAIN(MPlayerEngineTest)
#include "tst_mplayer_engine.moc"
