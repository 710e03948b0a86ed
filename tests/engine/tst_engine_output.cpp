// The output parser against well-behaved and hostile engines, the track and
// channel menus, and snapshots.

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QtTest>

#include <csignal>
#include <ctime>

#include "common/Files.h"
#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "engine/EngineTestSupport.h"

KZP_TEMPORARY_HOME()

class EngineOutputTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QFile::remove(dataFolderPath() + "OutputPath.txt");
        QDir(defaultSnapshotFolder()).removeRecursively();
        // Engine files a failed test left would shift the engine's numbering.
        QDir data(dataFolderPath());
        for (const QString& name : data.entryList({"*.png"}, QDir::Files | QDir::System))
            data.remove(name);
    }

    void positionAnswersPaceTheSlider();
    void lengthAnswersAndDvdLength();
    void streamMenusAtVideoStart_data();
    void streamMenusAtVideoStart();
    void rememberedChoicesAtVideoStart();
    void endOfFileReturnsToStartPage();
    void splitAndPartialLines();
    void overlongLinesAreDropped();
    void floodKeepsWindowResponsive();
    void hangingEngineIsKilledOnEnd();
    void awkwardSourcePaths_data();
    void awkwardSourcePaths();
    void trackAndChannelMenus();
    void videoMenuSizesAndVideoTrack();
    void snapshotThroughEngine();
    void snapshotNamesAndFormats();
    void snapshotFailures();
    void forgedScreenshotReports_data();
    void forgedScreenshotReports();
    void staleRequestsLapse();
    void streamCountsAreCapped();
    void pausedFloodIsCapped();
    void endLineInDroppedOutputEndsPlayback();
};

namespace {

// A small picture standing for one of the user's own.
QByteArray userPicture() {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray report(const QString& path) {
    return "*** screenshot '" + QFile::encodeName(path) + "' ***";
}

// Largest unread engine output seen while `done` does not hold.
template <typename Predicate> qint64 largestBacklog(TestWindow& w, Predicate done, int timeoutMs) {
    qint64 largest = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (w.engineProcess)
            largest = qMax(largest, w.engineProcess->bytesAvailable());
    });
    probe.start(1);
    if (!FakeEngine::waitUntil(done, timeoutMs))
        return -1;
    return largest;
}

} // namespace

void EngineOutputTest::positionAnswersPaceTheSlider() {
    TestWindow w;
    w.progressSlider->setRange(0, 1000);
    w.playClock = 42999;
    for (int i = 1; i <= 4; ++i) {
        w.handleEngineLine("ANS_TIME_POSITION=1.0\n");
        QCOMPARE(w.sliderTicks, i);
    }
    QCOMPARE(w.progressSlider->value(), 0);
    QCOMPARE(w.positionText, QStringLiteral("42")); // the player's clock, not the answer
    w.handleEngineLine("ANS_TIME_POSITION=7.0\n");
    QCOMPARE(w.progressSlider->value(), 42);
    QCOMPARE(w.sliderTicks, 0);
}

void EngineOutputTest::lengthAnswersAndDvdLength() {
    TestWindow w;
    w.sourceKind = 1;
    w.mediaLength = 0;
    w.positionText = "3725";
    w.handleEngineLine("ANS_LENGTH=abc\n");
    QCOMPARE(w.mediaLength, qint64(0)); // no number: still unknown
    w.handleEngineLine("ANS_LENGTH=5400.02\n");
    QCOMPARE(w.mediaLength, qint64(5400));
    QCOMPARE(w.progressSlider->maximum(), 5400);
    QCOMPARE(w.elapsedLabel->text(), QStringLiteral("01:02:05 "));
    QCOMPARE(w.lengthLabel->text(), QStringLiteral(" 01:30:00"));
    w.handleEngineLine("ANS_LENGTH=10.00\n");
    QCOMPARE(w.mediaLength, qint64(5400)); // known now: later answers change nothing

    w.sourceKind = 0; // files keep the probe's length
    w.mediaLength = 0;
    w.handleEngineLine("ANS_LENGTH=99.00\n");
    QCOMPARE(w.mediaLength, qint64(0));
    QCOMPARE(w.lengthLabel->text(), QStringLiteral(" 00:00:00"));
}

