// The main window's widget tree as built, and as rebuilt after a language switch.
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "config/LanguageManager.h"
#include "ui/DRUI.h"

class TestMainWindow : public QObject {
    Q_OBJECT
    QTemporaryDir home;

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    }

    void frameAndTitle() {
        DRUI window;
        window.setupWindow();
        QCOMPARE(window.objectName(), QStringLiteral("DRUIClass"));
        QCOMPARE(window.centralWidget->objectName(), QStringLiteral("centralWidget"));
        QCOMPARE(window.size(), QSize(1000, 680));
        QCOMPARE(window.windowTitle(), QStringLiteral("Kestrune Zyl Player"));
        QVERIFY(window.acceptDrops());
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(window.refreshTimer && !window.refreshTimer->isActive());
    }

    void initialState() {
        DRUI window;
        window.setupWindow();
        QCOMPARE(window.sourceKind, 2);
        QCOMPARE(window.audioTrackIndex, -1);
        QCOMPARE(window.subtitleTrackIndex, -1);
        QCOMPARE(window.snapshotFormat, QStringLiteral("JPG"));
        QVERIFY(!window.engineProcess);
        QVERIFY(window.playList.isEmpty());
        QVERIFY(window.dataFolder.endsWith(QStringLiteral("/Kestrune Zyl Player/")));
        QVERIFY(QFileInfo(window.dataFolder).isDir());
    }

    void pagesInOrder() {
        DRUI window;
        window.setupWindow();
        QCOMPARE(window.pageStack->count(), 3);
        QCOMPARE(window.pageStack->currentIndex(), 0);
        QCOMPARE(window.pageStack->widget(0)->objectName(), QStringLiteral("startPage"));
        QCOMPARE(window.pageStack->widget(1)->objectName(), QStringLiteral("discPage"));
        QCOMPARE(window.pageStack->widget(2)->objectName(), QStringLiteral("videoPage"));
        QVERIFY(window.pageStack->widget(2)->isAncestorOf(window.videoSurface));
        QVERIFY(window.pageStack->widget(1)->isAncestorOf(window.discMenu));
    }

    void controlsAtStart() {
        DRUI window;
        window.setupWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QVERIFY(!window.progressSlider->isEnabled());
        QCOMPARE(window.progressSlider->minimum(), 0);
        QCOMPARE(window.progressSlider->maximum(), 100);
        QCOMPARE(window.volumeSlider->value(), 50);
        QCOMPARE(window.volumeSlider->maximum(), 100);
        for (QLabel* label : {window.elapsedLabel, window.lengthLabel}) {
            QCOMPARE(label->text(), QStringLiteral("   --:--:--"));
            QCOMPARE(label->width(), 50);
        }
        QCOMPARE(window.controlPanel->height(), 90);
        QVERIFY(window.nowPlayingLabel->text().isEmpty());
        QVERIFY(window.nowPlayingLabel->wordWrap());
        QVERIFY(window.playListTable);
        QVERIFY(!window.playListTable->isVisible());
        QCOMPARE(window.menuStrip->minimumSize(), QSize(1000, 22));

        // Bar buttons are exactly their pictures' size, flat, with a hand cursor.
        const QList<QPair<QPushButton*, QString>> bar = {
            {window.stopButton, ":/image/stop.png"},       {window.playButton, ":/image/play.png"},
            {window.previousButton, ":/image/pre.png"},    {window.nextButton, ":/image/next.png"},
            {window.volumeButton, ":/image/volume.png"},   {window.fullScreenButton, ":/image/fullscreen.png"}};
        for (const auto& [button, picture] : bar) {
            const QSize size = QPixmap(picture).size();
            QVERIFY2(!size.isEmpty(), qPrintable(picture));
            QCOMPARE(button->size(), size);
            QCOMPARE(button->iconSize(), size);
            QVERIFY(button->isFlat());
            QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
            QVERIFY(button->text().isEmpty());
        }

        // The start page's two big buttons.
        for (QPushButton* button : {window.openFileButton, window.openFolderButton}) {
            QCOMPARE(button->maximumWidth(), 300);
            QCOMPARE(button->minimumHeight(), 85);
            QVERIFY(button->text().startsWith(QStringLiteral("   ")));
            QVERIFY(button->isFlat());
        }
        QCOMPARE(window.openFileButton->text(), QStringLiteral("   ") + caption("MainWnd/OpenFile"));
        QCOMPARE(window.openFolderButton->text(), QStringLiteral("   ") + caption("MainWnd/OpenFolder"));
        QCOMPARE(window.startButtonColumn->contentsMargins(), QMargins(120, 0, 0, 0));
        QCOMPARE(window.startTitleLabel->text(), caption("MainWnd/ProTitle"));
    }

    void discPageMenu() {
        DRUI window;
        window.setupWindow();
        const QList<QAction*> actions = window.discMenu->actions();
        QCOMPARE(actions.size(), 5);
        const char* keys[] = {"MainWnd/PlayMovie", "MainWnd/Chapter", "MainWnd/Audio", "MainWnd/Subtitle",
                              "MainWnd/OtherTitles"};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(actions[i]->text(), caption(keys[i]));
        QCOMPARE(actions[1], window.discChapterAction);
        QCOMPARE(actions[2], window.discAudioAction);
        QCOMPARE(actions[3], window.discSubtitleAction);
        QCOMPARE(actions[4], window.discTitlesAction);
        // Embedded in the page, not a pop-up.
        QVERIFY(!window.discMenu->isWindow());
        QCOMPARE(window.discNameLabel->text(), caption("MainWnd/ProTitle"));
    }

    void rebuildReplacesTheTree() {
        DRUI window;
        window.setupWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QPointer<QWidget> oldRoot = window.rootWidget;
        QPointer<QLabel> oldSurface = window.videoSurface;
        QTimer* timer = window.refreshTimer;
        QWidget* central = window.centralWidget;
        window.pageStack->setCurrentIndex(2);
        window.playList.append(PLAY_LIST_INFO{0, "/tmp/a.mkv", "00:00:10"});
        window.resize(1200, 700);

        window.setupWindow();
        QVERIFY(window.rootWidget != oldRoot);
        QVERIFY(window.videoSurface != oldSurface);
        QCOMPARE(window.refreshTimer, timer);
        QCOMPARE(window.centralWidget, central);
        QCOMPARE(window.pageStack->currentIndex(), 0);
        QVERIFY(window.playList.isEmpty());
        QVERIFY(window.playListTable);
        QCOMPARE(window.playListTable->rowCount(), 0);
        // The strip's minimum width follows the window width at build time.
        QCOMPARE(window.menuStrip->minimumWidth(), 1200);
        // The old tree is detached at once and freed by the event loop.
        QVERIFY(!oldRoot || oldRoot->parent() == nullptr);
        QTRY_VERIFY(oldRoot.isNull());
        QCOMPARE(window.findChildren<QStackedLayout*>().size() >= 2, true);
        QCOMPARE(window.findChildren<QLabel*>(QStringLiteral("videoSurface")).size(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
