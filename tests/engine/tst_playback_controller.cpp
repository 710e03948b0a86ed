// The playback controller against a fake of the engine interface, without
// any window or process: what a start asks of the engine, the states and
// their guards, the one end of every playback, sources that carry nothing
// over, the clock and the slider, seeking, volume, streams, the DVD length
// and saving snapshots. What the intents become on MPlayer's wire is
// tst_mplayer_engine's concern.

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QSignalSpy>
#include <QtTest>

#include "common/IntentEngine.h"
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

// A controller driving the fake engine, with its own media and data folders.
struct FakeRig {
    QTemporaryDir media;
    QTemporaryDir data;
    PlaybackController c;
    IntentEngine* engine = IntentEngine::install(c);

    FakeRig() { c.setDataFolder(data.path() + '/'); }
    Source source(const QString& name, qint64 length = 100, SourceKind kind = SourceKind::File) {
        const QString path = media.filePath(name);
        if (kind == SourceKind::File)
            makeSource(media, name);
        else
            QDir().mkpath(path);
        return sourceAt(path, kind, length);
    }
    QString play(const QString& name = QStringLiteral("clip.mkv"), qint64 length = 100,
                 SourceKind kind = SourceKind::File) {
        const Source s = source(name, length, kind);
        c.open(s, OpenMode::PauseOrResume);
        return s.path;
    }
    bool timerActive() const { return refreshTimer(c)->isActive(); }
};

} // namespace

class PlaybackControllerTest : public QObject {
    Q_OBJECT

private slots:
    void startAndPlayAgain();
    void missingSourceStartsNothing();
    void everyEndOnce_data();
    void everyEndOnce();
    void sourcesCarryNothingOver();
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
    void snapshotsSaved();
};

void PlaybackControllerTest::startAndPlayAgain() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    c.setWindowIdProvider([] { return quint64(4711); });
    QSignalSpy states(&c, &PlaybackController::stateChanged);
    QSignalSpy started(&c, &PlaybackController::started);
    bool engineAtPreparing = true;
    connect(&c, &PlaybackController::preparingStart, this, [&] { engineAtPreparing = c.hasEngine(); });

    c.setVolume(35); // no engine yet: remembered for the start
    Source source = rig.source("clip one.mkv");
    source.startSecond = 30;
    c.open(source, OpenMode::PauseOrResume);
    QCOMPARE(rig.engine->take(), QStringList{"start clip one.mkv volume 35 from 30"});
    QCOMPARE(c.playClockMs(), qint64(30000));
    QVERIFY(!engineAtPreparing); // menus and recent list are settled before the engine starts
    QCOMPARE(rig.engine->lastStart.windowId, quint64(4711));
    QCOMPARE(rig.engine->lastStart.shotFolder, rig.data.path() + '/');
    QCOMPARE(ints(states), QList<int>{int(PlaybackState::Playing)});
    QCOMPARE(c.playingSource().path, source.path);
    QCOMPARE(c.page(), Page::Video);
    QCOMPARE(last<QString>(started), source.path);
    QVERIFY(rig.timerActive());

    // The same path again pauses, then resumes the same engine.
    c.play();
    QCOMPARE(c.state(), PlaybackState::Paused);
    QVERIFY(!rig.timerActive());
    c.open(source, OpenMode::PauseOrResume);
    QCOMPARE(c.state(), PlaybackState::Playing);
    QVERIFY(rig.timerActive());
    // Anew starts it again from its own start.
    c.open(source, OpenMode::Anew);
    QCOMPARE(rig.engine->take(),
             (QStringList{"pause", "resume", "discard", "start clip one.mkv volume 35 from 30"}));
}

void PlaybackControllerTest::missingSourceStartsNothing() {
    FakeRig rig;
    QSignalSpy states(&rig.c, &PlaybackController::stateChanged);
    QSignalSpy pages(&rig.c, &PlaybackController::pageChanged);
    rig.c.open(sourceAt(rig.media.filePath("does not exist.mkv")), OpenMode::Anew);
    rig.c.open(Source(), OpenMode::PauseOrResume);
    QVERIFY(rig.engine->intents.isEmpty());
    QVERIFY(states.isEmpty() && pages.isEmpty());
    QVERIFY(!rig.timerActive());
}