void EngineOutputTest::streamMenusAtVideoStart_data() {
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QStringList>("audio");
    QTest::addColumn<QStringList>("subtitles");
    QTest::addColumn<bool>("switchSent");
    const QByteArray a = "[lavf] stream 1: audio (aac), -aid 0, -alang eng, English";
    const QByteArray s = "[lavf] stream 3: subtitle (srt), -sid 0, -slang eng, English subs";
    const QByteArray v = "VIDEO:  [H264]  320x240  0bpp  25.000 fps";
    QTest::newRow("three audio") << QByteArrayList{"Playing x.", a, a, a, v}
                                 << QStringList{"Disable", "Audio 1", "Audio 2", "Audio 3"} << QStringList{}
                                 << true;
    QTest::newRow("audio after subtitle not counted")
        << QByteArrayList{"Playing x.", a, s, a, v} << QStringList{"Disable", "Audio 1"}
        << QStringList{"Disable", "Subtitle 1"} << true;
    QTest::newRow("Playing resets counts") << QByteArrayList{a, a, s, "Playing y.", a, v}
                                           << QStringList{"Disable", "Audio 1"} << QStringList{} << true;
    QTest::newRow("menu with matching size kept")
        << QByteArrayList{"Playing x.", a, v} << QStringList{"keep", "me"} << QStringList{} << false;
}

void EngineOutputTest::streamMenusAtVideoStart() {
    QFETCH(QByteArrayList, lines);
    QFETCH(QStringList, audio);
    QFETCH(QStringList, subtitles);
    QFETCH(bool, switchSent);
    FakeEngine fake;
    fake.setScript(lines);
    TestWindow w;
    if (audio == QStringList{"keep", "me"}) {
        w.audioTrackMenu->addAction("keep")->setData(0);
        w.audioTrackMenu->addAction("me")->setData(1);
    }
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "streams.mkv"));
    QVERIFY(fake.waitForCommand("get_time_pos", 2));
    QTRY_COMPARE(w.texts(w.audioTrackMenu), audio);
    QCOMPARE(w.texts(w.subtitleTrackMenu), subtitles);
    QCOMPARE(fake.count("pausing_keep switch_audio 0"), switchSent ? 1 : 0);
    if (switchSent) {
        QCOMPARE(w.checkedIndex(w.audioTrackMenu), 1);
        QVERIFY(!w.audioTrackMenu->actions()[0]->isCheckable());
        QCOMPARE(w.audioTrackMenu->actions().last()->data().toInt(), audio.size() - 1);
    }
    if (!subtitles.isEmpty())
        QCOMPARE(w.checkedIndex(w.subtitleTrackMenu), 0);
}

void EngineOutputTest::rememberedChoicesAtVideoStart() {
    FakeEngine fake;
    fake.setScript({"[lavf] stream 1: audio (aac), -aid 0", "[lavf] stream 2: audio (aac), -aid 1",
                    "[lavf] stream 3: subtitle (srt), -sid 0", "VIDEO:  [H264]"});
    TestWindow w;
    // A disc's menus, built beforehand with the matching sizes.
    for (int k = 0; k <= 2; ++k)
        w.audioTrackMenu->addAction(QString("A%1").arg(k))->setData(k);
    for (int k = 0; k <= 1; ++k)
        w.subtitleTrackMenu->addAction(QString("S%1").arg(k))->setData(k);
    w.sourceKey = "/disc/BDMV/PLAYLIST/00001.mpls";
    w.audioChoiceTable[w.sourceKey] = 2;
    w.subtitleChoiceTable[w.sourceKey] = 1;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "remembered.mkv"));
    QCOMPARE(w.audioTrackIndex, 1);
    QCOMPARE(w.subtitleTrackIndex, 0);
    QVERIFY(fake.waitForCommand("switch_audio 1"));
    QVERIFY(fake.waitForCommand("sub_demux 0"));
    QTRY_COMPARE(w.checkedIndex(w.audioTrackMenu), 2);
    QCOMPARE(w.checkedIndex(w.subtitleTrackMenu), 1);
    QCOMPARE(w.texts(w.audioTrackMenu), (QStringList{"A0", "A1", "A2"}));
    QCOMPARE(fake.count("pausing_keep switch_audio 0"), 0);

    // Without a remembered choice nothing is applied.
    w.sourceKey = "other";
    w.playFile(makeSource(dir, "other.mkv"));
    QCOMPARE(w.audioTrackIndex, -2);
    QCOMPARE(w.subtitleTrackIndex, -2);
}

