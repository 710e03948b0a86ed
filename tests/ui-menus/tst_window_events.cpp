// The main window's own event handling: full screen and Escape, the keys of
// the menu entries in every state, menu states by page, the slider filter,
// drag and drop, and closing.
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include "MenusTestSupport.h"
#include "common/IntentEngine.h"
#include "common/Playback.h"
#include "common/Sliders.h"

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The intents so far, cleared; when the controller resumes is its own test's concern.
QStringList intents(IntentEngine* engine) {
    QStringList taken = engine->take();
    taken.removeAll(QStringLiteral("resume"));
    return taken;
}

} // namespace

class TestWindowEvents : public QObject {
    Q_OBJECT
    PrivateHome* home = nullptr;
    QString clip;

    void showActive(DRUI& window) {
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    IntentEngine* build(DRUI& window) {
        window.setupWindow();
        return IntentEngine::install(window.playback());
    }

    void play(DRUI& window) {
        window.playback().setSource(sourceAt(clip, SourceKind::File, 100));
        window.VideoPlay();
    }

    // Plays the clip; the intents so far are taken.
    void startPlaying(DRUI& window, IntentEngine* engine) {
        play(window);
        QVERIFY(engine->take().endsWith(QStringLiteral("start clip one.mkv volume 50 from 0")));
        // Entries the keys stand for are enabled once the video page shows.
        QTRY_VERIFY(entry(window, "controlsMenu", "Forward")->isEnabled());
    }

    bool dropOn(DRUI& window, QMimeData* data) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &drop);
        return true;
    }

