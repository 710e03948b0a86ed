// The playback controller driving the fake engine through a real main window:
// arguments, commands and their order, states, pause/resume, stop, seeking,
// volume, recent files, and an engine that fails or is replaced.

#include <QMouseEvent>
#include <QtTest>

#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "config/RecentFiles.h"
#include "engine/EngineTestSupport.h"

KZP_TEMPORARY_HOME()

class PlaybackTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QFile::remove(dataRecentFile()); }

    void startsEngineWithArgumentsAndCommands();
    void startPositionIsSoughtAfterVolume();
    void playTwicePausesThenResumes();
    void outputWaitsWhilePaused();
    void stopQuitsAndReturnsToStartPage();
    void navigationShowsDiscOrStartPage_data();
    void navigationShowsDiscOrStartPage();
    void titleAndChapterMenusKeptOnlyForDiscs_data();
    void titleAndChapterMenusKeptOnlyForDiscs();
    void refreshTickPollsAndAdvancesClock();
    void sliderDragSeeks();
    void seekIsIgnoredWhenStopped();
    void clickToSeek();
    void forwardBackwardBounds_data();
    void forwardBackwardBounds();
    void chapterSeek();
    void volumeAndMute();
    void recentFiles();
    void failingEngineEndsPlayback_data();
    void failingEngineEndsPlayback();
    void replacedEngineDoesNotDisturbSuccessor();
    void missingSourceDoesNothing();
    void commandsWithoutEngineAreDropped();

private:
    static QString dataRecentFile() { return dataFolderPath() + "RecentConfig.txt"; }
    QTemporaryDir media;
};

void PlaybackTest::startsEngineWithArgumentsAndCommands() {
    FakeEngine fake;
    TestWindow w;
    const QString source = makeSource(media, "clip one.mkv");
    w.playFile(source, 100);
    QVERIFY(fake.waitForStart());

    const QStringList expected{"-demuxer",
                               "lavf",
                               "-ni",
                               "-slave",
                               "-quiet",
                               "-wid",
                               QString::number(w.videoSurface->winId()),
                               "-vo",
                               "direct3d",
                               "-lavdopts",
                               "threads=4",
                               "-vf",
                               "screenshot=" + w.dataFolder,
                               "-af",
                               "channels=6,volume=5.1:1",
                               source};
    QCOMPARE(fake.arguments(), expected);
    QVERIFY(w.dataFolder.endsWith('/'));

    QVERIFY(fake.waitForCommand("get_time_pos"));
    const QList<QByteArray> commands = fake.commands();
    QCOMPARE(commands.mid(0, 3), (QList<QByteArray>{"volume 50 2", "get_time_length", "get_time_pos"}));

    QCOMPARE(w.playingSource, source);
    QVERIFY(w.isPlaying);
    QVERIFY(!w.isStopped);
    QCOMPARE(w.pageStack->currentIndex(), 2);
    QVERIFY(w.progressSlider->isEnabled());
    QCOMPARE(w.progressSlider->maximum(), 100);
    QCOMPARE(w.progressSlider->value(), 0);
    QVERIFY(w.refreshTimer->isActive());
    QCOMPARE(w.refreshTimer->interval(), 500);
    QCOMPARE(w.playPauseAction->data().toString(), QStringLiteral("Pause"));
    QVERIFY(sameIcon(w.playButton->icon(), ":/image/pause.png"));
    // The channel menu starts on "Stereo" for every source.
    QCOMPARE(w.checkedIndex(w.audioChannelMenu), 0);
    QVERIFY(!w.audioChannelMenu->actions()[1]->isCheckable());
}

void PlaybackTest::startPositionIsSoughtAfterVolume() {
    FakeEngine fake;
    TestWindow w;
    w.startPosition = 30;
    w.volumeSlider->setValue(35);
    w.playFile(makeSource(media, "start.mkv"));
    QCOMPARE(w.playClock, qint64(30000));
    QVERIFY(fake.waitForCommand("seek 30 2"));
    QCOMPARE(fake.commands().mid(0, 2), (QList<QByteArray>{"volume 35 2", "seek 30 2"}));
}