void EngineOutputTest::endOfFileReturnsToStartPage() {
    FakeEngine fake;
    fake.setScript({"Playing x.", "@wait get_time_pos", "", "Exiting... (End of file)"});
    TestWindow w;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "end.mkv"), 125);
    w.progressSlider->setValue(40);
    QTRY_VERIFY(w.isStopped);
    QVERIFY(fake.waitForCommand("q"));
    QCOMPARE(w.pageStack->currentIndex(), 0);
    QCOMPARE(w.progressSlider->value(), 0);
    QCOMPARE(w.elapsedLabel->text(), QStringLiteral("00:00:00 "));
    QCOMPARE(w.lengthLabel->text(), QStringLiteral(" 00:02:05"));
    QVERIFY(sameIcon(w.playButton->icon(), ":/image/play.png"));
    QVERIFY(!w.isPlaying);
    QVERIFY(w.playingSource.isEmpty());
    QVERIFY(!w.refreshTimer->isActive());
}

void EngineOutputTest::splitAndPartialLines() {
    FakeEngine fake;
    fake.setScript({"@silent", "@raw ANS_LEN", "@wait get_time_pos", "@raw GTH=77.00\\nANS_LENGTH=5",
                    "@wait pause", "@raw 0.00\\n"});
    QTemporaryDir dvd;
    TestWindow w;
    w.playFolder(dvd.path());
    QVERIFY(fake.waitForCommand("get_time_pos"));
    QTRY_COMPARE(w.mediaLength, qint64(77)); // the line split across two writes
    // A partial line stays until its end arrives.
    QTRY_COMPARE(w.engineProcess->bytesAvailable(), qint64(12));
    w.mediaLength = 0;
    w.refreshTimer->stop();
    QTest::qWait(100);
    QCOMPARE(w.mediaLength, qint64(0));
    w.writeEngine("pause\n");
    QTRY_COMPARE(w.mediaLength, qint64(50));
}

void EngineOutputTest::overlongLinesAreDropped() {
    FakeEngine fake;
    // Two audio streams, then a 1 MB line with "Playing " at both ends (either
    // end, if handled, would reset the count), a 1 MB line with no end at all, and the video.
    fake.setScript({"[lavf] stream 1: audio (aac), -aid 0", "[lavf] stream 2: audio (aac), -aid 1",
                    "@raw Playing ", "@repeat 1048576 x", "@raw  Playing y.\\n", "VIDEO:  [H264]",
                    "@wait get_time_pos", "@repeat 3000000 y"});
    TestWindow w;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "long.mkv"));
    QTRY_COMPARE(w.texts(w.audioTrackMenu), (QStringList{"Disable", "Audio 1", "Audio 2"}));
    QVERIFY(fake.waitForCommand("get_time_pos", 2));
    // The endless line is not hoarded: the buffer stays near the line cap.
    QTest::qWait(300);
    QVERIFY2(w.engineProcess->bytesAvailable() < 512 * 1024,
             QByteArray::number(w.engineProcess->bytesAvailable()).constData());
    QVERIFY(w.isPlaying);
    QVERIFY(!w.isStopped);
}

