// The window's part in playback: each transport slot reaches the controller
// (and so the engine), and what the controller reports reaches the right
// widget: page, slider, time labels, play icon, play/pause entry, track menus,
// recent files.

#include <QAction>
#include <QBuffer>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTableWidget>
#include <QtTest>

#include "common/IntentEngine.h"
#include "common/Sliders.h"
#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "config/LanguageManager.h"
#include "config/RecentFiles.h"
#include "engine/EngineTestSupport.h"
#include "ui/DRUI.h"

KZP_TEMPORARY_HOME()

namespace {

// A built main window driving a fake of the engine interface.
struct Window : DRUI {
    IntentEngine* engine;
    Window() {
        setupWindow();
        engine = IntentEngine::install(playback());
    }
    // The intents so far, cleared; the resumes that follow seeks left out
    // (when the controller resumes is its own test's concern).
    QStringList intents() const {
        QStringList taken = engine->take();
        taken.removeAll(QStringLiteral("resume"));
        return taken;
    }
    QMenu* menu(const char* name) const { return part<QMenu>(QLatin1String(name)); }
    QSlider* slider(const char* name) const { return part<QSlider>(QLatin1String(name)); }
    QString label(const char* name) const { return part<QLabel>(QLatin1String(name))->text(); }
    QIcon icon(const char* name) const { return part<QPushButton>(QLatin1String(name))->icon(); }
    // The page the video area shows: "startPage", "discPage" or "videoPage".
    QString page() const {
        for (const char* name : {"startPage", "discPage", "videoPage"})
            if (part<QWidget>(QLatin1String(name))->isVisibleTo(this))
                return QLatin1String(name);
        return QString();
    }
    // The Controls menu's play/pause entry.
    QAction* playPause() const {
        for (QAction* action : menu("controlsMenu")->actions())
            if (QStringList{"Play", "Pause", "Resume"}.contains(action->data().toString()))
                return action;
        return nullptr;
    }
    void play(const QString& path, qint64 length = 100, SourceKind kind = SourceKind::File) {
        playback().setSource(sourceAt(path, kind, length));
        VideoPlay();
    }
    // Plays `path` with the position slider 400 pixels wide, so that every
    // value has a pixel of its own.
    QSlider* playWithWideSlider(const QString& path, qint64 length) {
        show();
        play(path, length);
        QSlider* wide = slider("progressSlider");
        wide->setFixedWidth(400);
        return QTest::qWaitFor([&] { return wide->width() == 400; }) ? wide : nullptr;
    }
};

QStringList texts(QMenu* menu) {
    QStringList list;
    for (QAction* action : menu->actions())
        list << action->text();
    return list;
}

// The one checked entry; -1 none, -2 more than one.
int checkedIndex(QMenu* menu) {
    const QList<QAction*> actions = menu->actions();
    int found = -1;
    for (int i = 0; i < actions.size(); ++i)
        if (actions[i]->isChecked())
            found = found < 0 ? i : -2;
    return found;
}

bool sameIcon(const QIcon& icon, const char* picture) {
    const QPixmap expected(QLatin1String{picture});
    if (expected.isNull())
        return false;
    return icon.pixmap(expected.size()).toImage().convertToFormat(QImage::Format_ARGB32) ==
           expected.toImage().convertToFormat(QImage::Format_ARGB32);
}

QString recentFile() {
    return dataFolderPath() + "RecentConfig.txt";
}

} // namespace

class PlaybackWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QFile::remove(recentFile()); }

    void transportSlotsForward();
    void sliderValueTheWindowShowsIsUsed();
    void clickToSeek();
    void clickPutsHandleWhereClicked();
    void spaceAfterTheEndStartsTheFileAgain_data();
    void spaceAfterTheEndStartsTheFileAgain();
    void playingMarkOnlyWhilePlaying_data();
    void playingMarkOnlyWhilePlaying();
    void trackMenus();
    void rememberedChoicesReachTheMenus();
    void titleAndChapterMenusKeptOnlyForDiscs_data();
    void titleAndChapterMenusKeptOnlyForDiscs();
    void recentFiles();
};

namespace {

// The play list rows that carry the playing mark.
QList<int> markedRows(const DRUI& w) {
    QList<int> rows;
    auto* table = w.part<QTableWidget>(QStringLiteral("playListTable"));
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, 0) && !table->item(row, 0)->icon().isNull())
            rows << row;
    return rows;
}

} // namespace