void PlaybackTest::playTwicePausesThenResumes() {
    FakeEngine fake;
    TestWindow w;
    w.playFile(makeSource(media, "pause.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    QProcess* engine = w.engineProcess;

    w.VideoPlay();
    QVERIFY(fake.waitForCommand("pause"));
    QVERIFY(!w.isPlaying);
    QVERIFY(!w.refreshTimer->isActive());
    QCOMPARE(w.playPauseAction->data().toString(), QStringLiteral("Resume"));
    QVERIFY(sameIcon(w.playButton->icon(), ":/image/play.png"));

    const int sent = fake.commands().size();
    w.VideoPlay();
    QCOMPARE(w.engineProcess, engine); // not restarted
    QVERIFY(w.isPlaying);
    QVERIFY(w.refreshTimer->isActive());
    QCOMPARE(w.playPauseAction->data().toString(), QStringLiteral("Pause"));
    // Resuming sends nothing itself: the next poll is what wakes the engine.
    QVERIFY(fake.waitForCommand("get_time_length", fake.count("get_time_length") + 1));
    QCOMPARE(fake.commands().value(sent), QByteArray("get_time_length"));
}

void PlaybackTest::outputWaitsWhilePaused() {
    FakeEngine fake;
    fake.setScript({"@once pause => ANS_LENGTH=55.00"});
    QTemporaryDir dvd;
    TestWindow w;
    w.playFolder(dvd.path());
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.pausePlayback();
    QVERIFY(FakeEngine::waitUntil([&] { return w.engineProcess->bytesAvailable() > 0; }));
    QTest::qWait(50); // give a wrongly connected parser the chance to run
    QCOMPARE(w.mediaLength, qint64(0));
    w.resumePlayback();
    QTRY_COMPARE(w.mediaLength, qint64(55));
    QCOMPARE(w.progressSlider->maximum(), 55);
}

void PlaybackTest::stopQuitsAndReturnsToStartPage() {
    FakeEngine fake;
    TestWindow w;
    const QString source = makeSource(media, "stop.mkv");
    w.playFile(source);
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.nowPlayingLabel->setText("stop.mkv");
    QProcess* first = w.engineProcess;

    w.StopBtn();
    QVERIFY(fake.waitForCommand("q"));
    QCOMPARE(w.elapsedLabel->text(), QStringLiteral("00:00:00 "));
    QVERIFY(w.isStopped);
    QVERIFY(w.playingSource.isEmpty());
    QVERIFY(w.nowPlayingLabel->text().isEmpty());
    QCOMPARE(w.pageStack->currentIndex(), 0);
    QCOMPARE(w.progressSlider->value(), 0);
    QVERIFY(!w.progressSlider->isEnabled());
    QVERIFY(!w.refreshTimer->isActive());
    QCOMPARE(w.engineProcess, first); // kept until the next start
    // The engine's "(Quit)" answer ends playback for good.
    QTRY_VERIFY(!w.isPlaying);
    QVERIFY(sameIcon(w.playButton->icon(), ":/image/play.png"));

    // Play again: a new engine for the same source.
    fake.clearArguments();
    QPointer<QProcess> old(first);
    w.VideoPlay();
    QVERIFY(old.isNull());
    QVERIFY(fake.waitForStart());
    QVERIFY(w.engineProcess);
    QCOMPARE(w.playingSource, source);
    QCOMPARE(w.pageStack->currentIndex(), 2);
    QVERIFY(!w.isStopped);
}

void PlaybackTest::navigationShowsDiscOrStartPage_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("page");
    QTest::newRow("file") << 0 << 0;
    QTest::newRow("dvd") << 1 << 0;
    QTest::newRow("bluray") << 2 << 1;
}

void PlaybackTest::navigationShowsDiscOrStartPage() {
    QFETCH(int, kind);
    QFETCH(int, page);
    FakeEngine fake;
    TestWindow w;
    w.currentSource = media.path();
    w.sourceKind = kind;
    w.VideoPlay();
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.Navigation();
    QVERIFY(fake.waitForCommand("q"));
    QVERIFY(w.isStopped);
    QVERIFY(w.playingSource.isEmpty());
    QVERIFY(!w.refreshTimer->isActive());
    QCOMPARE(w.pageStack->currentIndex(), page);
    // The quit's answer must not take the disc page away.
    QTRY_VERIFY(!w.isPlaying);
    QCOMPARE(w.pageStack->currentIndex(), page);
}

void PlaybackTest::titleAndChapterMenusKeptOnlyForDiscs_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("kept");
    QTest::newRow("file") << 0 << false;
    QTest::newRow("dvd") << 1 << false;
    QTest::newRow("bluray") << 2 << true;
}

