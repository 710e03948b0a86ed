// The main window's own event handling: full screen and Escape, the keys of
// the menu entries in every state, repaint-time menu states, the slider
// filter, drag and drop, and closing.
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include "MenusTestSupport.h"
#include "common/FakeEngine.h"
#include "config/LanguageManager.h"

class TestWindowEvents : public QObject {
    Q_OBJECT
    PrivateHome* home = nullptr;
    QString clip;

    void showActive(DRUI& window) {
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    void startPlaying(DRUI& window, FakeEngine& fake) {
        window.setEnginePath(FakeEngine::program());
        window.sourceKind = 0;
        window.currentSource = clip;
        window.mediaLength = 100;
        window.VideoPlay();
        QVERIFY(fake.waitForStart());
        QVERIFY(fake.waitForCommand("volume 50 2"));
        // Entries the keys stand for are enabled once the video page shows.
        QTRY_VERIFY(entryWithData(window.controlsMenu, QStringLiteral("Forward"))->isEnabled());
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

    void fullScreenNeedsRunningEngine() {
        DRUI window;
        window.setupWindow();
        showActive(window);
        window.FullScreenBtn();
        QTest::mouseDClick(window.videoSurface, Qt::LeftButton);
        QTest::keyClick(&window, Qt::Key_F);
        QVERIFY(!window.isFullScreen);
        QVERIFY(!window.windowState().testFlag(Qt::WindowFullScreen));
        QVERIFY(window.menuStrip->isVisible());
    }

    void fullScreenAndBack() {
        FakeEngine fake;
        DRUI window;
        window.setupWindow();
        showActive(window);
        startPlaying(window, fake);
        window.playListTable->show();

        QTest::keyClick(&window, Qt::Key_F);
        QVERIFY(window.isFullScreen);
        QTRY_VERIFY(window.windowState().testFlag(Qt::WindowFullScreen));
        QVERIFY(window.menuStrip->isHidden());
        QVERIFY(window.controlPanel->isHidden());
        QVERIFY(window.playListTable->isHidden());

        // The strip is hidden: no entry's key acts now.
        const int before = int(fake.commands().size());
        const QVariant playData = window.playPauseAction->data();
        QTest::keyClick(&window, Qt::Key_Up);
        QTest::keyClick(&window, Qt::Key_Space);
        QTest::keyClick(&window, Qt::Key_Right);
        QTest::keyClick(&window, Qt::Key_S);
        QTest::keyClick(&window, Qt::Key_F);
        QCOMPARE(window.volumeSlider->value(), 50);
        QCOMPARE(window.playPauseAction->data(), playData);
        QVERIFY(window.isFullScreen);
        // A query round trip proves the engine has read everything sent before.
        window.writeEngine("get_time_length\n");
        QVERIFY(fake.waitForCommand("get_time_length"));
        for (const QByteArray& command : fake.commands().mid(before))
            QVERIFY2(!command.startsWith("seek") && !command.startsWith("screenshot") &&
                         !command.contains("volume") && command != "pause",
                     command.constData());

        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isFullScreen);
        QTRY_VERIFY(!window.windowState().testFlag(Qt::WindowFullScreen));
        QVERIFY(window.menuStrip->isVisible());
        QVERIFY(window.controlPanel->isVisible());
        QVERIFY(window.playListTable->isHidden()); // stays hidden

        QTest::mouseDClick(window.videoSurface, Qt::LeftButton);
        QVERIFY(window.isFullScreen);
        QTest::mouseDClick(window.videoSurface, Qt::LeftButton);
        QVERIFY(!window.isFullScreen);
        QVERIFY(window.menuStrip->isVisible());
    }

    void escapeAfterPlaybackEnded() {
        FakeEngine fake;
        DRUI window;
        window.setupWindow();
        showActive(window);
        startPlaying(window, fake);
        window.FullScreenBtn();
        QVERIFY(window.isFullScreen);
        window.StopBtn();
        window.FullScreenBtn(); // quit was sent: nothing
        QVERIFY(window.isFullScreen);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isFullScreen);
        QVERIFY(window.menuStrip->isVisible());
        QTest::keyClick(&window, Qt::Key_Escape); // not full screen: nothing
        QVERIFY(!window.isFullScreen);
    }