void PlaybackControllerTest::everyEndOnce_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<EndReason>("reason");
    QTest::addColumn<QString>("engineIntent");
    QTest::addColumn<Page>("page");
    QTest::newRow("stop") << "stop" << SourceKind::File << EndReason::Stopped << "quit" << Page::Start;
    QTest::newRow("stop while paused")
        << "pause stop" << SourceKind::File << EndReason::Stopped << "quit" << Page::Start;
    QTest::newRow("end of file") << "eof" << SourceKind::File << EndReason::EndOfFile << "quit"
                                 << Page::Start;
    QTest::newRow("engine dies") << "dies" << SourceKind::Dvd << EndReason::EngineFailed << "quit"
                                 << Page::Start;
    QTest::newRow("back from a file")
        << "navigate" << SourceKind::File << EndReason::Navigated << "quit" << Page::Start;
    QTest::newRow("back to the disc page")
        << "navigate" << SourceKind::BluRay << EndReason::Navigated << "quit" << Page::Disc;
    QTest::newRow("window closes") << "close" << SourceKind::File << EndReason::Closed << "end"
                                   << Page::Start;
}

// However a playback ends, it ends once: the engine goes as the reason asks,
// the clock stops, the display is reset and Play offers the same source anew.
void PlaybackControllerTest::everyEndOnce() {
    QFETCH(QString, how);
    QFETCH(SourceKind, kind);
    QFETCH(EndReason, reason);
    QFETCH(QString, engineIntent);
    QFETCH(Page, page);
    FakeRig rig;
    PlaybackController& c = rig.c;
    const QString path = rig.play("end", 125, kind);
    c.clickSeek(40);
    rig.engine->take();
    QSignalSpy ended(&c, &PlaybackController::ended);
    QSignalSpy values(&c, &PlaybackController::sliderValueChanged);
    QSignalSpy enabled(&c, &PlaybackController::sliderEnabledChanged);
    QSignalSpy elapsed(&c, &PlaybackController::elapsedTextChanged);
    QSignalSpy lengths(&c, &PlaybackController::lengthTextChanged);

    if (how.contains("pause"))
        c.pause();
    if (how.contains("stop"))
        c.stop();
    else if (how == "eof")
        emit rig.engine->ended(true);
    else if (how == "dies")
        emit rig.engine->ended(false);
    else if (how == "navigate")
        c.navigate();
    else if (how == "close")
        c.endEngine();
    // The engine's own end after a quit, or a second report, ends nothing more.
    emit rig.engine->ended(true);
    c.stop();

    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().at(0).value<Source>().path, path);
    QCOMPARE(ended.first().at(1).toLongLong(), qint64(40));
    QCOMPARE(ended.first().at(2).value<EndReason>(), reason);
    QVERIFY(rig.engine->take().contains(engineIntent));
    QCOMPARE(c.state(), reason == EndReason::Closed ? PlaybackState::Idle : PlaybackState::Stopped);
    QCOMPARE(c.page(), page);
    QVERIFY(c.playingSource().path.isEmpty());
    QCOMPARE(last<int>(values), 0);
    QCOMPARE(last<bool>(enabled), false);
    QCOMPARE(last<QString>(elapsed), QStringLiteral("00:00:00 "));
    QCOMPARE(last<QString>(lengths), QStringLiteral(" 00:02:05"));

    // Nothing after the end resumes, seeks or moves the clock.
    c.pause();
    c.resume();
    c.clickSeek(20);
    c.seekForward();
    c.requestSnapshot();
    QVERIFY(!rig.timerActive());
    QVERIFY(c.isStopped());
    QCOMPARE(rig.engine->take(), QStringList());

    // Play starts the same source anew.
    c.play();
    QCOMPARE(rig.engine->take().last(), QStringLiteral("start end volume 50 from 0"));
    QCOMPARE(c.state(), PlaybackState::Playing);
}