void EngineOutputTest::floodKeepsWindowResponsive() {
    FakeEngine fake;
    fake.setScript({"@flood 10 ANS_TIME_POSITION=1.0", "Exiting... (End of file)"});
    TestWindow w;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "flood.mkv"));
    // A stall is work the window's thread does between two turns of its
    // event loop: measured in that thread's CPU time, so a busy machine that
    // merely delays us is not counted. The wall-clock gap is reported too.
    auto threadCpuMs = [] {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    };
    QElapsedTimer clock;
    clock.start();
    qint64 lastWall = 0;
    qint64 worstWall = 0;
    double lastCpu = threadCpuMs();
    double worstCpu = 0;
    qint64 backlog = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const double cpu = threadCpuMs();
        worstWall = qMax(worstWall, now - lastWall);
        worstCpu = qMax(worstCpu, cpu - lastCpu);
        lastWall = now;
        lastCpu = cpu;
        if (w.engineProcess)
            backlog = qMax(backlog, w.engineProcess->bytesAvailable());
    });
    probe.start(1);
    QVERIFY(FakeEngine::waitUntil([&] { return w.isStopped; }, 60000));
    probe.stop();
    qInfo("flood: %lld ms; longest stall %.1f ms of CPU (%lld ms wall); largest backlog %lld bytes",
          clock.elapsed(), worstCpu, worstWall, backlog);
    QVERIFY(clock.elapsed() >= 9000); // the flood really ran before its end line
    QVERIFY2(worstCpu < 100, QByteArray::number(worstCpu).constData());
    QVERIFY2(backlog < 16 * 1024 * 1024, QByteArray::number(backlog).constData());
    QCOMPARE(w.pageStack->currentIndex(), 0);
}

void EngineOutputTest::hangingEngineIsKilledOnEnd() {
    FakeEngine fake;
    fake.setScript({"@ignore-term", "@hang"});
    TestWindow w;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "hang.mkv"));
    QVERIFY(fake.waitForStart());
    QTRY_VERIFY(w.engineRunning());
    const qint64 pid = w.engineProcess->processId();
    w.StopBtn(); // the quit goes unanswered
    QTest::qWait(200);
    QVERIFY(w.engineRunning());
    QElapsedTimer clock;
    clock.start();
    w.endEngine();
    QVERIFY(!w.engineProcess);
    QVERIFY(clock.elapsed() < 10000);
    QVERIFY(::kill(pid_t(pid), 0) != 0); // gone and reaped
}

void EngineOutputTest::awkwardSourcePaths_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<QString>("lastArgument");
    QTest::newRow("spaces") << "a  b c.mkv" << false << QString();
    QTest::newRow("quotes") << "it's \"x\" `y` $HOME.mkv" << false << QString();
    QTest::newRow("non-ASCII") << QString::fromUtf8("Fête à Zürich 東京.mkv") << false << QString();
    QTest::newRow("leading dash") << "-vo null.mkv" << true << "./-vo null.mkv";
}

void EngineOutputTest::awkwardSourcePaths() {
    QFETCH(QString, name);
    QFETCH(bool, relative);
    QFETCH(QString, lastArgument);
    FakeEngine fake;
    TestWindow w;
    QTemporaryDir dir;
    const QString path = makeSource(dir, name);
    const QString previous = QDir::currentPath();
    if (relative)
        QDir::setCurrent(dir.path());
    w.playFile(relative ? name : path);
    QVERIFY(fake.waitForStart());
    QDir::setCurrent(previous);
    QCOMPARE(fake.arguments().size(), 16);
    QCOMPARE(fake.arguments().last(), relative ? lastArgument : path);
    QCOMPARE(fake.arguments().at(7), QStringLiteral("-vo"));
    QCOMPARE(fake.arguments().at(8), QStringLiteral("direct3d"));
}

