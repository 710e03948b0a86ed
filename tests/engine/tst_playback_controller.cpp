// The playback controller driving the fake engine, without any window: the
// start and its command order, states and their guards, the clock and the
// polls, seeking, volume, streams, the DVD length, snapshots, and engines
// that end, die or are replaced.

#include <QImageReader>
#include <QSignalSpy>
#include <QtTest>

#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "engine/EngineTestSupport.h"

KZP_TEMPORARY_HOME()

namespace {

template <typename T> T last(const QSignalSpy& spy, int argument = 0) {
    return spy.isEmpty() ? T() : spy.last().at(argument).value<T>();
}

QList<int> ints(const QSignalSpy& spy) {
    QList<int> values;
    for (const QList<QVariant>& call : spy)
        values << call.at(0).toInt();
    return values;
}

} // namespace

class PlaybackControllerTest : public QObject {
    Q_OBJECT

private slots:
    void startOrderAndReports();
    void missingSourceStartsNothing();
    void playAgainPausesThenResumes();
    void stopQuitsAndNothingResumes();
    void navigateShowsDiscOrStartPage_data();
    void navigateShowsDiscOrStartPage();
    void engineEndEndsPlayback_data();
    void engineEndEndsPlayback();
    void replacedEngineDoesNotDisturbSuccessor();
    void nothingPlayingOffersPlay_data();
    void nothingPlayingOffersPlay();
    void tickAdvancesClockAndAnswersPaceSlider();
    void sliderAndSecondSeeks();
    void forwardBackwardBounds_data();
    void forwardBackwardBounds();
    void volumeAndMute();
    void trackAndChannelChoices();
    void streamsAtVideoStart_data();
    void streamsAtVideoStart();
    void rememberedChoicesAtVideoStart();
    void dvdLengthFromFirstAnswer();
    void lengthAnsweredWhilePausedIsTakenOnResume();
    void snapshots();
    void awkwardSourcePaths_data();
    void awkwardSourcePaths();
    void engineRunsInItsFolder();
};

void PlaybackControllerTest::startOrderAndReports() {
    Rig rig;
    PlaybackController& c = rig.c;
    c.setWindowIdProvider([] { return quint64(4711); });
    c.setDataFolder(rig.data.path()); // the separator is added for the engine
    QSignalSpy states(&c, &PlaybackController::stateChanged);
    QSignalSpy started(&c, &PlaybackController::started);
    bool engineAtPreparing = true;
    connect(&c, &PlaybackController::preparingStart, this,
            [&] { engineAtPreparing = c.session()->hasEngine(); });

    c.setVolume(35); // no engine yet: remembered for the start
    c.setStartPosition(30);
    const QString source = rig.play("clip one.mkv", 100);
    QCOMPARE(c.playClockMs(), qint64(30000));
    QVERIFY(!engineAtPreparing); // menus and recent list are settled before the engine starts
    QVERIFY(rig.fake.waitForCommand("get_time_pos"));
    QCOMPARE(rig.fake.commands().mid(0, 4),
             (QList<QByteArray>{"volume 35 2", "seek 30 2", "get_time_length", "get_time_pos"}));
    const QStringList arguments = rig.fake.arguments();
    QCOMPARE(arguments.value(arguments.indexOf("-wid") + 1), QStringLiteral("4711"));
    QCOMPARE(arguments.value(arguments.indexOf("-vf") + 1), "screenshot=" + rig.data.path() + '/');
    QCOMPARE(arguments.last(), source);

    QCOMPARE(states.size(), 1);
    QCOMPARE(last<PlaybackState>(states), PlaybackState::Playing);
    QVERIFY(c.isPlaying() && !c.isStopped() && c.hasEngine());
    QCOMPARE(c.playingSource(), source);
    QCOMPARE(c.page(), Page::Video);
    QCOMPARE(last<QString>(started), source);
    QVERIFY(rig.timerActive());
}

void PlaybackControllerTest::missingSourceStartsNothing() {
    Rig rig;
    QSignalSpy states(&rig.c, &PlaybackController::stateChanged);
    QSignalSpy pages(&rig.c, &PlaybackController::pageChanged);
    rig.c.setCurrentSource(rig.media.filePath("does not exist.mkv"));
    rig.c.play();
    rig.c.setCurrentSource(QString());
    rig.c.play();
    QVERIFY(!rig.c.hasEngine());
    QVERIFY(states.isEmpty() && pages.isEmpty());
    QCOMPARE(rig.c.page(), Page::Start);
    QVERIFY(!rig.timerActive());
}