// A disc title's chapter and stream choices belong to that title: a file
// opened next starts at 0 with the engine's own choices. The folder the
// engine runs in stays, as a working folder does.
void PlaybackControllerTest::sourcesCarryNothingOver() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    QSignalSpy ended(&c, &PlaybackController::ended);
    Source title = rig.source("DISC", 7200, SourceKind::BluRay);
    title.titleKey = title.path + "/BDMV/PLAYLIST/00001.mpls";
    title.titleChosen = true;
    title.startSecond = 1200;
    title.audioChoice = 2;
    title.subtitleChoice = 1;
    title.engineFolder = rig.media.path();
    c.open(title, OpenMode::Anew);
    c.open(rig.source("next.mkv", 60), OpenMode::PauseOrResume);
    emit rig.engine->videoStarted();
    QCOMPARE(rig.engine->take(),
             (QStringList{"start DISC volume 50 from 1200", "discard", "start next.mkv volume 50 from 0"}));
    QCOMPARE(c.playClockMs(), qint64(0));
    QVERIFY(!rig.engine->lastStart.source.titleChosen);
    QCOMPARE(rig.engine->lastStart.workingFolder, rig.media.path());
    QCOMPARE(last<EndReason>(ended, 2), EndReason::Replaced);
    QCOMPARE(c.page(), Page::Video);
}

void PlaybackControllerTest::tickAdvancesClockAndAnswersPaceSlider() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    c.tick(); // no engine: nothing
    QCOMPARE(c.playClockMs(), qint64(0));
    Source source = rig.source("tick.mkv", 1000);
    source.startSecond = 42;
    c.open(source, OpenMode::Anew);
    QSignalSpy values(&c, &PlaybackController::sliderValueChanged);
    // Answers only pace the display: the clock is what shows.
    auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) {
            c.tick();
            emit rig.engine->positionAnswered();
        }
    };
    ticks(4);
    QCOMPARE(c.playClockMs(), qint64(42000 + 4 * 507));
    QCOMPARE(c.currentSecond(), qint64(44));
    QVERIFY(values.isEmpty());
    ticks(1); // every fifth answer moves the slider
    QCOMPARE(ints(values), QList<int>{44});
    ticks(3);
    // A held handle stays in the hand: moved, the window's slider would
    // report the playing second as the place to seek to.
    c.sliderPressed();
    c.sliderMoved(100);
    ticks(6);
    QCOMPARE(ints(values), QList<int>{44});
    c.sliderReleased(); // the count starts again from the seek
    ticks(4);
    QCOMPARE(ints(values), (QList<int>{44, 100}));
    ticks(1);
    QCOMPARE(ints(values), (QList<int>{44, 100, 102}));
    QCOMPARE(rig.engine->intents.count("times"), 19);
}

void PlaybackControllerTest::sliderAndSecondSeeks() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    c.seekToSecond(300); // no engine: nothing
    QCOMPARE(c.state(), PlaybackState::Idle);
    rig.play("seek.mkv", 4000);
    rig.engine->take();
    QSignalSpy values(&c, &PlaybackController::sliderValueChanged);
    QSignalSpy elapsed(&c, &PlaybackController::elapsedTextChanged);

    c.pause();
    c.sliderPressed();
    c.sliderMoved(3725);
    c.sliderReleased();
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
    QCOMPARE(rig.engine->take(), (QStringList{"pause", "seek 3725", "resume", "seek 0", "resume", "seek 5000",
                                              "resume", "seek 75", "resume", "pause", "resume", "seek 300"}));
}

void PlaybackControllerTest::forwardBackwardBounds_data() {
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<QString>("seek");
    QTest::newRow("forward") << qint64(600) << 100 << true << "seek 160";
    QTest::newRow("forward near end") << qint64(100) << 50 << true << "seek 96";
    QTest::newRow("forward to exact end") << qint64(160) << 100 << true << "seek 160";
    QTest::newRow("forward short source") << qint64(3) << 0 << true << "seek 0";
    QTest::newRow("forward unknown length") << qint64(0) << 0 << true << "seek 0";
    QTest::newRow("backward") << qint64(600) << 90 << false << "seek 30";
    QTest::newRow("backward near start") << qint64(600) << 20 << false << "seek 0";
}

void PlaybackControllerTest::forwardBackwardBounds() {
    QFETCH(qint64, length);
    QFETCH(int, position);
    QFETCH(bool, forward);
    QFETCH(QString, seek);
    FakeRig rig;
    PlaybackController& c = rig.c;
    c.seekForward(); // no engine: nothing
    c.seekBackward();
    QCOMPARE(c.state(), PlaybackState::Idle);
    rig.play("bounds.mkv", length);
    c.pause();
    rig.engine->take();
    c.sliderMoved(position); // the handle where playback is
    forward ? c.seekForward() : c.seekBackward();
    QVERIFY(rig.engine->take().contains(seek));
    QCOMPARE(c.state(), PlaybackState::Playing);
}