void EngineOutputTest::trackAndChannelMenus() {
    FakeEngine fake;
    TestWindow w;
    for (int k = 0; k <= 3; ++k)
        w.audioTrackMenu->addAction(QString("a%1").arg(k))->setData(k);
    for (int k = 0; k <= 2; ++k)
        w.subtitleTrackMenu->addAction(QString("s%1").arg(k))->setData(k);
    // Without an engine: no command, no check.
    w.BDAudioMenu(w.audioTrackMenu->actions()[2]);
    w.BDVideoMenu(w.subtitleTrackMenu->actions()[1]);
    w.BDAudioMenu(w.audioChannelMenu->actions()[1]);
    QCOMPARE(w.checkedIndex(w.audioTrackMenu), -1);
    QCOMPARE(w.checkedIndex(w.subtitleTrackMenu), -1);

    QTemporaryDir dir;
    w.playFile(makeSource(dir, "tracks.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.BDAudioMenu(w.audioTrackMenu->actions()[0]);
    w.BDAudioMenu(w.audioTrackMenu->actions()[3]);
    QCOMPARE(w.checkedIndex(w.audioTrackMenu), 3);
    w.BDVideoMenu(w.subtitleTrackMenu->actions()[0]);
    w.BDVideoMenu(w.subtitleTrackMenu->actions()[2]);
    QCOMPARE(w.checkedIndex(w.subtitleTrackMenu), 2);
    w.BDAudioMenu(w.audioChannelMenu->actions()[1]);
    w.BDAudioMenu(w.audioChannelMenu->actions()[2]);
    w.BDAudioMenu(w.audioChannelMenu->actions()[0]);
    QCOMPARE(w.checkedIndex(w.audioChannelMenu), 0);
    QVERIFY(fake.waitForCommand("pausing_keep balance 0 1"));
    QList<QByteArray> sent = fake.commands();
    sent.removeAll("get_time_length");
    sent.removeAll("get_time_pos");
    QCOMPARE(sent, (QList<QByteArray>{"volume 50 2", "pausing_keep switch_audio -2",
                                      "pausing_keep switch_audio 2", "pausing_keep sub_demux -1",
                                      "pausing_keep sub_demux 1", "pausing_keep balance -1 1",
                                      "pausing_keep balance 1 1", "pausing_keep balance 0 1"}));
    // An action of some other menu is not a track choice.
    QMenu stray;
    w.BDAudioMenu(stray.addAction("x"));
    // A new source starts on "Stereo" again.
    w.BDAudioMenu(w.audioChannelMenu->actions()[2]);
    w.playFile(makeSource(dir, "tracks2.mkv"));
    QCOMPARE(w.checkedIndex(w.audioChannelMenu), 0);
}

void EngineOutputTest::videoMenuSizesAndVideoTrack() {
    TestWindow w;
    w.show();
    w.pageStack->setCurrentIndex(2);
    QVERIFY(w.videoSurface->isVisible());
    w.BDVideoMenu(w.videoTrackMenu->actions()[0]); // no engine needed
    QVERIFY(!w.videoSurface->isVisible());
    QCOMPARE(w.checkedIndex(w.videoTrackMenu), 0);
    w.BDVideoMenu(w.videoTrackMenu->actions()[1]);
    QVERIFY(w.videoSurface->isVisible());
    QCOMPARE(w.checkedIndex(w.videoTrackMenu), 1);

    QMenu sizes;
    QAction* normal = sizes.addAction("n");
    normal->setData("NormalSize");
    QAction* other = sizes.addAction("o");
    other->setData("Other");
    w.setMinimumSize(0, 0);
    w.menuStrip->setMinimumSize(0, 0);
    w.BDVideoMenu(normal);
    QCOMPARE(w.size(), QSize(1000, 680));
    w.BDVideoMenu(other);
    QCOMPARE(w.size(), QSize(1000, 680));
}

void EngineOutputTest::snapshotThroughEngine() {
    FakeEngine fake;
    TestWindow w;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "snap.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    const QString folder = defaultSnapshotFolder();
    QVERIFY(!QDir(folder).exists()); // created on demand
    w.Snapshot();
    QVERIFY(fake.waitForCommand("screenshot 0"));
    QTRY_COMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
    const QString saved = QDir(folder).entryList(QDir::Files).first();
    QVERIFY2(isSnapshotName(saved), qPrintable(saved));
    QImageReader reader(folder + saved);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.read().size(), QSize(64, 48));
    // The engine's own file is gone once the copy is safe.
    QTRY_VERIFY(!QFile::exists(w.dataFolder + "0001.png"));
}

void EngineOutputTest::snapshotNamesAndFormats() {
    FakeEngine fake;
    TestWindow w;
    QTemporaryDir dir;
    const QString target = dir.filePath("shots/"); // missing, stored with its separator
    QVERIFY(writeOutputPath(w.dataFolder, target));
    w.playFile(makeSource(dir, "formats.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    struct Case {
        QString format;
        QByteArray detected;
    };
    int requests = 0;
    for (const Case& c :
         {Case{"PNG", "png"}, Case{"BMP", "bmp"}, Case{"JPEG", "jpeg"}, Case{"JPG", "jpeg"}}) {
        w.snapshotFormat = c.format;
        // Two requests in a row, one file each: the same second must not overwrite.
        w.Snapshot();
        w.Snapshot();
        requests += 2;
        QVERIFY(fake.waitForCommand("screenshot 0", requests));
        const auto saved = [&] { return QDir(target).entryList({"*." + c.format}, QDir::Files, QDir::Name); };
        QTRY_COMPARE(saved().size(), 2);
        QTRY_VERIFY(QDir(w.dataFolder).entryList({"*.png"}, QDir::Files).isEmpty());
        const QStringList files = saved();
        // Either both in one second ("x.EXT", "x (2).EXT") or across two.
        if (files[0].left(28) == files[1].left(28))
            QVERIFY2(files[1].endsWith(" (2)." + c.format) || files[0].endsWith(" (2)." + c.format),
                     qPrintable(files.join(", ")));
        for (const QString& f : files) {
            QImageReader reader(target + f);
            reader.setDecideFormatFromContent(true);
            QCOMPARE(reader.format(), c.detected);
            QCOMPARE(reader.size(), QSize(64, 48));
            QFile::remove(target + f);
        }
    }
    QCOMPARE(w.engineSnapshots.pending(), 0);
}

void EngineOutputTest::snapshotFailures() {
    // Reports fed straight to the window, as answers to requests of an engine
    // writing into the data folder.
    TestWindow w;
    QTemporaryDir dir;
    const QString folder = dir.filePath("out/");
    QVERIFY(writeOutputPath(w.dataFolder, folder));
    w.engineSnapshots.begin(w.dataFolder);
    const QString engineFile = w.dataFolder + "0001.png";
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
    const QByteArray line = report(engineFile) + '\n';
    const auto saved = [&] { return QDir(folder).entryList(QDir::Files); };

    // Reported before the engine wrote it, then written in two goes: the
    // request waits for the file, the file for its end.
    QVERIFY(w.engineSnapshots.request());
    w.saveSnapshot(line);
    QCOMPARE(w.engineSnapshots.pending(), 1);
    QTest::qWait(100);
    QVERIFY(kzp::test::writeBytes(engineFile, png.left(20)));
    QTRY_COMPARE(w.engineSnapshots.pending(), 0);
    QVERIFY(saved().isEmpty());
    QVERIFY(kzp::test::writeBytes(engineFile, png));
    QTRY_COMPARE(saved().size(), 1);
    QTRY_VERIFY(!QFile::exists(engineFile));
    QFile::remove(folder + saved().first());

    // A line without the closing quote names nothing.
    QVERIFY(kzp::test::writeBytes(engineFile, png));
    QVERIFY(w.engineSnapshots.request());
    w.saveSnapshot(report(engineFile).chopped(5));
    QCOMPARE(w.engineSnapshots.pending(), 1);

    // A whole PNG that does not decode: nothing saved, the engine's file is kept.
    QByteArray broken = png;
    broken.replace(16, 8, QByteArray(8, '\xff'));
    QVERIFY(kzp::test::writeBytes(engineFile, broken));
    w.saveSnapshot(line);
    QCOMPARE(w.engineSnapshots.pending(), 0);
    QVERIFY(QFile::exists(engineFile));
    QVERIFY(saved().isEmpty());

    // The snapshot folder cannot be made (a file is in the way): the engine's
    // file is kept.
    QVERIFY(kzp::test::writeBytes(engineFile, png));
    QVERIFY(kzp::test::writeBytes(dir.filePath("blocker"), "x"));
    QVERIFY(writeOutputPath(w.dataFolder, dir.filePath("blocker/sub/")));
    QVERIFY(w.engineSnapshots.request());
    w.saveSnapshot(line);
    QCOMPARE(w.engineSnapshots.pending(), 0);
    QCOMPARE(kzp::test::readBytes(engineFile), png);
    QFile::remove(engineFile);
}

void EngineOutputTest::forgedScreenshotReports_data() {
    // Where the user's picture lies and what a forged report names, relative
    // to a scratch folder (@) or to the engine's screenshot folder (%).
    QTest::addColumn<QString>("victim");
    QTest::addColumn<QString>("reported");
    QTest::newRow("absolute path") << "@outside/victim.png"
                                   << "@outside/victim.png";
    QTest::newRow("engine's name in another folder") << "@outside/0001.png"
                                                     << "@outside/0001.png";
    QTest::newRow("relative to the working folder") << "@cwd/victim.png"
                                                    << "victim.png";
    QTest::newRow("relative, engine's name") << "@cwd/0001.png"
                                             << "0001.png";
    QTest::newRow("dot-dot out of the folder") << "%../0001.png"
                                               << "%../0001.png";
    QTest::newRow("sub-folder of the folder") << "%sub/0001.png"
                                              << "%sub/0001.png";
    QTest::newRow("other name in the folder") << "%picture.png"
                                              << "%picture.png";
    QTest::newRow("link in the folder") << "@outside/linked.png"
                                        << "%0005.png";
}

void EngineOutputTest::forgedScreenshotReports() {
    QFETCH(QString, victim);
    QFETCH(QString, reported);
    QTemporaryDir scratch;
    QVERIFY(QDir(scratch.path()).mkpath("cwd"));
    TestWindow w;
    const QString folder = w.dataFolder;
    auto expand = [&](QString path) {
        if (path.startsWith('@'))
            return scratch.filePath(path.mid(1));
        if (path.startsWith('%'))
            return folder + path.mid(1);
        return path;
    };
    const QString victimPath = expand(victim);
    const QByteArray picture = userPicture();
    QVERIFY(kzp::test::writeBytes(victimPath, picture));
    const QString link = folder + "0005.png";
    if (reported == "%0005.png")
        QVERIFY(QFile::link(victimPath, link));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(scratch.filePath("cwd"));

    // The forged report comes where tags and file names are printed, and
    // again right before the engine's own report of a requested snapshot.
    FakeEngine fake;
    const QByteArray forged = report(expand(reported));
    fake.setScript({"Playing x.", forged, "[lavf] stream 1: audio (aac), -aid 0", "VIDEO:  [H264]",
                    "@on screenshot => " + forged});
    w.playFile(makeSource(scratch, "forged.mkv"));
    QTRY_COMPARE(w.texts(w.audioTrackMenu), (QStringList{"Disable", "Audio 1"}));
    const QString shots = snapshotFolder(folder);
    QCOMPARE(kzp::test::readBytes(victimPath), picture);
    QVERIFY(QDir(shots).entryList(QDir::Files).isEmpty());

    // A snapshot the user asked for is saved, once, from the engine's file.
    w.Snapshot();
    QVERIFY(fake.waitForCommand("screenshot 0"));
    QTRY_VERIFY(!QFile::exists(folder + "0001.png"));
    QTRY_COMPARE(QDir(shots).entryList(QDir::Files).size(), 1);
    QImageReader reader(shots + QDir(shots).entryList(QDir::Files).first());
    QCOMPARE(reader.read().size(), QSize(64, 48)); // the engine's picture, not the victim
    QCOMPARE(kzp::test::readBytes(victimPath), picture);
    if (reported == "%0005.png") {
        QCOMPARE(QFileInfo(link).symLinkTarget(), victimPath);
        QFile::remove(link);
    }
    w.endEngine();
    QDir::setCurrent(previous);
    QFile::remove(victimPath);
    QDir(folder + "sub").removeRecursively();
}

void EngineOutputTest::staleRequestsLapse() {
    // A request the engine never answered must not let a later report
    // through: requests lapse at the engine's end and with every new engine.
    QTemporaryDir scratch;
    TestWindow w;
    const QString engineLike = w.dataFolder + "0003.png";
    const QByteArray picture = userPicture();
    const QString shots = snapshotFolder(w.dataFolder);
    auto untouched = [&] {
        return kzp::test::readBytes(engineLike) == picture &&
               (!QDir(shots).exists() || QDir(shots).isEmpty());
    };
    QVERIFY(kzp::test::writeBytes(engineLike, picture));
    FakeEngine fake;
    fake.setScript({"@on screenshot => @exit 0"}); // dies instead of answering
    w.playFile(makeSource(scratch, "first.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.Snapshot();
    QTRY_VERIFY(w.isStopped);
    w.handleEngineLine(report(engineLike) + '\n');
    QVERIFY(untouched());

    fake.setScript({"@on screenshot => @hang"}); // never answers
    w.playFile(makeSource(scratch, "second.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2", 2));
    w.Snapshot();
    QVERIFY(fake.waitForCommand("screenshot 0", 2));
    fake.setScript({"@wait q"});
    w.playFile(makeSource(scratch, "third.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2", 3));
    w.handleEngineLine(report(engineLike) + '\n');
    QVERIFY(untouched());
    w.endEngine();
    QFile::remove(engineLike);
}

void EngineOutputTest::streamCountsAreCapped() {
    FakeEngine fake;
    fake.setScript({"Playing x.", "@repeat 20000 [lavf] stream 1: audio (aac), -aid 0, -alang eng\\n",
                    "@repeat 20000 [lavf] stream 2: subtitle (srt), -sid 0\\n", "VIDEO:  [H264]",
                    "@note streams printed", "@wait q"});
    TestWindow w;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "streams.mkv"));
    QVERIFY(fake.waitForCommand("# streams printed"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.texts(w.subtitleTrackMenu).isEmpty(), 20000);
    QCOMPARE(w.audioTrackMenu->actions().size(), 101);
    QCOMPARE(w.subtitleTrackMenu->actions().size(), 101);
    QCOMPARE(w.audioTrackMenu->actions().last()->text(), QStringLiteral("Audio 100"));
    QCOMPARE(w.subtitleTrackMenu->actions().last()->data().toInt(), 100);
}

void EngineOutputTest::pausedFloodIsCapped() {
    // While paused the parser takes no lines, but the process object still
    // reads the pipe: what it holds stays near the cap, and the engine's end
    // after the flood is still seen on resume.
    FakeEngine fake;
    fake.setScript({"Playing x.", "@wait pause", "@flood 0.5 ANS_TIME_POSITION=1.0",
                    "Exiting... (End of file)", "@note flooded", "@wait q"});
    TestWindow w;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "paused-flood.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.pausePlayback();
    const qint64 largest = largestBacklog(
        w, [&] { return fake.count("# flooded") > 0; }, 30000);
    qInfo("paused flood: largest backlog %lld bytes", largest);
    QVERIFY(largest > 0);
    QVERIFY2(largest <= 5 * 1024 * 1024, QByteArray::number(largest).constData());
    QVERIFY(!w.isStopped);
    w.resumePlayback();
    QTRY_VERIFY_WITH_TIMEOUT(w.isStopped, 20000);
    QVERIFY(fake.waitForCommand("q"));
    QCOMPARE(w.pageStack->currentIndex(), 0);
}

void EngineOutputTest::endLineInDroppedOutputEndsPlayback() {
    // The end line itself is among the dropped output: playback still ends.
    FakeEngine fake;
    fake.setScript({"Playing x.", "@wait pause", "@flood 0.5 ANS_TIME_POSITION=1.0",
                    "Exiting... (End of file)", "@flood 0.5 ANS_TIME_POSITION=2.0", "@note flooded",
                    "@wait q"});
    TestWindow w;
    QTemporaryDir dir;
    w.playFile(makeSource(dir, "dropped-end.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.pausePlayback();
    const qint64 largest = largestBacklog(
        w, [&] { return w.isStopped; }, 30000);
    QVERIFY2(largest >= 0 && largest <= 5 * 1024 * 1024, QByteArray::number(largest).constData());
    QVERIFY(w.engineOutputDropped > 4 * 1024 * 1024);
    QVERIFY(fake.waitForCommand("q"));
    QCOMPARE(w.pageStack->currentIndex(), 0);
}

QTEST_MAIN(EngineOutputTest)
#include "tst_engine_output.moc"