void PlaybackControllerTest::playAgainPausesThenResumes() {
    Rig rig;
    PlaybackController& c = rig.c;
    rig.play();
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    QProcess* engine = engineProcess(*c.session());

    c.play();
    QVERIFY(rig.fake.waitForCommand("pause"));
    QCOMPARE(c.state(), PlaybackState::Paused);
    QVERIFY(!rig.timerActive());
    QVERIFY(c.session()->isOutputPaused());

    const int sent = int(rig.fake.commands().size());
    const int lengthPolls = rig.fake.count("get_time_length");
    c.play();
    QCOMPARE(engineProcess(*c.session()), engine); // not restarted
    QCOMPARE(c.state(), PlaybackState::Playing);
    QVERIFY(rig.timerActive());
    QVERIFY(!c.session()->isOutputPaused());
    // Resuming sends nothing itself: the next poll is what wakes the engine.
    QVERIFY(rig.fake.waitForCommand("get_time_length", lengthPolls + 1));
    QCOMPARE(rig.fake.commands().value(sent), QByteArray("get_time_length"));
}

void PlaybackControllerTest::stopQuitsAndNothingResumes() {
    Rig rig;
    PlaybackController& c = rig.c;
    QSignalSpy stopped(&c, &PlaybackController::stopped);
    c.stop(); // no engine: no quit, but the window still settles
    QCOMPARE(stopped.size(), 1);
    QCOMPARE(c.state(), PlaybackState::Idle);

    const QString source = rig.play("stop.mkv", 100);
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    c.clickSeek(40);
    QProcess* first = engineProcess(*c.session());
    QSignalSpy elapsed(&c, &PlaybackController::elapsedTextChanged);
    QSignalSpy values(&c, &PlaybackController::sliderValueChanged);
    QSignalSpy enabled(&c, &PlaybackController::sliderEnabledChanged);
    QSignalSpy icons(&c, &PlaybackController::playIconChanged);
    QSignalSpy states(&c, &PlaybackController::stateChanged);

    // What the stop shows at once, before the engine can answer (its
    // "(Quit)" line may be read while the test waits for the command).
    c.stop();
    QCOMPARE(last<QString>(elapsed), QStringLiteral("00:00:00 "));
    QCOMPARE(c.state(), PlaybackState::Stopped);
    QVERIFY(c.playingSource().isEmpty());
    QCOMPARE(stopped.size(), 2);
    QCOMPARE(c.page(), Page::Start);
    QCOMPARE(last<int>(values), 0);
    QCOMPARE(last<bool>(enabled), false);
    QVERIFY(!rig.timerActive());
    QVERIFY(rig.fake.waitForCommand("q"));
    QVERIFY(c.hasEngine()); // kept until the next start
    // The engine's "(Quit)" answer ends playback for good (the stop itself
    // set the icon once).
    QTRY_VERIFY_WITH_TIMEOUT(icons.size() >= 2, 5000);
    QCOMPARE(last<bool>(icons), false);

    // Nothing after a stop resumes, seeks or moves the clock.
    states.clear();
    values.clear();
    const qint64 clock = c.playClockMs();
    c.pause();
    c.resume();
    c.sliderMoved(10);
    c.sliderReleased();
    c.clickSeek(20);
    c.seekForward();
    c.seekBackward();
    QVERIFY(states.isEmpty());
    QVERIFY(values.isEmpty());
    QCOMPARE(c.playClockMs(), clock);
    QVERIFY(!rig.timerActive());

    // Play again: a new engine for the same source.
    rig.fake.clearArguments();
    QPointer<QProcess> old(first);
    c.setCurrentSource(source);
    c.play();
    QVERIFY(old.isNull());
    QVERIFY(rig.fake.waitForStart());
    QCOMPARE(c.playingSource(), source);
    QCOMPARE(c.page(), Page::Video);
    QCOMPARE(c.state(), PlaybackState::Playing);
}

void PlaybackControllerTest::navigateShowsDiscOrStartPage_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<Page>("page");
    QTest::newRow("file") << SourceKind::File << Page::Start;
    QTest::newRow("dvd") << SourceKind::Dvd << Page::Start;
    QTest::newRow("bluray") << SourceKind::BluRay << Page::Disc;
}