    void keysActInNormalWindow() {
        FakeEngine fake;
        DRUI window;
        window.setupWindow();
        showActive(window);
        startPlaying(window, fake);
        QTest::keyClick(&window, Qt::Key_Up);
        QCOMPARE(window.volumeSlider->value(), 55);
        QVERIFY(fake.waitForCommand("pausing_keep volume 55 100"));
        QTest::keyClick(&window, Qt::Key_Down);
        QCOMPARE(window.volumeSlider->value(), 50);
        QTest::keyClick(&window, Qt::Key_S);
        QVERIFY(fake.waitForCommand("screenshot 0"));
        QTest::keyClick(&window, Qt::Key_Right);
        QVERIFY(fake.waitForCommand("seek 60 2"));
        QTest::keyClick(&window, Qt::Key_Space);
        QVERIFY(fake.waitForCommand("pause"));
        QCOMPARE(window.playPauseAction->data().toString(), QStringLiteral("Resume"));
        QTest::keyClick(&window, Qt::Key_Space);
        QCOMPARE(window.playPauseAction->data().toString(), QStringLiteral("Pause"));
        // Navigation belongs to discs: P does nothing for a file.
        QTest::keyClick(&window, Qt::Key_P);
        QCOMPARE(window.pageStack->currentIndex(), 2);
    }

    void keysBeforeVideoShows() {
        AnsweredWindow window;
        window.setupWindow();
        showActive(window);
        window.sourceKind = 0;
        QTest::keyClick(&window, Qt::Key_Right);
        QTest::keyClick(&window, Qt::Key_S);
        QTest::keyClick(&window, Qt::Key_F);
        QVERIFY(!window.engineProcess);
        QTest::keyClick(&window, Qt::Key_Up);
        QCOMPARE(window.volumeSlider->value(), 55);
        QTest::keyClick(&window, Qt::Key_Space); // nothing to play: asks for files
        QCOMPARE(window.fileDialogs, 1);
    }

    void everyKeyInEveryState_data() {
        QTest::addColumn<QString>("state");
        for (const char* state : {"idle", "playing", "paused", "stopped", "fullscreen", "disc page"})
            QTest::newRow(state) << QString(state);
    }
    void everyKeyInEveryState() {
        QFETCH(QString, state);
        FakeEngine fake;
        AnsweredWindow window;
        window.setupWindow();
        showActive(window);
        if (state != "idle")
            startPlaying(window, fake);
        if (state == "paused")
            window.pausePlayback();
        if (state == "stopped")
            window.StopBtn();
        if (state == "fullscreen")
            window.FullScreenBtn();
        if (state == "disc page") {
            window.sourceKind = 2;
            window.Navigation();
            QCOMPARE(window.pageStack->currentIndex(), 1);
        }
        const Qt::Key keys[] = {Qt::Key_Space, Qt::Key_Right, Qt::Key_Left, Qt::Key_Up,    Qt::Key_Down,
                                Qt::Key_P,     Qt::Key_S,     Qt::Key_F,    Qt::Key_Escape};
        for (int round = 0; round < 2; ++round)
            for (Qt::Key key : keys) {
                QTest::keyClick(&window, key);
                QCoreApplication::processEvents();
            }
        QVERIFY(window.volumeSlider->value() >= 0 && window.volumeSlider->value() <= 100);
        QVERIFY(window.menuStrip);
    }

    void repaintEnablesEntries() {
        FakeEngine fake;
        DRUI window;
        window.setupWindow();
        showActive(window);
        QAction* forward = entryWithData(window.controlsMenu, QStringLiteral("Forward"));
        QAction* navigation = entryWithData(window.controlsMenu, QStringLiteral("Navigation"));
        QVERIFY(!forward->isEnabled());
        startPlaying(window, fake);
        for (QMenu* menu : {window.controlsMenu, window.videoMenu, window.audioMenu, window.toolsMenu})
            for (QAction* action : menu->actions())
                QVERIFY2(action->isEnabled() || action == navigation, qPrintable(action->data().toString()));
        QVERIFY(!navigation->isEnabled());
        QVERIFY(window.snapshotAction->isEnabled());
        QTRY_COMPARE(window.nowPlayingLabel->text(), QStringLiteral("    clip one.mkv"));

        window.StopBtn(); // back to the start page: entries stay enabled
        QCOMPARE(window.pageStack->currentIndex(), 0);
        window.repaint();
        QVERIFY(forward->isEnabled());

        // A disc: navigation follows the kind, the label shows the disc name.
        window.sourceKind = 2;
        window.discNameLabel->setText("MY DISC");
        window.pageStack->setCurrentIndex(2);
        QTRY_VERIFY(navigation->isEnabled());
        QTRY_COMPARE(window.nowPlayingLabel->text(), QStringLiteral("    MY DISC"));
    }