void PlaybackTest::titleAndChapterMenusKeptOnlyForDiscs() {
    QFETCH(int, kind);
    QFETCH(bool, kept);
    FakeEngine fake;
    TestWindow w;
    // What the disc page put there for the disc that was loaded last.
    w.titleMenu->addAction(QStringLiteral("1. 01:50:00"));
    w.chapterMenu->addAction(QStringLiteral("1. 00:00:00"));
    w.chapterMenu->addAction(QStringLiteral("2. 00:12:34"));
    w.currentSource = kind == 0 ? makeSource(media, "menus.mkv") : media.path();
    w.sourceKind = kind;
    w.VideoPlay();
    QVERIFY(fake.waitForStart());
    QCOMPARE(w.titleMenu->actions().size(), kept ? 1 : 0);
    QCOMPARE(w.chapterMenu->actions().size(), kept ? 2 : 0);
}

void PlaybackTest::refreshTickPollsAndAdvancesClock() {
    FakeEngine fake;
    TestWindow w;
    w.DoRefreshGui(); // no engine: nothing
    QCOMPARE(w.playClock, qint64(0));
    w.playFile(makeSource(media, "tick.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.refreshTimer->stop();
    w.playClock = 1000;
    w.DoRefreshGui();
    w.DoRefreshGui();
    QCOMPARE(w.playClock, qint64(2014));
    QVERIFY(fake.waitForCommand("get_time_pos", 2));
    QCOMPARE(fake.commands(), (QList<QByteArray>{"volume 50 2", "get_time_length", "get_time_pos",
                                                 "get_time_length", "get_time_pos"}));
}

void PlaybackTest::sliderDragSeeks() {
    FakeEngine fake;
    TestWindow w;
    w.playFile(makeSource(media, "drag.mkv"), 100);
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.pausePlayback();
    w.sliderTicks = 3;
    w.SliderPress();
    QCOMPARE(w.sliderTicks, 0);
    w.SliderSeek(-5);
    QCOMPARE(w.seekTarget, 0);
    w.SliderSeek(3725);
    w.progressSlider->setMaximum(4000);
    w.SliderRelease();
    QVERIFY(fake.waitForCommand("seek 3725 2"));
    QCOMPARE(w.progressSlider->value(), 3725);
    QCOMPARE(w.playClock, qint64(3725000));
    QCOMPARE(w.positionText, QStringLiteral("3725"));
    QCOMPARE(w.elapsedLabel->text(), QStringLiteral("01:02:05"));
    QVERIFY(w.isPlaying); // seeking resumes
    QVERIFY(w.refreshTimer->isActive());
}

void PlaybackTest::seekIsIgnoredWhenStopped() {
    FakeEngine fake;
    TestWindow w;
    w.SliderSeek(10);
    w.sliderTicks = 4;
    w.SliderRelease(); // no engine
    QCOMPARE(w.sliderTicks, 0);
    w.playFile(makeSource(media, "stopped.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.StopBtn();
    QVERIFY(fake.waitForCommand("q"));
    w.SliderSeek(10);
    w.sliderTicks = 4;
    w.SliderRelease();
    w.seekForward();
    w.seekBackward();
    QCOMPARE(w.sliderTicks, 0);
    QVERIFY(!w.refreshTimer->isActive()); // no clock over a stopped engine
    QTRY_VERIFY(!w.engineRunning());
    QVERIFY(!fake.commands().join(' ').contains("seek"));
}

void PlaybackTest::clickToSeek() {
    FakeEngine fake;
    TestWindow w;
    w.show();
    w.playFile(makeSource(media, "click.mkv"), 100);
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.progressSlider->setFixedWidth(400);
    w.volumeSlider->setFixedWidth(200);
    QTRY_COMPARE(w.progressSlider->width(), 400);
    QTRY_COMPARE(w.volumeSlider->width(), 200);
    auto press = [&](QSlider* slider, double x, Qt::MouseButton button) {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(x, 2), slider->mapToGlobal(QPointF(x, 2)), button,
                          button, Qt::NoModifier);
        w.SliderMouseLButtonPress(slider, &event);
    };
    press(w.progressSlider, 300, Qt::RightButton);
    press(w.progressSlider, 300, Qt::LeftButton);
    QVERIFY(fake.waitForCommand("seek 75 2"));
    QCOMPARE(w.seekTarget, 75);
    QCOMPARE(w.progressSlider->value(), 75);
    press(w.progressSlider, 300, Qt::LeftButton); // on the handle: drags, no seek
    press(w.volumeSlider, 50, Qt::LeftButton);
    QVERIFY(fake.waitForCommand("pausing_keep volume 25 100"));
    QCOMPARE(w.volumeSlider->value(), 25);
    QCOMPARE(fake.count("seek 75 2"), 1);
    QVERIFY(!fake.commands().join(' ').contains("seek 0 2"));
}

void PlaybackTest::forwardBackwardBounds_data() {
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("forward") << qint64(600) << 100 << true << QByteArray("seek 160 2");
    QTest::newRow("forward near end") << qint64(100) << 50 << true << QByteArray("seek 96 2");
    QTest::newRow("forward to exact end") << qint64(160) << 100 << true << QByteArray("seek 160 2");
    QTest::newRow("forward short source") << qint64(3) << 0 << true << QByteArray("seek 0 2");
    QTest::newRow("forward unknown length") << qint64(0) << 0 << true << QByteArray("seek 0 2");
    QTest::newRow("backward") << qint64(600) << 90 << false << QByteArray("seek 30 2");
    QTest::newRow("backward near start") << qint64(600) << 20 << false << QByteArray("seek 0 2");
}

void PlaybackTest::forwardBackwardBounds() {
    QFETCH(qint64, length);
    QFETCH(int, position);
    QFETCH(bool, forward);
    QFETCH(QByteArray, command);
    FakeEngine fake;
    TestWindow w;
    w.playFile(makeSource(media, "bounds.mkv"), length);
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.pausePlayback();
    w.progressSlider->setMaximum(1000);
    w.progressSlider->setValue(position);
    w.sliderTicks = 2;
    forward ? w.seekForward() : w.seekBackward();
    QVERIFY(fake.waitForCommand(command));
    QVERIFY(w.isPlaying);
    QCOMPARE(w.sliderTicks, 0);
}

void PlaybackTest::chapterSeek() {
    FakeEngine fake;
    TestWindow w;
    w.seekToChapter(300000); // no engine: nothing
    w.playFile(makeSource(media, "chapters.mkv"), 1000);
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.pausePlayback();
    w.seekToChapter(300999);
    QVERIFY(fake.waitForCommand("seek 300 2"));
    QCOMPARE(w.playClock, qint64(300000));
    QVERIFY(w.isPlaying);
}

void PlaybackTest::volumeAndMute() {
    FakeEngine fake;
    TestWindow w;
    w.VolumeSliderSeek(-3); // no engine: only the widgets
    QCOMPARE(w.volumeSlider->value(), 0);
    QVERIFY(w.isMuted);
    QVERIFY(sameIcon(w.volumeButton->icon(), ":/image/no-volume.png"));
    QCOMPARE(w.volumeButton->size(), QPixmap(":/image/no-volume.png").size());
    w.VolumeBtn();
    QVERIFY(!w.isMuted);
    QCOMPARE(w.volumeSlider->value(), 50);

    w.playFile(makeSource(media, "volume.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    w.VolumeSliderSeek(80);
    w.VolumeSliderSeek(0);
    QVERIFY(w.isMuted);
    QVERIFY(sameIcon(w.volumeButton->icon(), ":/image/no-volume.png"));
    // Unmuting restores 50, not the volume before the mute.
    w.VolumeBtn();
    QCOMPARE(w.volumeSlider->value(), 50);
    QVERIFY(sameIcon(w.volumeButton->icon(), ":/image/volume.png"));
    w.VolumeBtn();
    QCOMPARE(w.volumeSlider->value(), 0);
    QVERIFY(fake.waitForCommand("volume 0 100"));
    QList<QByteArray> volumes;
    for (const QByteArray& command : fake.commands().mid(1))
        if (command.contains("volume"))
            volumes << command;
    QCOMPARE(volumes, (QList<QByteArray>{"pausing_keep volume 80 100", "pausing_keep volume 0 100",
                                         "volume 50 100", "volume 0 100"}));
}

void PlaybackTest::recentFiles() {
    FakeEngine fake;
    TestWindow w;
    QStringList paths;
    for (int i = 0; i < 11; ++i)
        paths << makeSource(media, QStringLiteral("recent %1.mkv").arg(i));
    w.playFile(paths[0]);
    w.playFile(paths[1]);
    QCOMPARE(readRecentFiles(dataRecentFile()), (QStringList{paths[1], paths[0]}));
    QFile file(dataRecentFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), (paths[1] + '\n' + paths[0] + '\n').toLocal8Bit());
    file.close();
    QStringList menu = w.texts(w.recentFilesMenu);
    QCOMPARE(menu.mid(0, 2), (QStringList{paths[1], paths[0]}));
    QCOMPARE(w.recentFilesMenu->actions().last()->data().toString(), QStringLiteral("Clear Menu"));
    QCOMPARE(w.recentFilesMenu->actions().first()->data().toString(), paths[1]);

    // Playing a listed source changes nothing, not even the file.
    QFile::remove(dataRecentFile());
    w.playFile(paths[0]);
    QCOMPARE(w.recentFiles, (QStringList{paths[1], paths[0]}));
    QVERIFY(!QFile::exists(dataRecentFile()));

    for (int i = 2; i < 11; ++i)
        w.playFile(paths[i]);
    QCOMPARE(w.recentFiles.size(), 10);
    QCOMPARE(w.recentFiles.first(), paths[10]);
    QVERIFY(!w.recentFiles.contains(paths[0])); // the oldest was pushed out
    QCOMPARE(readRecentFiles(dataRecentFile()), w.recentFiles);
    QCOMPARE(w.recentFilesMenu->actions().size(), 11);
}

void PlaybackTest::failingEngineEndsPlayback_data() {
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<bool>("missingProgram");
    QTest::newRow("exits at once") << QByteArrayList{"@exit 0"} << false;
    QTest::newRow("exits with error") << QByteArrayList{"@exit 3"} << false;
    QTest::newRow("crashes") << QByteArrayList{"Playing x.", "@crash"} << false;
    QTest::newRow("dies later") << QByteArrayList{"@wait get_time_pos", "@exit 1"} << false;
    QTest::newRow("missing Player.exe") << QByteArrayList{} << true;
}

void PlaybackTest::failingEngineEndsPlayback() {
    QFETCH(QByteArrayList, script);
    QFETCH(bool, missingProgram);
    FakeEngine fake;
    fake.setScript(script);
    TestWindow w;
    if (missingProgram)
        w.setEnginePath(media.filePath("no-such-folder/Player.exe"));
    w.playFile(makeSource(media, "dies.mkv"));
    QTRY_VERIFY(!w.refreshTimer->isActive());
    QCOMPARE(w.pageStack->currentIndex(), 0);
    QVERIFY(w.isStopped);
    QVERIFY(!w.isPlaying);
    QVERIFY(w.playingSource.isEmpty());
    QVERIFY(!w.progressSlider->isEnabled());
    const qint64 clock = w.playClock;
    QTest::qWait(600); // one tick would have advanced a running clock
    QCOMPARE(w.playClock, clock);
    w.Snapshot(); // dropped without a running engine
    w.StopBtn();
}

void PlaybackTest::replacedEngineDoesNotDisturbSuccessor() {
    FakeEngine fake;
    TestWindow w;
    w.playFile(makeSource(media, "first.mkv"));
    QVERIFY(fake.waitForCommand("volume 50 2"));
    const QString second = makeSource(media, "second.mkv");
    w.playFile(second); // kills the first engine
    QVERIFY(fake.waitForCommand("volume 50 2", 2));
    const int polls = fake.count("get_time_pos");
    QVERIFY(fake.waitForCommand("get_time_pos", polls + 2));
    QCOMPARE(w.playingSource, second);
    QVERIFY(!w.isStopped);
    QVERIFY(w.isPlaying);
    QVERIFY(w.refreshTimer->isActive());
    QCOMPARE(w.pageStack->currentIndex(), 2);
    QVERIFY(w.engineRunning());
}

void PlaybackTest::missingSourceDoesNothing() {
    FakeEngine fake;
    TestWindow w;
    w.playFile(media.filePath("does not exist.mkv"));
    w.currentSource.clear();
    w.VideoPlay();
    QVERIFY(!w.engineProcess);
    QCOMPARE(w.pageStack->currentIndex(), 0);
    QVERIFY(w.recentFiles.isEmpty() || !w.recentFiles.contains(media.filePath("does not exist.mkv")));
}

void PlaybackTest::commandsWithoutEngineAreDropped() {
    TestWindow w;
    w.writeEngine("pause\n");
    w.pausePlayback();
    w.resumePlayback();
    w.StopBtn();
    QVERIFY(w.isStopped);
    w.Navigation();
    w.Snapshot();
    w.endEngine();
    QVERIFY(!w.engineProcess);
    QVERIFY(!w.refreshTimer->isActive());
    QCOMPARE(w.playPauseAction->text(), QStringLiteral("Play"));
}

QTEST_MAIN(PlaybackTest)
#include "tst_playback.moc"