void PlaybackControllerTest::navigateShowsDiscOrStartPage() {
    QFETCH(SourceKind, kind);
    QFETCH(Page, page);
    Rig rig;
    PlaybackController& c = rig.c;
    c.navigate(); // no engine: only the page
    QCOMPARE(c.state(), PlaybackState::Idle);
    rig.play("source", 100, kind);
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    QSignalSpy ended(c.session(), &EngineSession::ended);
    c.navigate();
    QVERIFY(rig.fake.waitForCommand("q"));
    QCOMPARE(c.state(), PlaybackState::Stopped);
    QVERIFY(c.playingSource().isEmpty());
    QVERIFY(!rig.timerActive());
    QCOMPARE(c.page(), page);
    // The quit's answer (perhaps read while the test waited for the quit)
    // must not take the disc page away.
    QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), 5000);
    QCOMPARE(c.page(), page);
    c.resume();
    QCOMPARE(c.state(), PlaybackState::Stopped);
}

void PlaybackControllerTest::engineEndEndsPlayback_data() {
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<bool>("missingProgram");
    QTest::newRow("end of file") << QByteArrayList{"Playing x.", "@wait get_time_pos", "",
                                                   "Exiting... (End of file)"}
                                 << false;
    QTest::newRow("exits at once") << QByteArrayList{"@exit 0"} << false;
    QTest::newRow("exits with error") << QByteArrayList{"@exit 3"} << false;
    QTest::newRow("crashes") << QByteArrayList{"Playing x.", "@crash"} << false;
    QTest::newRow("dies later") << QByteArrayList{"@wait get_time_pos", "@exit 1"} << false;
    QTest::newRow("missing Player.exe") << QByteArrayList{} << true;
}

void PlaybackControllerTest::engineEndEndsPlayback() {
    QFETCH(QByteArrayList, script);
    QFETCH(bool, missingProgram);
    Rig rig;
    PlaybackController& c = rig.c;
    rig.fake.setScript(script);
    if (missingProgram)
        c.setEngineProgram(rig.media.filePath("no-such-folder/Player.exe"));
    QSignalSpy stopped(&c, &PlaybackController::stopped);
    QSignalSpy values(&c, &PlaybackController::sliderValueChanged);
    QSignalSpy enabled(&c, &PlaybackController::sliderEnabledChanged);
    QSignalSpy elapsed(&c, &PlaybackController::elapsedTextChanged);
    QSignalSpy lengths(&c, &PlaybackController::lengthTextChanged);
    QSignalSpy icons(&c, &PlaybackController::playIconChanged);
    rig.play("end.mkv", 125);
    c.clickSeek(40);
    QVERIFY(stopped.wait(10000));
    QCOMPARE(c.state(), PlaybackState::Stopped);
    QCOMPARE(c.page(), Page::Start);
    QVERIFY(c.playingSource().isEmpty());
    QCOMPARE(last<int>(values), 0);
    QCOMPARE(last<bool>(enabled), false);
    QCOMPARE(last<QString>(elapsed), QStringLiteral("00:00:00 "));
    QCOMPARE(last<QString>(lengths), QStringLiteral(" 00:02:05"));
    QCOMPARE(last<bool>(icons), false);
    // No clock over a dead engine, and nothing brings it back.
    QVERIFY(!rig.timerActive());
    c.resume();
    c.seekForward();
    QCOMPARE(c.state(), PlaybackState::Stopped);
    QVERIFY(!rig.timerActive());
    if (script.contains("Exiting... (End of file)"))
        QVERIFY(rig.fake.waitForCommand("q")); // the end line is answered with a quit
    c.requestSnapshot();                       // dropped
    c.stop();
}

void PlaybackControllerTest::replacedEngineDoesNotDisturbSuccessor() {
    Rig rig;
    PlaybackController& c = rig.c;
    rig.play("first.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    QSignalSpy stopped(&c, &PlaybackController::stopped);
    QSignalSpy states(&c, &PlaybackController::stateChanged);
    const QString second = rig.play("second.mkv"); // kills the first engine
    QVERIFY(rig.fake.waitForCommand("volume 50 2", 2));
    const int polls = rig.fake.count("get_time_pos");
    QVERIFY(rig.fake.waitForCommand("get_time_pos", polls + 2));
    QVERIFY(stopped.isEmpty());
    QVERIFY(states.isEmpty()); // it was playing and still is
    QCOMPARE(c.playingSource(), second);
    QCOMPARE(c.page(), Page::Video);
    QVERIFY(rig.timerActive());
    QVERIFY(c.session()->isRunning());
}

void PlaybackControllerTest::nothingPlayingOffersPlay_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<SourceKind>("kind");
    const QByteArrayList answers{"@on get_time_pos => ANS_TIME_POSITION=1.0"};
    QTest::newRow("stop") << "stop" << answers << SourceKind::File;
    QTest::newRow("stop while paused") << "pause stop" << answers << SourceKind::File;
    QTest::newRow("end of file") << "" << QByteArrayList{"@wait get_time_pos", "Exiting... (End of file)"}
                                 << SourceKind::File;
    QTest::newRow("engine dies") << "" << QByteArrayList{"@wait get_time_pos", "@crash"} << SourceKind::Dvd;
    QTest::newRow("back to the disc page") << "navigate" << answers << SourceKind::BluRay;
    QTest::newRow("engine ended") << "end" << answers << SourceKind::File;
}