private slots:
    void initTestCase() {
        home = new PrivateHome;
        clip = home->path("clip one.mkv");
        QVERIFY(writeBytes(clip, "not really a video"));
        registerPlayListInfoType();
    }
    void cleanupTestCase() { delete home; }

    void fullScreenAndBack() {
        DRUI window;
        IntentEngine* engine = build(window);
        showActive(window);
        auto* strip = window.part<QWidget>("menuStrip");
        auto* panel = window.part<QWidget>("controlPanel");
        auto* table = window.part<QWidget>("playListTable");
        auto* surface = window.part<QWidget>("videoSurface");
        // Nothing plays: no way into full screen.
        window.FullScreenBtn();
        QTest::mouseDClick(surface, Qt::LeftButton);
        QTest::keyClick(&window, Qt::Key_F);
        QVERIFY(!window.isFullScreenMode());
        QVERIFY(!window.windowState().testFlag(Qt::WindowFullScreen));

        startPlaying(window, engine);
        table->show();
        QTest::keyClick(&window, Qt::Key_F);
        QVERIFY(window.isFullScreenMode());
        QTRY_VERIFY(window.windowState().testFlag(Qt::WindowFullScreen));
        QVERIFY(strip->isHidden());
        QVERIFY(panel->isHidden());
        QVERIFY(table->isHidden());

        // The strip is hidden: no entry's key acts now.
        const QVariant playData = playPauseEntry(window)->data();
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Space, Qt::Key_Right, Qt::Key_S, Qt::Key_F})
            QTest::keyClick(&window, key);
        QCOMPARE(window.part<QSlider>("volumeSlider")->value(), 50);
        QCOMPARE(playPauseEntry(window)->data(), playData);
        QVERIFY(window.isFullScreenMode());
        QCOMPARE(engine->take(), QStringList{});

        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isFullScreenMode());
        QTRY_VERIFY(!window.windowState().testFlag(Qt::WindowFullScreen));
        QVERIFY(strip->isVisible());
        QVERIFY(panel->isVisible());
        QVERIFY(table->isHidden()); // stays hidden

        QTest::mouseDClick(surface, Qt::LeftButton);
        QVERIFY(window.isFullScreenMode());
        QTest::mouseDClick(surface, Qt::LeftButton);
        QVERIFY(!window.isFullScreenMode());
        QVERIFY(strip->isVisible());

        // Playback ends while in full screen: Escape still leaves it.
        window.FullScreenBtn();
        QVERIFY(window.isFullScreenMode());
        window.StopBtn();
        window.FullScreenBtn(); // quit was sent: nothing
        QVERIFY(window.isFullScreenMode());
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isFullScreenMode());
        QVERIFY(strip->isVisible());
        QTest::keyClick(&window, Qt::Key_Escape); // not full screen: nothing
        QVERIFY(!window.isFullScreenMode());

        // The window manager ends full screen by itself: the strip and panel return.
        startPlaying(window, engine);
        window.FullScreenBtn();
        QVERIFY(strip->isHidden());
        window.setWindowState(Qt::WindowNoState);
        QVERIFY(!window.isFullScreenMode());
        QVERIFY(strip->isVisible());
        QVERIFY(panel->isVisible());
    }

    void keysActInNormalWindow() {
        AnsweredWindow window;
        IntentEngine* engine = build(window);
        showActive(window);
        auto* volume = window.part<QSlider>("volumeSlider");
        // Before the video page: only the entries enabled at start act.
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_S, Qt::Key_F})
            QTest::keyClick(&window, key);
        QVERIFY(!window.playback().hasEngine());
        QTest::keyClick(&window, Qt::Key_Up);
        QCOMPARE(volume->value(), 55);
        QTest::keyClick(&window, Qt::Key_Space); // nothing to play: asks for files
        QCOMPARE(window.fileDialogs, 1);
        QTest::keyClick(&window, Qt::Key_Down);

        startPlaying(window, engine);
        QTest::keyClick(&window, Qt::Key_Up);
        QCOMPARE(volume->value(), 55);
        QTest::keyClick(&window, Qt::Key_Down);
        QCOMPARE(volume->value(), 50);
        for (Qt::Key key : {Qt::Key_S, Qt::Key_Right, Qt::Key_Space})
            QTest::keyClick(&window, key);
        QCOMPARE(playPauseEntry(window)->data().toString(), QStringLiteral("Resume"));
        QTest::keyClick(&window, Qt::Key_Space);
        QCOMPARE(playPauseEntry(window)->data().toString(), QStringLiteral("Pause"));
        // Navigation belongs to discs: P does nothing for a file.
        QTest::keyClick(&window, Qt::Key_P);
        QCOMPARE(shownPage(window), QStringLiteral("videoPage"));
        QCOMPARE(window.fileDialogs, 1);
        QCOMPARE(intents(engine), (QStringList{"volume 55 keeping pause", "volume 50 keeping pause",
                                               "snapshot", "seek 60", "pause"}));
    }

    void everyKeyInEveryState_data() {
        QTest::addColumn<QString>("state");
        for (const char* state : {"idle", "playing", "paused", "stopped", "fullscreen", "disc page"})
            QTest::newRow(state) << QString(state);
    }
    void everyKeyInEveryState() {
        QFETCH(QString, state);
        AnsweredWindow window;
        IntentEngine* engine = build(window);
        showActive(window);
        if (state != "idle")
            startPlaying(window, engine);
        if (state == "paused")
            window.pausePlayback();
        if (state == "stopped")
            window.StopBtn();
        if (state == "fullscreen")
            window.FullScreenBtn();
        if (state == "disc page") {
            window.playback().open(sourceAt(clip, SourceKind::BluRay, 100), OpenMode::Anew);
            window.Navigation();
            QCOMPARE(shownPage(window), QStringLiteral("discPage"));
        }
        const Qt::Key keys[] = {Qt::Key_Space, Qt::Key_Right, Qt::Key_Left, Qt::Key_Up,    Qt::Key_Down,
                                Qt::Key_P,     Qt::Key_S,     Qt::Key_F,    Qt::Key_Escape};
        for (int round = 0; round < 2; ++round)
            for (Qt::Key key : keys) {
                QTest::keyClick(&window, key);
                QCoreApplication::processEvents();
            }
        const int volume = window.part<QSlider>("volumeSlider")->value();
        QVERIFY(volume >= 0 && volume <= 100);
        QVERIFY(window.part<QWidget>("menuStrip"));
    }

    void menuStatesFollowPage() {
        // Never shown: neither a paint nor a show event reaches the window, yet
        // the entries follow the video page as soon as it comes up.
        DRUI window;
        IntentEngine* engine = build(window);
        PaintCounter counter;
        window.installEventFilter(&counter);
        QAction* forward = entry(window, "controlsMenu", "Forward");
        QAction* navigation = entry(window, "controlsMenu", "Navigation");
        QVERIFY(!forward->isEnabled());
        play(window);
        QCOMPARE(shownPage(window), QStringLiteral("videoPage"));
        for (const char* name : {"controlsMenu", "videoMenu", "audioMenu", "toolsMenu"})
            for (QAction* action : menu(window, name)->actions())
                QVERIFY2(action->isEnabled() || action == navigation, qPrintable(action->data().toString()));
        QVERIFY(!navigation->isEnabled());
        auto* nowPlaying = window.part<QLabel>("nowPlayingLabel");
        QCOMPARE(nowPlaying->text(), QStringLiteral("    clip one.mkv"));
        QCOMPARE(counter.paints, 0);
        QCOMPARE(engine->lastStart.source.path, clip);

        window.StopBtn(); // back to the start page: entries stay enabled
        QCOMPARE(shownPage(window), QStringLiteral("startPage"));
        QVERIFY(forward->isEnabled());

        // A disc: navigation follows the kind, the label shows the disc name.
        window.playback().setSource(sourceAt(QString(), SourceKind::BluRay));
        window.part<QLabel>("discNameLabel")->setText("MY DISC");
        window.playback().showPage(Page::Video);
        QVERIFY(navigation->isEnabled());
        QCOMPARE(nowPlaying->text(), QStringLiteral("    MY DISC"));
        QCOMPARE(counter.paints, 0);
    }

    void discPageHighlightsChoices() {
        DRUI window;
        window.setupWindow();
        showActive(window);
        const QList<QAction*> discPage = menu(window, "discMenu")->actions();
        QCOMPARE(discPage.size(), 5); // play, chapters, audio, subtitles, other titles
        auto* audio = new QMenu(&window);
        audio->addAction("English");
        QAction* japanese = audio->addAction("Japanese");
        discPage.at(2)->setMenu(audio);
        auto* subtitles = new QMenu(&window);
        QAction* off = subtitles->addAction("Off");
        subtitles->addAction("English");
        discPage.at(3)->setMenu(subtitles);
        window.BDMenuOperate(japanese);
        window.BDMenuOperate(off);
        // Hovering elsewhere moves the highlight; the page puts the choices back.
        audio->setActiveAction(nullptr);
        subtitles->setActiveAction(nullptr);
        window.playback().setSource(sourceAt(QString(), SourceKind::BluRay));
        window.playback().showPage(Page::Disc);
        QCOMPARE(audio->activeAction(), japanese);
        QCOMPARE(subtitles->activeAction(), off);
        QVERIFY(window.part<QWidget>("discMenu")->isVisible());
        // An entry no longer listed is left alone.
        audio->removeAction(japanese);
        audio->setActiveAction(nullptr);
        window.repaint();
        QVERIFY(!audio->activeAction());
    }

    void sliderPressSeeks() {
        DRUI window;
        IntentEngine* engine = build(window);
        showActive(window);
        auto* progress = window.part<QSlider>("progressSlider");
        auto* volume = window.part<QSlider>("volumeSlider");
        // Without an engine a press on the groove does nothing.
        const QPoint middle(progress->width() / 2, progress->height() / 2);
        QTest::mousePress(progress, Qt::LeftButton, {}, middle);
        QTest::mouseRelease(progress, Qt::LeftButton, {}, middle);
        QCOMPARE(window.playback().sliderValue(), 0);
        QCOMPARE(progress->value(), 0);

        startPlaying(window, engine);
        const QPoint at = kzp::test::handleCentre(progress, 75);
        QTest::mousePress(progress, Qt::LeftButton, {}, at);
        QTest::mouseRelease(progress, Qt::LeftButton, {}, at);
        QCOMPARE(window.playback().sliderValue(), 75);
        QCOMPARE(progress->value(), 75);
        const QPoint quarter = kzp::test::handleCentre(volume, 25);
        QTest::mousePress(volume, Qt::LeftButton, {}, quarter);
        QTest::mouseRelease(volume, Qt::LeftButton, {}, quarter);
        QCOMPARE(volume->value(), 25);
        QCOMPARE(intents(engine), (QStringList{"seek 75", "volume 25 keeping pause"}));
    }

    void drops() {
        AnsweredWindow window;
        IntentEngine* engine = build(window);

        auto* text = new QMimeData;
        text->setText("/etc/passwd");
        QVERIFY(dropOn(window, text)); // accepted on entry, ignored on drop
        delete text;
        auto* remote = new QMimeData;
        remote->setUrls({QUrl("https://example.invalid/clip.mkv"), QUrl::fromLocalFile(clip)});
        QVERIFY(dropOn(window, remote));
        delete remote;
        QVERIFY(window.refusals.isEmpty());
        QVERIFY(!window.playback().hasEngine());
        QVERIFY(window.playback().currentSource().path.isEmpty());

        QTemporaryDir plain;
        auto* folder = new QMimeData;
        folder->setUrls({QUrl::fromLocalFile(plain.path())});
        QVERIFY(dropOn(window, folder));
        delete folder;
        QCOMPARE(window.refusals.size(), 1); // neither Blu-ray nor DVD

        const QString second = home->path("second.mkv");
        QVERIFY(writeBytes(second, "x"));
        auto* files = new QMimeData;
        files->setUrls({QUrl::fromLocalFile(clip), QUrl::fromLocalFile(second), QUrl::fromLocalFile(second)});
        QVERIFY(dropOn(window, files));
        delete files;
        QCOMPARE(engine->take(), QStringList{"start clip one.mkv volume 50 from 0"});
        QCOMPARE(window.playback().currentSource().path, clip);
        QVERIFY(window.playListModel().size() <= 1);
    }

    void closeEndsEngine_data() {
        QTest::addColumn<bool>("throughMenu");
        QTest::newRow("File menu Close") << true;
        QTest::newRow("window frame") << false;
    }
    void closeEndsEngine() {
        QFETCH(bool, throughMenu);
        DRUI window;
        IntentEngine* engine = build(window);
        showActive(window);
        startPlaying(window, engine);
        if (throughMenu)
            window.BDFileMenu(entry(window, "fileMenu", "Close"));
        else
            window.close();
        QVERIFY(!window.isVisible());
        QVERIFY(!window.playback().hasEngine());
        QVERIFY(window.playback().isStopped());
        // Ended, not just asked to quit: the window waits for it.
        QCOMPARE(engine->take(), QStringList{"end"});
        QVERIFY(!engine->isRunning());
    }
};

QTEST_MAIN(TestWindowEvents)
#include "tst_window_events.moc"