    void discPageHighlightsChoices() {
        DRUI window;
        window.setupWindow();
        showActive(window);
        auto* audio = new QMenu(&window);
        audio->addAction("English");
        QAction* japanese = audio->addAction("Japanese");
        window.discAudioAction->setMenu(audio);
        auto* subtitles = new QMenu(&window);
        QAction* off = subtitles->addAction("Off");
        subtitles->addAction("English");
        window.discSubtitleAction->setMenu(subtitles);
        window.activeAudioAction = japanese;
        window.activeSubtitleAction = off;
        window.sourceKind = 2;
        window.pageStack->setCurrentIndex(1);
        window.repaint();
        QTRY_COMPARE(audio->activeAction(), japanese);
        QCOMPARE(subtitles->activeAction(), off);
        QVERIFY(window.discMenu->isVisible());
        // An entry no longer listed is left alone.
        QAction stray("gone");
        window.activeAudioAction = &stray;
        window.repaint();
        QCOMPARE(audio->activeAction(), japanese);
        window.activeAudioAction = nullptr;
    }

    void sliderPressSeeks() {
        FakeEngine fake;
        DRUI window;
        window.setupWindow();
        showActive(window);
        // Without an engine a press on the groove does nothing to the window.
        window.sliderTicks = 3;
        QTest::mousePress(window.progressSlider, Qt::LeftButton, {},
                          QPoint(window.progressSlider->width() / 2, 5));
        QTest::mouseRelease(window.progressSlider, Qt::LeftButton, {},
                            QPoint(window.progressSlider->width() / 2, 5));
        QCOMPARE(window.sliderTicks, 3);

        startPlaying(window, fake);
        window.sliderTicks = 3;
        const QPoint at(window.progressSlider->width() * 3 / 4, window.progressSlider->height() / 2);
        QTest::mousePress(window.progressSlider, Qt::LeftButton, {}, at);
        QTest::mouseRelease(window.progressSlider, Qt::LeftButton, {}, at);
        QCOMPARE(window.sliderTicks, 0);
        QVERIFY(fake.waitForCommand("seek 75 2"));
        const QPoint quarter(window.volumeSlider->width() / 4, window.volumeSlider->height() / 2);
        QTest::mousePress(window.volumeSlider, Qt::LeftButton, {}, quarter);
        QTest::mouseRelease(window.volumeSlider, Qt::LeftButton, {}, quarter);
        QCOMPARE(window.volumeSlider->value(), 25);
    }

    void drops() {
        FakeEngine fake;
        AnsweredWindow window;
        window.setupWindow();
        window.setEnginePath(FakeEngine::program());

        auto* text = new QMimeData;
        text->setText("/etc/passwd");
        QVERIFY(dropOn(window, text)); // accepted on entry, ignored on drop
        delete text;
        auto* remote = new QMimeData;
        remote->setUrls({QUrl("https://example.invalid/clip.mkv"), QUrl::fromLocalFile(clip)});
        QVERIFY(dropOn(window, remote));
        delete remote;
        QVERIFY(window.refusals.isEmpty());
        QVERIFY(!window.engineProcess);
        QVERIFY(window.currentSource.isEmpty());

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
        QVERIFY(fake.waitForStart());
        QVERIFY(fake.arguments().contains(clip));
        QCOMPARE(window.currentSource, clip);
        QVERIFY(window.playList.size() <= 1);
    }

    void closeEndsEngine_data() {
        QTest::addColumn<bool>("throughMenu");
        QTest::newRow("File menu Close") << true;
        QTest::newRow("window frame") << false;
    }
    void closeEndsEngine() {
        QFETCH(bool, throughMenu);
        FakeEngine fake;
        DRUI window;
        window.setupWindow();
        showActive(window);
        startPlaying(window, fake);
        QPointer<QProcess> engine = window.engineProcess;
        qint64 pid = engine->processId();
        QVERIFY(pid > 0);
        if (throughMenu)
            window.BDFileMenu(entryWithData(window.fileMenu, QStringLiteral("Close")));
        else
            window.close();
        QVERIFY(!window.isVisible());
        QVERIFY(!window.engineProcess || window.engineProcess->state() == QProcess::NotRunning);
        QVERIFY(engine.isNull() || engine->state() == QProcess::NotRunning);
        QTRY_VERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
        if (throughMenu) {
            QVERIFY(fake.count("q") >= 1);
            QVERIFY(!window.engineProcess);
            QVERIFY(window.isStopped);
        }
    }
};

QTEST_MAIN(TestWindowEvents)
#include "tst_window_events.moc"