void PlaybackWindowTest::transportSlotsForward() {
    Window w;
    QTemporaryDir media;
    QSlider* progress = w.slider("progressSlider");
    w.play(makeSource(media, "clip.mkv"), 100);
    QCOMPARE(w.engine->lastStart.windowId, quint64(w.part<QWidget>("videoSurface")->winId()));
    QCOMPARE(w.engine->lastStart.shotFolder, w.playback().dataFolderPath());
    QVERIFY(w.playback().dataFolderPath().endsWith('/'));
    QCOMPARE(w.page(), QStringLiteral("videoPage"));
    QVERIFY(progress->isEnabled());
    QCOMPARE(progress->maximum(), 100);
    QVERIFY(sameIcon(w.icon("playButton"), ":/image/pause.png"));
    QCOMPARE(w.playPause()->data().toString(), QStringLiteral("Pause"));
    QCOMPARE(w.playPause()->text(), caption("MainWnd/Pause"));

    w.pausePlayback();
    QCOMPARE(w.playPause()->data().toString(), QStringLiteral("Resume"));
    QCOMPARE(w.playPause()->text(), caption("MainWnd/Resume"));
    QVERIFY(sameIcon(w.icon("playButton"), ":/image/play.png"));
    w.resumePlayback();
    QCOMPARE(w.playPause()->data().toString(), QStringLiteral("Pause"));
    QVERIFY(sameIcon(w.icon("playButton"), ":/image/pause.png"));

    w.SliderPress();
    w.SliderSeek(30);
    w.SliderRelease();
    QCOMPARE(progress->value(), 30);
    QCOMPARE(w.label("elapsedLabel"), QStringLiteral("00:00:30"));
    w.seekToChapter(61999);

    w.VolumeBtn();
    QCOMPARE(w.slider("volumeSlider")->value(), 0);
    QVERIFY(sameIcon(w.icon("volumeButton"), ":/image/no-volume.png"));
    w.VolumeSliderSeek(80);
    QCOMPARE(w.slider("volumeSlider")->value(), 80);
    QVERIFY(sameIcon(w.icon("volumeButton"), ":/image/volume.png"));

    w.Snapshot();
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && QImage(8, 8, QImage::Format_RGB32).save(&buffer, "PNG"));
    emit w.engine->snapshotTaken(png, "shot0001.png");
    QCOMPARE(QDir(snapshotFolder(w.playback().dataFolderPath())).entryList(QDir::Files).size(), 1);

    w.part<QLabel>("nowPlayingLabel")->setText("clip.mkv");
    w.StopBtn();
    QCOMPARE(w.intents(),
             (QStringList{"start clip.mkv volume 50 from 0", "pause", "seek 30", "seek 61", "volume 0",
                          "volume 80 keeping pause", "snapshot", "release shot0001.png", "quit"}));
    QCOMPARE(w.label("elapsedLabel"), QStringLiteral("00:00:00 "));
    QCOMPARE(w.page(), QStringLiteral("startPage"));
    QCOMPARE(progress->value(), 0);
    QVERIFY(!progress->isEnabled());
    QVERIFY(w.label("nowPlayingLabel").isEmpty());
    QVERIFY(sameIcon(w.icon("playButton"), ":/image/play.png"));
    QCOMPARE(w.label("lengthLabel"), QStringLiteral(" 00:01:40")); // the length of what played

    // Navigation from a Blu-ray title goes back to the disc page.
    w.play(media.path(), 100, SourceKind::BluRay);
    QCOMPARE(w.engine->lastStart.volume, 80);
    w.engine->take();
    w.Navigation();
    QCOMPARE(w.intents(), QStringList{"quit"});
    QCOMPARE(w.page(), QStringLiteral("discPage"));
}

// The window's sliders can be moved by keys or the wheel without the
// controller hearing of it; what they show is what the next start and the
// next Forward or Backward use.
void PlaybackWindowTest::sliderValueTheWindowShowsIsUsed() {
    Window w;
    QTemporaryDir media;
    QSlider* volume = w.slider("volumeSlider");
    QTest::keyClick(volume, Qt::Key_PageUp);
    QCOMPARE(volume->value(), 60);
    w.play(makeSource(media, "first.mkv"), 600);

    QSlider* progress = w.slider("progressSlider");
    w.SliderSeek(40);
    w.SliderRelease();
    QTest::keyClick(progress, Qt::Key_PageUp);
    QCOMPARE(progress->value(), 50);
    w.seekForward();
    QTest::keyClick(progress, Qt::Key_PageDown);
    QTest::keyClick(progress, Qt::Key_PageDown);
    w.seekBackward();
    QCOMPARE(w.intents(),
             (QStringList{"start first.mkv volume 60 from 0", "seek 40", "seek 110", "seek 30"}));

    // A rebuilt window (language switch) shows a fresh volume slider.
    w.VolumeSliderSeek(80);
    w.StopBtn();
    w.setupWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the old tree goes
    QCOMPARE(w.slider("volumeSlider")->value(), 50);
    w.play(makeSource(media, "second.mkv"), 600);
    QCOMPARE(w.intents().last(), QStringLiteral("start second.mkv volume 50 from 0"));
}