// Whatever ends playback, the play button and the play/pause entry offer
// Play, and Play starts the same source again.
void PlaybackControllerTest::nothingPlayingOffersPlay() {
    QFETCH(QString, how);
    QFETCH(QByteArrayList, script);
    QFETCH(SourceKind, kind);
    QList<QPair<QByteArray, QString>> entries; // outlives the controller, which reports to its end
    Rig rig;
    PlaybackController& c = rig.c;
    rig.fake.setScript(script);
    connect(&c, &PlaybackController::playPauseEntryChanged, this, [&](const char* key, const QString& data) {
        entries.append({key, data});
    });
    QSignalSpy icons(&c, &PlaybackController::playIconChanged);
    const QPair<QByteArray, QString> play{"MainWnd/Play", "Play"};

    const QString source = rig.play("again", 100, kind);
    QVERIFY(rig.fake.waitForCommand("get_time_pos"));
    if (how.contains("pause")) {
        c.pause();
        QCOMPARE(entries.last(), (QPair<QByteArray, QString>{"MainWnd/Resume", "Resume"}));
    }
    if (how.contains("stop"))
        c.stop();
    else if (how == "navigate")
        c.navigate();
    else if (how == "end")
        c.endEngine();
    QVERIFY(FakeEngine::waitUntil([&] { return c.isStopped(); }, 10000));
    QCOMPARE(entries.last(), play);
    QCOMPARE(last<bool>(icons), false);
    // The engine's own end (a quit's answer) leaves it so.
    if (c.hasEngine())
        QVERIFY(FakeEngine::waitUntil([&] { return !c.session()->isRunning(); }, 10000));
    QCoreApplication::processEvents();
    QCOMPARE(entries.last(), play);
    QCOMPARE(last<bool>(icons), false);
    QVERIFY(c.playingSource().isEmpty());

    // Play (the button, or Space on the entry) starts the current source again.
    entries.clear();
    rig.fake.clearArguments();
    c.play();
    QVERIFY(rig.fake.waitForStart());
    QCOMPARE(rig.fake.arguments().last(), source);
    QCOMPARE(c.state(), PlaybackState::Playing);
    QCOMPARE(c.playingSource(), source);
    QCOMPARE(entries, (QList<QPair<QByteArray, QString>>{{"MainWnd/Pause", "Pause"}}));
    QCOMPARE(last<bool>(icons), true);
}

void PlaybackControllerTest::tickAdvancesClockAndAnswersPaceSlider() {
    Rig rig;
    PlaybackController& c = rig.c;
    c.tick(); // no engine: nothing
    QCOMPARE(c.playClockMs(), qint64(0));
    // Answers that disagree with the player's clock: the clock is what shows.
    rig.fake.setScript({"@silent", "@on get_time_pos => ANS_TIME_POSITION=7.0"});
    c.setStartPosition(42);
    rig.play("tick.mkv", 1000);
    refreshTimer(c)->stop(); // the ticks below are the only ones
    QSignalSpy answers(c.session(), &EngineSession::positionAnswered);
    QSignalSpy values(&c, &PlaybackController::sliderValueChanged);
    auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i)
            c.tick();
        const int expected = int(answers.size()) + n;
        return FakeEngine::waitUntil([&] { return answers.size() == expected; });
    };
    QVERIFY(ticks(4));
    QCOMPARE(c.playClockMs(), qint64(42000 + 4 * 507));
    QCOMPARE(c.currentSecond(), qint64(44));
    QVERIFY(values.isEmpty());
    QVERIFY(ticks(1)); // every fifth answer moves the slider
    QCOMPARE(ints(values), QList<int>{44});
    QVERIFY(ticks(3));
    // A held handle stays in the hand: moved, the window's slider would
    // report the playing second as the place to seek to.
    c.sliderPressed();
    c.sliderMoved(100);
    QVERIFY(ticks(6));
    QCOMPARE(ints(values), QList<int>{44});
    c.sliderReleased(); // the count starts again from the seek
    QVERIFY(ticks(4));
    QCOMPARE(ints(values), (QList<int>{44, 100}));
    QVERIFY(ticks(1));
    QCOMPARE(ints(values), (QList<int>{44, 100, 102}));
    auto polls = [](int n) {
        QList<QByteArray> list;
        for (int i = 0; i < n; ++i)
            list << "get_time_length"
                 << "get_time_pos";
        return list;
    };
    QCOMPARE(rig.fake.commands(),
             (QList<QByteArray>{"volume 50 2", "seek 42 2"} << polls(14) << "seek 100 2" << polls(5)));
}