void PlaybackControllerTest::volumeAndMute() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    QSignalSpy volumes(&c, &PlaybackController::volumeChanged);
    c.setVolume(-3); // no engine: only reported
    QCOMPARE(c.volume(), 0);
    QVERIFY(c.isMuted());
    c.toggleMute();
    QVERIFY(!c.isMuted());
    rig.play("volume.mkv");
    c.setVolume(80);
    c.setVolume(0);
    QVERIFY(c.isMuted());
    c.toggleMute(); // unmuting restores 50, not the volume before the mute
    c.toggleMute();
    QCOMPARE(rig.engine->take(), (QStringList{"start volume.mkv volume 50 from 0", "volume 80 keeping pause",
                                              "volume 0 keeping pause", "volume 50", "volume 0"}));
    QStringList reported;
    for (const QList<QVariant>& call : volumes)
        reported << QString::number(call.at(0).toInt()) + (call.at(1).toBool() ? " muted" : "");
    QCOMPARE(reported, (QStringList{"0 muted", "50", "80", "0 muted", "50", "0 muted"}));
}

void PlaybackControllerTest::trackAndChannelChoices() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    // Without an engine a choice is refused: the menus must not check it.
    QVERIFY(!c.chooseAudio(2));
    QVERIFY(!c.chooseSubtitle(1));
    QVERIFY(!c.chooseChannel(AudioChannel::Left));
    rig.play("tracks.mkv");
    rig.engine->take();
    QVERIFY(c.chooseAudio(0));
    QVERIFY(c.chooseAudio(3));
    QVERIFY(c.chooseSubtitle(0));
    QVERIFY(c.chooseSubtitle(2));
    QVERIFY(c.chooseChannel(AudioChannel::Left));
    QVERIFY(c.chooseChannel(AudioChannel::Right));
    QVERIFY(c.chooseChannel(AudioChannel::Stereo));
    QCOMPARE(rig.engine->take(),
             (QStringList{"audio -2 keeping pause", "audio 2 keeping pause", "subtitle -1 keeping pause",
                          "subtitle 1 keeping pause", "channel left", "channel right", "channel stereo"}));
}

void PlaybackControllerTest::streamsAtVideoStart_data() {
    // The engine's reports in order: P playing, a audio stream, s subtitle
    // stream, V video start.
    QTest::addColumn<QString>("reports");
    QTest::addColumn<int>("audioEntries"); // what the audio menu holds before
    QTest::addColumn<QList<int>>("audio");
    QTest::addColumn<QList<int>>("subtitles");
    QTest::newRow("three audio") << "PaaaV" << 0 << QList<int>{3} << QList<int>{};
    QTest::newRow("audio after subtitle not counted") << "PasaV" << 0 << QList<int>{1} << QList<int>{1};
    QTest::newRow("Playing starts the count again") << "aasPaV" << 0 << QList<int>{1} << QList<int>{};
    QTest::newRow("menu of matching size kept") << "PaV" << 2 << QList<int>{} << QList<int>{};
    QTest::newRow("second video start keeps the rebuilt menu")
        << "PaaVV" << 0 << QList<int>{2} << QList<int>{};
    QTest::newRow("capped at 100") << QString(150, 'a') + QString(150, 's') + "V" << 0 << QList<int>{100}
                                   << QList<int>{100};
}

void PlaybackControllerTest::streamsAtVideoStart() {
    QFETCH(QString, reports);
    QFETCH(int, audioEntries);
    QFETCH(QList<int>, audio);
    QFETCH(QList<int>, subtitles);
    FakeRig rig;
    PlaybackController& c = rig.c;
    c.setTrackMenuSizes(audioEntries, 0);
    QSignalSpy audioRebuilt(&c, &PlaybackController::audioTracksRebuilt);
    QSignalSpy subtitlesRebuilt(&c, &PlaybackController::subtitleTracksRebuilt);
    rig.play("streams.mkv");
    for (QChar report : reports) {
        if (report == 'P')
            emit rig.engine->playingStarted();
        else if (report == 'a')
            emit rig.engine->audioStreamSeen();
        else if (report == 's')
            emit rig.engine->subtitleStreamSeen();
        else
            emit rig.engine->videoStarted();
    }
    QCOMPARE(ints(audioRebuilt), audio);
    QCOMPARE(ints(subtitlesRebuilt), subtitles);
    // The first stream of a rebuilt audio menu is switched on.
    QCOMPARE(rig.engine->intents.count("audio 0 keeping pause"), int(audio.size()));
}