void PlaybackWindowTest::clickToSeek() {
    Window w;
    QTemporaryDir media;
    QSlider* progress = w.playWithWideSlider(makeSource(media, "click.mkv"), 100);
    QVERIFY(progress);
    QSlider* volume = w.slider("volumeSlider");
    volume->setFixedWidth(200);
    QTRY_COMPARE(volume->width(), 200);
    auto press = [&](QSlider* slider, int value, Qt::MouseButton button) {
        const QPointF at = kzp::test::handleCentre(slider, value);
        QMouseEvent event(QEvent::MouseButtonPress, at, slider->mapToGlobal(at), button, button,
                          Qt::NoModifier);
        w.SliderMouseLButtonPress(slider, &event);
    };
    press(progress, 75, Qt::RightButton);
    press(progress, 75, Qt::LeftButton);
    QCOMPARE(progress->value(), 75);
    press(progress, 75, Qt::LeftButton); // on the handle: drags, no seek
    press(volume, 25, Qt::LeftButton);
    QCOMPARE(volume->value(), 25);
    QCOMPARE(w.intents(),
             (QStringList{"start click.mkv volume 50 from 0", "seek 75", "volume 25 keeping pause"}));
}

// A real click on a short source's groove: the handle must land under the
// pointer and stay there, in step with the elapsed time.
void PlaybackWindowTest::clickPutsHandleWhereClicked() {
    Window w;
    QTemporaryDir media;
    QSlider* progress = w.playWithWideSlider(makeSource(media, "short.mkv"), 30);
    QVERIFY(progress);

    const QPoint at = kzp::test::handleCentre(progress, 22);
    QTest::mousePress(progress, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(progress, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(progress->value(), 22);
    QCOMPARE(w.label("elapsedLabel"), QStringLiteral("00:00:22"));

    // The next answers: the handle stays, the label shows the same second.
    refreshTimer(w.playback())->stop();
    auto tick = [&] {
        w.DoRefreshGui();
        emit w.engine->lengthAnswered(30);
        emit w.engine->positionAnswered();
    };
    for (int n = 1; n <= 2; ++n) {
        tick();
        QCOMPARE(progress->value(), 22);
        QCOMPARE(w.label("elapsedLabel"), QStringLiteral("00:00:22 "));
    }
    QCOMPARE(w.intents(), (QStringList{"start short.mkv volume 50 from 0", "seek 22"}));

    // The handle dragged and held while answers come in: the drop is where it goes.
    QTest::mousePress(progress, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(progress, kzp::test::handleCentre(progress, 10));
    QTRY_COMPARE(progress->value(), 10);
    for (int n = 3; n <= 8; ++n)
        tick();
    QCOMPARE(progress->value(), 10);
    QTest::mouseRelease(progress, Qt::LeftButton, Qt::NoModifier, kzp::test::handleCentre(progress, 10));
    QCOMPARE(w.intents(), QStringList{"seek 10"});
}

void PlaybackWindowTest::spaceAfterTheEndStartsTheFileAgain_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::newRow("file") << SourceKind::File;
    QTest::newRow("dvd") << SourceKind::Dvd;
}

void PlaybackWindowTest::spaceAfterTheEndStartsTheFileAgain() {
    QFETCH(SourceKind, kind);
    Window w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTemporaryDir media;
    const QString source = kind == SourceKind::File ? makeSource(media, "again.mkv") : media.path();
    w.play(source, 100, kind);
    emit w.engine->ended(true);
    QCOMPARE(w.page(), QStringLiteral("startPage"));
    QCOMPARE(w.playPause()->data().toString(), QStringLiteral("Play"));
    QCOMPARE(w.playPause()->text(), caption("MainWnd/Play"));
    QVERIFY(sameIcon(w.icon("playButton"), ":/image/play.png"));

    w.engine->take();
    QTest::keyClick(&w, Qt::Key_Space);
    QCOMPARE(w.intents().filter("start ").size(), 1);
    QCOMPARE(w.engine->lastStart.source.path, source);
    QCOMPARE(w.engine->lastStart.source.kind, kind);
    QCOMPARE(w.page(), QStringLiteral("videoPage"));
    QCOMPARE(w.playPause()->data().toString(), QStringLiteral("Pause"));
    QTest::keyClick(&w, Qt::Key_Space); // and pauses it as usual
    QCOMPARE(w.intents(), QStringList{"pause"});
    QCOMPARE(w.playPause()->data().toString(), QStringLiteral("Resume"));
}

void PlaybackWindowTest::playingMarkOnlyWhilePlaying_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("end of file") << "eof";
    QTest::newRow("engine fails") << "dies";
    QTest::newRow("stopped") << "stop";
}

void PlaybackWindowTest::playingMarkOnlyWhilePlaying() {
    QFETCH(QString, how);
    Window w;
    QTemporaryDir media;
    const QString first = makeSource(media, "first.mkv");
    const QString second = makeSource(media, "second.mkv");
    w.addFiles({first, second});
    QCOMPARE(markedRows(w), QList<int>{0});

    w.PlayNext();
    QCOMPARE(w.engine->lastStart.source.path, second);
    QCOMPARE(markedRows(w), QList<int>{1});
    if (how == "stop")
        w.StopBtn();
    else
        emit w.engine->ended(how == "eof");
    QVERIFY(w.playback().isStopped());
    QCOMPARE(markedRows(w), QList<int>{});
    emit w.engine->ended(true); // the engine's own exit afterwards
    QCOMPARE(markedRows(w), QList<int>{});
}

void PlaybackWindowTest::trackMenus() {
    Window w;
    QMenu* audio = w.menu("audioTrackMenu");
    QMenu* subtitles = w.menu("subtitleTrackMenu");
    QMenu* channels = w.menu("audioChannelMenu");
    // Without an engine a choice is not taken: nothing gets checked.
    audio->addAction("stale")->setData(1);
    w.BDAudioMenu(audio->actions()[0]);
    w.BDAudioMenu(channels->actions()[1]);
    QCOMPARE(checkedIndex(audio), -1);
    QCOMPARE(checkedIndex(channels), 0);

    QTemporaryDir media;
    w.play(makeSource(media, "tracks.mkv"));
    emit w.engine->playingStarted();
    emit w.engine->audioStreamSeen();
    emit w.engine->audioStreamSeen();
    emit w.engine->subtitleStreamSeen();
    emit w.engine->videoStarted();
    QCOMPARE(texts(audio), (QStringList{"Disable", "Audio 1", "Audio 2"}));
    QCOMPARE(texts(subtitles), (QStringList{"Disable", "Subtitle 1"}));
    QCOMPARE(checkedIndex(audio), 1);
    QVERIFY(!audio->actions()[0]->isCheckable());
    QCOMPARE(audio->actions().last()->data().toInt(), 2);
    QCOMPARE(checkedIndex(subtitles), 0);

    w.BDAudioMenu(audio->actions()[2]);
    w.BDVideoMenu(subtitles->actions()[1]);
    w.BDAudioMenu(channels->actions()[2]);
    QCOMPARE(checkedIndex(audio), 2);
    QCOMPARE(checkedIndex(subtitles), 1);
    QCOMPARE(checkedIndex(channels), 2);
    QMenu stray; // an entry of some other menu is no track choice
    w.BDAudioMenu(stray.addAction("x"));
    QCOMPARE(w.intents(),
             (QStringList{"start tracks.mkv volume 50 from 0", "audio 0 keeping pause",
                          "audio 1 keeping pause", "subtitle 0 keeping pause", "channel right"}));

    // The video track only hides our surface.
    w.show();
    QWidget* surface = w.part<QWidget>("videoSurface");
    QVERIFY(surface->isVisible());
    w.BDVideoMenu(w.menu("videoTrackMenu")->actions()[0]);
    QVERIFY(!surface->isVisible());
    w.BDVideoMenu(w.menu("videoTrackMenu")->actions()[1]);
    QVERIFY(surface->isVisible());
    QCOMPARE(checkedIndex(w.menu("videoTrackMenu")), 1);

    // A new source starts on "Stereo" again.
    w.play(makeSource(media, "tracks2.mkv"));
    QCOMPARE(checkedIndex(channels), 0);
    QVERIFY(!channels->actions()[2]->isCheckable());
}

void PlaybackWindowTest::rememberedChoicesReachTheMenus() {
    Window w;
    // A disc title's menus, built beforehand with the matching sizes.
    QMenu* audio = w.menu("audioTrackMenu");
    QMenu* subtitles = w.menu("subtitleTrackMenu");
    for (int k = 0; k <= 2; ++k)
        audio->addAction(QString("A%1").arg(k))->setData(k);
    for (int k = 0; k <= 1; ++k)
        subtitles->addAction(QString("S%1").arg(k))->setData(k);
    w.playback().setTrackMenuSizes(3, 2);
    const QString key = "/disc/BDMV/PLAYLIST/00001.mpls";
    w.discModel().setAudioChoice(key, 2);
    w.discModel().setSubtitleChoice(key, 1);
    QTemporaryDir media;
    Source title = sourceAt(makeSource(media, "remembered.mkv"), SourceKind::BluRay, 100);
    title.titleKey = key;
    w.playback().setSource(title);
    w.VideoPlay();
    emit w.engine->audioStreamSeen();
    emit w.engine->audioStreamSeen();
    emit w.engine->subtitleStreamSeen();
    emit w.engine->videoStarted();
    QCOMPARE(w.intents(), (QStringList{"start remembered.mkv volume 50 from 0", "subtitle 0", "audio 1"}));
    QCOMPARE(checkedIndex(audio), 2);
    QCOMPARE(checkedIndex(subtitles), 1);
    QCOMPARE(texts(audio), (QStringList{"A0", "A1", "A2"}));
}

void PlaybackWindowTest::titleAndChapterMenusKeptOnlyForDiscs_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<bool>("kept");
    QTest::newRow("file") << SourceKind::File << false;
    QTest::newRow("dvd") << SourceKind::Dvd << false;
    QTest::newRow("bluray") << SourceKind::BluRay << true;
}