void PlaybackControllerTest::sliderAndSecondSeeks() {
    Rig rig;
    PlaybackController& c = rig.c;
    c.seekToSecond(300); // no engine: nothing
    QCOMPARE(c.state(), PlaybackState::Idle);
    rig.play("seek.mkv", 4000);
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    QSignalSpy values(&c, &PlaybackController::sliderValueChanged);
    QSignalSpy elapsed(&c, &PlaybackController::elapsedTextChanged);

    c.pause();
    c.sliderPressed();
    c.sliderMoved(3725);
    c.sliderReleased();
    QVERIFY(rig.fake.waitForCommand("seek 3725 2"));
    QCOMPARE(last<int>(values), 3725);
    QCOMPARE(c.playClockMs(), qint64(3725000));
    QCOMPARE(c.currentSecond(), qint64(3725));
    QCOMPARE(last<QString>(elapsed), QStringLiteral("01:02:05"));
    QCOMPARE(c.state(), PlaybackState::Playing); // seeking resumes
    QVERIFY(rig.timerActive());

    c.sliderMoved(-5); // dragged before the start
    c.sliderReleased();
    c.sliderMoved(5000); // past the end: the handle stops there, the seek does not
    c.sliderReleased();
    QCOMPARE(last<int>(values), 4000);
    QCOMPARE(last<QString>(elapsed), QStringLiteral("01:23:20"));
    c.clickSeek(75);
    QCOMPARE(last<int>(values), 75);
    c.pause();
    c.seekToSecond(300);
    QCOMPARE(c.playClockMs(), qint64(300000));
    QCOMPARE(c.state(), PlaybackState::Playing);
    QVERIFY(rig.roundTrip());
    QCOMPARE(withoutPolls(rig.fake.commands()).mid(0, 8),
             (QList<QByteArray>{"volume 50 2", "pause", "seek 3725 2", "seek 0 2", "seek 5000 2", "seek 75 2",
                                "pause", "seek 300 2"}));
}