void PlaybackControllerTest::rememberedChoicesAtVideoStart() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    // A disc title whose menus were built beforehand with the matching sizes.
    c.setTrackMenuSizes(3, 2);
    Source title = rig.source("remembered", 100, SourceKind::BluRay);
    title.audioChoice = 2;
    title.subtitleChoice = 1;
    QSignalSpy audioChecked(&c, &PlaybackController::audioTrackChecked);
    QSignalSpy subtitleChecked(&c, &PlaybackController::subtitleTrackChecked);
    QSignalSpy audioRebuilt(&c, &PlaybackController::audioTracksRebuilt);
    c.open(title, OpenMode::Anew);
    rig.engine->take();
    for (auto report : {&Engine::audioStreamSeen, &Engine::audioStreamSeen, &Engine::subtitleStreamSeen,
                        &Engine::videoStarted})
        emit(rig.engine->*report)();
    QCOMPARE(rig.engine->take(), (QStringList{"subtitle 0", "audio 1"}));
    QCOMPARE(ints(audioChecked), QList<int>{2});
    QCOMPARE(ints(subtitleChecked), QList<int>{1});
    QVERIFY(audioRebuilt.isEmpty());

    // Without a remembered choice nothing is applied.
    c.open(rig.source("other.mkv"), OpenMode::Anew);
    emit rig.engine->videoStarted();
    QCOMPARE(rig.engine->take(), (QStringList{"discard", "start other.mkv volume 50 from 0"}));
}

void PlaybackControllerTest::dvdLengthFromFirstAnswer() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    rig.play("VIDEO_TS", 0, SourceKind::Dvd);
    c.clickSeek(3725); // the clock the texts show
    QSignalSpy ranges(&c, &PlaybackController::sliderRangeChanged);
    QSignalSpy elapsed(&c, &PlaybackController::elapsedTextChanged);
    QSignalSpy lengths(&c, &PlaybackController::lengthTextChanged);
    emit rig.engine->lengthAnswered(5400);
    QCOMPARE(c.playingSource().length, qint64(5400));
    QCOMPARE(last<int>(ranges), 5400);
    QCOMPARE(last<QString>(elapsed), QStringLiteral("01:02:05 "));
    QCOMPARE(last<QString>(lengths), QStringLiteral(" 01:30:00"));
    emit rig.engine->lengthAnswered(10);
    QCOMPARE(c.playingSource().length, qint64(5400)); // known now: later answers change nothing
    QCOMPARE(ranges.size(), 1);

    // Files keep the probe's length.
    FakeRig file;
    file.play("file.mkv", 0);
    QSignalSpy fileLengths(&file.c, &PlaybackController::lengthTextChanged);
    emit file.engine->lengthAnswered(99);
    QCOMPARE(file.c.playingSource().length, qint64(0));
    QCOMPARE(last<QString>(fileLengths), QStringLiteral(" 00:00:00"));
}

void PlaybackControllerTest::snapshotsSaved() {
    FakeRig rig;
    PlaybackController& c = rig.c;
    const QString target = rig.data.filePath("shots/"); // missing: made on demand
    QVERIFY(writeOutputPath(c.dataFolderPath(), target));
    rig.play("snap.mkv");
    rig.engine->take();
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"));
    QSignalSpy saved(&c, &PlaybackController::snapshotSaved);
    for (const QString format : {"JPG", "PNG"}) {
        c.setSnapshotFormat(format);
        emit rig.engine->snapshotTaken(png, "0001.png");
        const QFileInfo file(last<QString>(saved));
        QCOMPARE(file.absoluteDir().canonicalPath(), QDir(target).canonicalPath());
        QVERIFY2(isSnapshotName(file.fileName(), format), qPrintable(file.fileName()));
        QImageReader reader(file.filePath());
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format == "JPG" ? QByteArray("jpeg") : QByteArray("png"));
        QCOMPARE(reader.read().size(), QSize(64, 48));
    }
    // The engine's file goes only once its copy is safe; a broken picture saves nothing.
    emit rig.engine->snapshotTaken("not a png", "0002.png");
    QCOMPARE(saved.size(), 2);
    QCOMPARE(rig.engine->take(), (QStringList{"release 0001.png", "release 0001.png"}));
}

QTEST_GUILESS_MAIN(PlaybackControllerTest)
#include "tst_playback_controller.moc"