void PlaybackWindowTest::titleAndChapterMenusKeptOnlyForDiscs() {
    QFETCH(SourceKind, kind);
    QFETCH(bool, kept);
    Window w;
    // What the disc page put there for the disc that was loaded last.
    w.menu("titleMenu")->addAction(QStringLiteral("1. 01:50:00"));
    w.menu("chapterMenu")->addAction(QStringLiteral("1. 00:00:00"));
    w.menu("chapterMenu")->addAction(QStringLiteral("2. 00:12:34"));
    QTemporaryDir media;
    w.play(kind == SourceKind::File ? makeSource(media, "menus.mkv") : media.path(), 100, kind);
    QCOMPARE(w.engine->lastStart.source.kind, kind);
    QCOMPARE(w.menu("titleMenu")->actions().size(), kept ? 1 : 0);
    QCOMPARE(w.menu("chapterMenu")->actions().size(), kept ? 2 : 0);
}

void PlaybackWindowTest::recentFiles() {
    Window w;
    QTemporaryDir media;
    QStringList paths;
    for (int i = 0; i < 11; ++i)
        paths << makeSource(media, QStringLiteral("recent %1.mkv").arg(i));
    w.play(paths[0]);
    w.play(paths[1]);
    QCOMPARE(kzp::test::readBytes(recentFile()), (paths[1] + '\n' + paths[0] + '\n').toLocal8Bit());
    QMenu* menu = w.menu("recentFilesMenu");
    QCOMPARE(texts(menu).mid(0, 2), (QStringList{paths[1], paths[0]}));
    QCOMPARE(menu->actions().first()->data().toString(), paths[1]);
    QCOMPARE(menu->actions().last()->data().toString(), QStringLiteral("Clear Menu"));

    // Playing a listed source changes nothing, not even the file.
    QFile::remove(recentFile());
    w.play(paths[0]);
    QCOMPARE(w.recentEntries(), (QStringList{paths[1], paths[0]}));
    QVERIFY(!QFile::exists(recentFile()));

    for (int i = 2; i < 11; ++i)
        w.play(paths[i]);
    QCOMPARE(w.recentEntries().size(), 10);
    QCOMPARE(w.recentEntries().first(), paths[10]);
    QVERIFY(!w.recentEntries().contains(paths[0])); // the oldest was pushed out
    QCOMPARE(readRecentFiles(recentFile()), w.recentEntries());
    QCOMPARE(menu->actions().size(), 11);

    // A missing source is neither played nor listed.
    w.play(media.filePath("does not exist.mkv"));
    QVERIFY(!w.recentEntries().contains(media.filePath("does not exist.mkv")));
    QCOMPARE(w.recentEntries().size(), 10);
}

QTEST_MAIN(PlaybackWindowTest)
#include "tst_playback_window.moc"