void PlaybackControllerTest::forwardBackwardBounds_data() {
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

void PlaybackControllerTest::forwardBackwardBounds() {
    QFETCH(qint64, length);
    QFETCH(int, position);
    QFETCH(bool, forward);
    QFETCH(QByteArray, command);
    Rig rig;
    PlaybackController& c = rig.c;
    c.seekForward(); // no engine: nothing
    c.seekBackward();
    QCOMPARE(c.state(), PlaybackState::Idle);
    rig.play("bounds.mkv", length);
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    c.pause();
    c.sliderMoved(position); // the handle where playback is
    forward ? c.seekForward() : c.seekBackward();
    QVERIFY(rig.roundTrip());
    QCOMPARE(withoutPolls(rig.fake.commands()).mid(0, 3),
             (QList<QByteArray>{"volume 50 2", "pause", command}));
    QCOMPARE(c.state(), PlaybackState::Playing);
}

void PlaybackControllerTest::volumeAndMute() {
    Rig rig;
    PlaybackController& c = rig.c;
    QSignalSpy volumes(&c, &PlaybackController::volumeChanged);
    c.setVolume(-3); // no engine: only reported
    QCOMPARE(c.volume(), 0);
    QVERIFY(c.isMuted());
    c.toggleMute();
    QVERIFY(!c.isMuted());
    rig.play("volume.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    c.setVolume(80);
    c.setVolume(0);
    QVERIFY(c.isMuted());
    c.toggleMute(); // unmuting restores 50, not the volume before the mute
    c.toggleMute();
    QVERIFY(rig.fake.waitForCommand("volume 0 100"));
    QList<QByteArray> sent;
    for (const QByteArray& command : rig.fake.commands())
        if (command.contains("volume"))
            sent << command;
    QCOMPARE(sent, (QList<QByteArray>{"volume 50 2", "pausing_keep volume 80 100",
                                      "pausing_keep volume 0 100", "volume 50 100", "volume 0 100"}));
    QStringList reported;
    for (const QList<QVariant>& call : volumes)
        reported << QString::number(call.at(0).toInt()) + (call.at(1).toBool() ? " muted" : "");
    QCOMPARE(reported, (QStringList{"0 muted", "50", "80", "0 muted", "50", "0 muted"}));
}

void PlaybackControllerTest::trackAndChannelChoices() {
    Rig rig;
    PlaybackController& c = rig.c;
    // Without an engine a choice is refused: the menus must not check it.
    QVERIFY(!c.chooseAudio(2));
    QVERIFY(!c.chooseSubtitle(1));
    QVERIFY(!c.chooseChannel(AudioChannel::Left));
    rig.play("tracks.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    QVERIFY(c.chooseAudio(0));
    QVERIFY(c.chooseAudio(3));
    QVERIFY(c.chooseSubtitle(0));
    QVERIFY(c.chooseSubtitle(2));
    QVERIFY(c.chooseChannel(AudioChannel::Left));
    QVERIFY(c.chooseChannel(AudioChannel::Right));
    QVERIFY(c.chooseChannel(AudioChannel::Stereo));
    QVERIFY(rig.roundTrip());
    QCOMPARE(withoutPolls(rig.fake.commands()).mid(0, 8),
             (QList<QByteArray>{"volume 50 2", "pausing_keep switch_audio -2", "pausing_keep switch_audio 2",
                                "pausing_keep sub_demux -1", "pausing_keep sub_demux 1",
                                "pausing_keep balance -1 1", "pausing_keep balance 1 1",
                                "pausing_keep balance 0 1"}));
}

void PlaybackControllerTest::streamsAtVideoStart_data() {
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<int>("audioEntries"); // what the audio menu holds before
    QTest::addColumn<QList<int>>("audio");
    QTest::addColumn<QList<int>>("subtitles");
    const QByteArray a = "[lavf] stream 1: audio (aac), -aid 0, -alang eng, English";
    const QByteArray s = "[lavf] stream 3: subtitle (srt), -sid 0, -slang eng, English subs";
    const QByteArray v = "VIDEO:  [H264]  320x240  0bpp  25.000 fps";
    QTest::newRow("three audio") << QByteArrayList{"Playing x.", a, a, a, v} << 0 << QList<int>{3}
                                 << QList<int>{};
    QTest::newRow("audio after subtitle not counted")
        << QByteArrayList{"Playing x.", a, s, a, v} << 0 << QList<int>{1} << QList<int>{1};
    QTest::newRow("Playing starts the count again")
        << QByteArrayList{a, a, s, "Playing y.", a, v} << 0 << QList<int>{1} << QList<int>{};
    QTest::newRow("menu of matching size kept")
        << QByteArrayList{"Playing x.", a, v} << 2 << QList<int>{} << QList<int>{};
    QTest::newRow("second video start keeps the rebuilt menu")
        << QByteArrayList{"Playing x.", a, a, v, v} << 0 << QList<int>{2} << QList<int>{};
    QTest::newRow("capped at 100") << QByteArrayList{"@repeat 150 " + a + "\\n", "@repeat 150 " + s + "\\n",
                                                     v}
                                   << 0 << QList<int>{100} << QList<int>{100};
}

void PlaybackControllerTest::streamsAtVideoStart() {
    QFETCH(QByteArrayList, lines);
    QFETCH(int, audioEntries);
    QFETCH(QList<int>, audio);
    QFETCH(QList<int>, subtitles);
    Rig rig;
    PlaybackController& c = rig.c;
    rig.fake.setScript(lines << "ANS_LENGTH=33.00");
    c.setTrackMenuSizes(audioEntries, 0);
    QSignalSpy audioRebuilt(&c, &PlaybackController::audioTracksRebuilt);
    QSignalSpy subtitlesRebuilt(&c, &PlaybackController::subtitleTracksRebuilt);
    QSignalSpy lengths(c.session(), &EngineSession::lengthAnswered);
    rig.play("streams.mkv");
    QVERIFY(FakeEngine::waitUntil(
        [&] { return !lengths.isEmpty() && lengths.first().at(0).toLongLong() == 33; }));
    QVERIFY(rig.roundTrip());
    QCOMPARE(ints(audioRebuilt), audio);
    QCOMPARE(ints(subtitlesRebuilt), subtitles);
    // The first stream of a rebuilt audio menu is switched on.
    QCOMPARE(rig.fake.count("pausing_keep switch_audio 0"), int(audio.size()));
}

void PlaybackControllerTest::rememberedChoicesAtVideoStart() {
    Rig rig;
    PlaybackController& c = rig.c;
    rig.fake.setScript({"[lavf] stream 1: audio (aac), -aid 0", "[lavf] stream 2: audio (aac), -aid 1",
                        "[lavf] stream 3: subtitle (srt), -sid 0", "VIDEO:  [H264]", "ANS_LENGTH=33.00"});
    // A disc title whose menus were built beforehand with the matching sizes.
    c.setTrackMenuSizes(3, 2);
    TitleChoice choice;
    choice.hasTitle = true;
    choice.title = 1;
    choice.audioChoice = 2;
    choice.subtitleChoice = 1;
    c.setTitleChoice(choice);
    QSignalSpy audioChecked(&c, &PlaybackController::audioTrackChecked);
    QSignalSpy subtitleChecked(&c, &PlaybackController::subtitleTrackChecked);
    QSignalSpy audioRebuilt(&c, &PlaybackController::audioTracksRebuilt);
    QSignalSpy lengths(c.session(), &EngineSession::lengthAnswered);
    rig.play("remembered.mkv");
    QVERIFY(lengths.wait(5000));
    QVERIFY(rig.roundTrip());
    QCOMPARE(withoutPolls(rig.fake.commands()).mid(0, 3),
             (QList<QByteArray>{"volume 50 2", "sub_demux 0", "switch_audio 1"}));
    QCOMPARE(ints(audioChecked), QList<int>{2});
    QCOMPARE(ints(subtitleChecked), QList<int>{1});
    QVERIFY(audioRebuilt.isEmpty());
    QCOMPARE(rig.fake.count("pausing_keep switch_audio 0"), 0);

    // Without a remembered choice nothing is applied.
    rig.fake.clearCommands();
    c.setTitleChoice(TitleChoice());
    lengths.clear();
    rig.play("other.mkv");
    QVERIFY(lengths.wait(5000));
    QVERIFY(rig.roundTrip());
    QCOMPARE(rig.fake.count("switch_audio 1") + rig.fake.count("sub_demux 0"), 0);
    QCOMPARE(ints(audioChecked), QList<int>{2});
}

void PlaybackControllerTest::dvdLengthFromFirstAnswer() {
    Rig rig;
    PlaybackController& c = rig.c;
    rig.fake.setScript({"@silent", "@wait a", "ANS_LENGTH=abc", "@wait b", "ANS_LENGTH=5400.02", "@wait c",
                        "ANS_LENGTH=10.00"});
    rig.play("VIDEO_TS", 0, SourceKind::Dvd);
    c.clickSeek(3725); // the clock the texts show
    QSignalSpy answers(c.session(), &EngineSession::lengthAnswered);
    QSignalSpy ranges(&c, &PlaybackController::sliderRangeChanged);
    QSignalSpy elapsed(&c, &PlaybackController::elapsedTextChanged);
    QSignalSpy lengths(&c, &PlaybackController::lengthTextChanged);
    c.send("a\n");
    QVERIFY(answers.wait(5000));
    QCOMPARE(c.mediaLength(), qint64(0)); // no number: still unknown
    c.send("b\n");
    QVERIFY(answers.wait(5000));
    QCOMPARE(c.mediaLength(), qint64(5400));
    QCOMPARE(last<int>(ranges), 5400);
    QCOMPARE(last<QString>(elapsed), QStringLiteral("01:02:05 "));
    QCOMPARE(last<QString>(lengths), QStringLiteral(" 01:30:00"));
    const qsizetype rangesSet = ranges.size();
    c.send("c\n");
    QVERIFY(answers.wait(5000));
    QCOMPARE(c.mediaLength(), qint64(5400)); // known now: later answers change nothing
    QCOMPARE(ranges.size(), rangesSet);

    // Files keep the probe's length.
    Rig file;
    file.fake.setScript({"@silent", "ANS_LENGTH=99.00"});
    QSignalSpy fileLengths(&file.c, &PlaybackController::lengthTextChanged);
    file.play("file.mkv", 0);
    QVERIFY(fileLengths.wait(5000));
    QCOMPARE(file.c.mediaLength(), qint64(0));
    QCOMPARE(last<QString>(fileLengths), QStringLiteral(" 00:00:00"));
}

void PlaybackControllerTest::lengthAnsweredWhilePausedIsTakenOnResume() {
    Rig rig;
    PlaybackController& c = rig.c;
    rig.fake.setScript({"@silent", "@once pause => ANS_LENGTH=55.00"});
    rig.play("VIDEO_TS", 0, SourceKind::Dvd);
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    c.pause();
    QVERIFY(FakeEngine::waitUntil([&] { return engineProcess(*c.session())->bytesAvailable() > 0; }));
    QCoreApplication::processEvents();
    QCOMPARE(c.mediaLength(), qint64(0));
    QSignalSpy ranges(&c, &PlaybackController::sliderRangeChanged);
    c.resume();
    QVERIFY(ranges.wait(5000));
    QCOMPARE(c.mediaLength(), qint64(55));
    QCOMPARE(ints(ranges), QList<int>{55});
}

void PlaybackControllerTest::snapshots() {
    Rig rig;
    PlaybackController& c = rig.c;
    c.requestSnapshot();                                // no engine: nothing
    const QString target = rig.data.filePath("shots/"); // missing: made on demand
    QVERIFY(writeOutputPath(c.dataFolderPath(), target));
    rig.play("snap.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    QSignalSpy saved(&c, &PlaybackController::snapshotSaved);
    for (const QString format : {"JPG", "PNG"}) {
        c.setSnapshotFormat(format);
        c.requestSnapshot();
        QVERIFY(saved.wait(5000));
        const QFileInfo file(last<QString>(saved));
        QCOMPARE(file.absoluteDir().canonicalPath(), QDir(target).canonicalPath());
        QVERIFY2(isSnapshotName(file.fileName(), format), qPrintable(file.fileName()));
        QImageReader reader(file.filePath());
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format == "JPG" ? QByteArray("jpeg") : QByteArray("png"));
        QCOMPARE(reader.read().size(), QSize(64, 48));
        // The engine's own file is gone once the copy is safe.
        QVERIFY(QDir(rig.data.path()).entryList({"0*.png"}, QDir::Files).isEmpty());
    }
    QCOMPARE(rig.fake.count("screenshot 0"), 2);
}

void PlaybackControllerTest::awkwardSourcePaths_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<QString>("lastArgument");
    QTest::newRow("spaces") << "a  b c.mkv" << false << QString();
    QTest::newRow("quotes") << "it's \"x\" `y` $HOME.mkv" << false << QString();
    QTest::newRow("non-ASCII") << QString::fromUtf8("Fête à Zürich 東京.mkv") << false << QString();
    QTest::newRow("leading dash") << "-vo null.mkv" << true << "./-vo null.mkv";
}

void PlaybackControllerTest::awkwardSourcePaths() {
    QFETCH(QString, name);
    QFETCH(bool, relative);
    QFETCH(QString, lastArgument);
    Rig rig;
    const QString path = makeSource(rig.media, name);
    const QString previous = QDir::currentPath();
    if (relative)
        QDir::setCurrent(rig.media.path());
    rig.c.setSourceKind(SourceKind::File);
    rig.c.setCurrentSource(relative ? name : path);
    rig.c.play();
    QDir::setCurrent(previous);
    QVERIFY(rig.fake.waitForStart());
    const QStringList arguments = rig.fake.arguments();
    QCOMPARE(arguments.size(), 16);
    QCOMPARE(arguments.last(), relative ? lastArgument : path);
    QCOMPARE(arguments.mid(7, 2), (QStringList{"-vo", "direct3d"}));
}

void PlaybackControllerTest::engineRunsInItsFolder() {
    Rig rig;
    PlaybackController& c = rig.c;
    const QString folder = rig.media.filePath("BDMV/STREAM");
    QVERIFY(QDir().mkpath(folder));
    c.setEngineFolder(folder);
    c.setEngineFolder(rig.media.filePath("missing")); // leaves the one before in force
    QCOMPARE(c.engineFolder(), folder);
    rig.play("folder.mkv");
    QVERIFY(rig.fake.waitForStart());
    const qint64 pid = engineProcess(*c.session())->processId();
    QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).canonicalFilePath(),
             QFileInfo(folder).canonicalFilePath());
}

QTEST_GUILESS_MAIN(PlaybackControllerTest)
#include "tst_playback_controller.moc"
