// The six menus, the recent-files list, the four menu handlers and the
// language switch that rebuilds the window.
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "MenusTestSupport.h"
#include "common/FakeEngine.h"
#include "common/IntentEngine.h"
#include "common/Playback.h"
#include "config/LanguageManager.h"
#include "engine/EngineSession.h"
#include "util/WebPages.h"

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

namespace {

const char* const menuNames[] = {"fileMenu",         "controlsMenu",   "videoMenu",         "audioMenu",
                                 "toolsMenu",        "helpMenu",       "recentFilesMenu",   "titleMenu",
                                 "chapterMenu",      "videoTrackMenu", "subtitleTrackMenu", "audioTrackMenu",
                                 "audioChannelMenu", "languageMenu"};

// The intents so far, cleared; when the controller resumes is its own test's concern.
QStringList intents(IntentEngine* engine) {
    QStringList taken = engine->take();
    taken.removeAll(QStringLiteral("resume"));
    return taken;
}

} // namespace

class TestMenus : public QObject {
    Q_OBJECT
    PrivateHome* home = nullptr;
    ScratchLanguage* language = nullptr;

    QString recentPath() const { return home->dataFolder() + "RecentConfig.txt"; }

    IntentEngine* build(DRUI& window) {
        window.setupWindow();
        return IntentEngine::install(window.playback());
    }

    // Plays a 100-second file: on the process fake unless build() put in the intent fake.
    void startPlaying(DRUI& window) {
        QVERIFY(writeBytes(home->path("clip.mkv"), "not really a video"));
        window.setEnginePath(FakeEngine::program());
        window.playback().setSource(sourceAt(home->path("clip.mkv"), SourceKind::File, 100));
        window.VideoPlay();
    }

private slots:
    void initTestCase() {
        language = new ScratchLanguage; // before the first caption
        QVERIFY(language->isReady());
        home = new PrivateHome;
        QVERIFY(home->dir.isValid());
        registerPlayListInfoType();
    }
    void cleanupTestCase() {
        delete language;
        delete home;
    }
    void init() { QFile::remove(recentPath()); }

    void menusOnButtonsFreedOnRebuild() {
        DRUI window;
        window.setupWindow();
        // Each button carries its menu: that is what makes the entries' keys act.
        const char* top[] = {"fileMenu", "controlsMenu", "videoMenu", "audioMenu", "toolsMenu", "helpMenu"};
        for (int i = 0; i < 6; ++i) {
            auto* button = window.part<QPushButton>(QStringLiteral("menuButton%1").arg(i + 1));
            QVERIFY(button);
            QCOMPARE(button->menu(), menu(window, top[i]));
        }
        QList<QPointer<QMenu>> old;
        for (const char* name : menuNames) {
            QVERIFY2(menu(window, name), name);
            old << menu(window, name);
        }
        window.setupWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (int i = 0; i < old.size(); ++i)
            QVERIFY2(old.at(i).isNull(), menuNames[i]);
        for (const char* name : menuNames)
            QVERIFY2(menu(window, name), name);
    }

    // ---- recent files ----

    void recentList() {
        // A thousand lines, stray bytes, blank lines, paths that are not there:
        // the first ten that are text are listed, in file order, each entry
        // carrying its path (lines of stray bytes name no file: dropped).
        QByteArray file;
        for (int i = 0; i < 1000; ++i)
            file += "/gone/clip" + QByteArray::number(i) + (i % 7 == 0 ? "\xff\xfe" : "") + ".mkv\n\n";
        QVERIFY(writeBytes(recentPath(), file));
        DRUI window;
        window.setupWindow();
        const QStringList recent = window.recentEntries();
        QCOMPARE(recent.size(), 10);
        QCOMPARE(recent.at(0), QStringLiteral("/gone/clip1.mkv"));
        QCOMPARE(recent.at(6), QStringLiteral("/gone/clip8.mkv"));
        const QList<QAction*> entries = menu(window, "recentFilesMenu")->actions();
        QCOMPARE(entries.size(), 11);
        for (int i = 0; i < recent.size(); ++i) {
            QCOMPARE(entries.at(i)->text(), recent.at(i));
            QCOMPARE(entries.at(i)->data().toString(), recent.at(i));
        }
        QCOMPARE(entries.last()->text(), caption("MainWnd/ClearMenu"));
        QCOMPARE(entries.last()->data().toString(), QStringLiteral("Clear Menu"));
    }

    void clearMenu() {
        QVERIFY(writeBytes(recentPath(), "/a.mkv\n/b.mkv\n"));
        DRUI window;
        window.setupWindow();
        QAction* clear = entry(window, "recentFilesMenu", "Clear Menu");
        QVERIFY(clear);
        QPointer<QAction> guard = clear;
        // As the menu delivers it: the entry's own menu is still emitting.
        emit menu(window, "fileMenu")->triggered(clear);
        QVERIFY(window.recentEntries().isEmpty());
        QVERIFY(menu(window, "recentFilesMenu")->actions().isEmpty());
        QVERIFY(!QFile::exists(recentPath()));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
        // Clearing again with no file is harmless.
        window.BDFileMenu(entry(window, "fileMenu", "Eject"));
        QAction again;
        again.setData(QStringLiteral("Clear Menu"));
        window.BDFileMenu(&again);
        QVERIFY(!QFile::exists(recentPath()));
    }

    void recentEntries() {
        // A plain folder goes to the disc-folder opener, which refuses it.
        QTemporaryDir plainFolder;
        const QString clip = home->path("recent clip.mkv");
        QVERIFY(writeBytes(clip, "x"));
        QVERIFY(writeBytes(recentPath(),
                           plainFolder.path().toUtf8() + "\n/nowhere/missing.mkv\n" + clip.toUtf8() + "\n"));
        AnsweredWindow window;
        IntentEngine* engine = build(window);
        window.BDFileMenu(entryWithData(menu(window, "recentFilesMenu"), plainFolder.path()));
        QCOMPARE(window.refusals.size(), 1);

        // A missing file is still handed to the play list; nothing plays and
        // nothing is refused.
        window.BDFileMenu(
            entryWithData(menu(window, "recentFilesMenu"), QStringLiteral("/nowhere/missing.mkv")));
        QCOMPARE(window.refusals.size(), 1);
        QVERIFY(!window.playback().hasEngine());

        // A file plays, delivered as a click delivers it.
        QAction* played = entryWithData(menu(window, "recentFilesMenu"), clip);
        QVERIFY(played);
        emit menu(window, "fileMenu")->triggered(played);
        QCOMPARE(engine->take(), QStringList{"start recent clip.mkv volume 50 from 0"});
        QCOMPARE(window.playback().currentSource().path, clip);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // ---- handlers ----

    void fileEntriesDispatchOnData() {
        AnsweredWindow window;
        window.setupWindow();
        // Captions must not matter: blank every one first.
        for (QAction* action : menu(window, "fileMenu")->actions())
            action->setText(QString());
        window.BDFileMenu(entry(window, "fileMenu", "Open File"));
        QCOMPARE(window.fileDialogs, 1);
        window.BDFileMenu(entry(window, "fileMenu", "Open Disc"));
        QCOMPARE(window.folderDialogs, 1);
        window.BDFileMenu(entry(window, "fileMenu", "Recent Files"));
        QCOMPARE(window.fileDialogs + window.folderDialogs, 2);
    }

    void controlsWithoutEngine() {
        AnsweredWindow window;
        window.setupWindow();
        auto* volume = window.part<QSlider>("volumeSlider");
        window.BDControlsMenu(playPauseEntry(window));
        QCOMPARE(window.fileDialogs, 1); // nothing current: the file dialog
        window.BDControlsMenu(entry(window, "controlsMenu", "VolumeUp"));
        QCOMPARE(volume->value(), 55);
        for (int i = 0; i < 12; ++i)
            window.BDControlsMenu(entry(window, "controlsMenu", "VolumeDown"));
        QCOMPARE(volume->value(), 0);
        for (int i = 0; i < 25; ++i)
            window.BDControlsMenu(entry(window, "controlsMenu", "VolumeUp"));
        QCOMPARE(volume->value(), 100);
        QCOMPARE(window.playback().volume(), 100);
        for (const char* data : {"Stop", "Pre", "Next", "Forward", "Backward", "Navigation", "FullScreen",
                                 "Title", "Chapter", "Pause", "Resume"}) {
            QAction action;
            action.setData(QString(data));
            window.BDControlsMenu(&action);
        }
        QVERIFY(!window.playback().hasEngine());
        QVERIFY(!window.isFullScreenMode());
    }

    void controlsDriveEngine() {
        AnsweredWindow window;
        IntentEngine* engine = build(window);
        startPlaying(window);
        auto choose = [&](const char* data) {
            QAction* action = entry(window, "controlsMenu", data);
            QVERIFY2(action, data);
            window.BDControlsMenu(action);
        };
        choose("Pause");
        QCOMPARE(playPauseEntry(window)->data().toString(), QStringLiteral("Resume"));
        choose("Resume");
        QCOMPARE(playPauseEntry(window)->data().toString(), QStringLiteral("Pause"));
        choose("VolumeUp");
        window.playback().clickSeek(50);
        choose("Forward"); // past the end: four seconds before it
        window.playback().clickSeek(30);
        choose("Backward");
        window.BDToolMenu(entry(window, "toolsMenu", "Snapshot"));
        choose("Stop");
        QCOMPARE(intents(engine),
                 (QStringList{"start clip.mkv volume 50 from 0", "pause", "volume 55 keeping pause",
                              "seek 50", "seek 96", "seek 30", "seek 0", "snapshot", "quit"}));
        QVERIFY(window.playback().isStopped());
        QCOMPARE(shownPage(window), QStringLiteral("startPage"));
    }

    void discEntries() {
        AnsweredWindow window;
        IntentEngine* engine = build(window);
        startPlaying(window);
        // A disc's chapter and title lists, as hung under the disc page's entries.
        const QList<QAction*> discPage = menu(window, "discMenu")->actions();
        QCOMPARE(discPage.size(), 5); // play, chapters, audio, subtitles, other titles
        auto* chapters = new QMenu(&window);
        QAction* chapter = chapters->addAction("Chapter 2");
        chapter->setData(61999);
        discPage.at(1)->setMenu(chapters);
        menu(window, "chapterMenu")->addAction(chapter);
        auto* titles = new QMenu(&window);
        QAction* title = titles->addAction("Title 3");
        PLAY_LIST_INFO info;
        info.kind = 2;
        info.path = "/disc/BDMV/PLAYLIST/00003.mpls";
        title->setData(QVariant::fromValue(info));
        discPage.at(4)->setMenu(titles);
        menu(window, "titleMenu")->addAction(title);

        window.BDControlsMenu(chapter);
        QCOMPARE(window.playback().playClockMs(), qint64(61000));
        QVERIFY(!window.playback().currentSource().titleChosen);

        window.BDControlsMenu(title);
        QCOMPARE(window.playback().currentSource().kind, SourceKind::BluRay);
        QCOMPARE(window.playback().currentSource().titleKey, info.path);
        QVERIFY(window.playback().currentSource().titleChosen);
        QCOMPARE(intents(engine), (QStringList{"start clip.mkv volume 50 from 0", "seek 61", "quit"}));
    }

    void toolsEntries() {
        AnsweredWindow window;
        window.setupWindow();
        QAction* list = entry(window, "toolsMenu", "PlayList");
        auto* table = window.part<QTableWidget>("playListTable");
        QVERIFY(table && table->isHidden());
        window.BDToolMenu(list);
        QVERIFY(!table->isHidden());
        window.BDToolMenu(list);
        QVERIFY(table->isHidden());
        window.BDToolMenu(entry(window, "toolsMenu", "Preferences"));
        QCOMPARE(window.preferenceRuns, 1);
        window.BDToolMenu(entry(window, "toolsMenu", "Snapshot")); // no engine: nothing
        QVERIFY(!window.playback().hasEngine());
    }

    void preferencesThroughMenu() {
        // The real dialog, confirmed with PNG, then cancelled with BMP.
        AnsweredWindow window;
        window.realPreferences = true;
        window.setupWindow();
        int shownIndex = -1;
        auto answer = [&shownIndex](int index, const char* button) {
            QTimer::singleShot(0, [=, &shownIndex] {
                QTRY_VERIFY(QApplication::activeModalWidget());
                QWidget* dialog = QApplication::activeModalWidget();
                auto* box = dialog->findChild<QComboBox*>("formatBox");
                QVERIFY(box);
                shownIndex = box->currentIndex();
                box->setCurrentIndex(index);
                auto* b = dialog->findChild<QPushButton*>(button);
                QVERIFY(b);
                b->click();
            });
        };
        answer(1, "okButton");
        window.BDToolMenu(entry(window, "toolsMenu", "Preferences"));
        QCOMPARE(shownIndex, 0);
        QCOMPARE(window.playback().snapshotFormat(), QStringLiteral("PNG"));
        answer(2, "cancelButton");
        window.BDToolMenu(entry(window, "toolsMenu", "Preferences"));
        QCOMPARE(shownIndex, 1); // the confirmed choice is offered again
        QCOMPARE(window.playback().snapshotFormat(), QStringLiteral("PNG"));
    }

    void helpEntriesOpenPages() {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        QDesktopServices::setUrlHandler("https", &recorder, "open");
        QDesktopServices::setUrlHandler("http", &recorder, "open");
        DRUI window;
        window.setupWindow();
        window.BDHelpMenu(entry(window, "helpMenu", "Help"));
        window.BDHelpMenu(entry(window, "helpMenu", "Support"));
        window.btnAboutSlot();
        QDesktopServices::unsetUrlHandler("file");
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(recorder.urls.size(), 3);
        QCOMPARE(recorder.urls.at(0), QUrl(WebPages::instance().guide()));
        QCOMPARE(recorder.urls.at(1), QUrl(WebPages::instance().supportSecond()));
        QCOMPARE(recorder.urls.at(2), QUrl(WebPages::instance().support()));
        if (QByteArray(KZP_TEST_GUIDE_URL).isEmpty()) {
            QCOMPARE(recorder.urls.at(0),
                     QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/guide/index.html"));
            QCOMPARE(recorder.urls.at(1).fragment(), QStringLiteral("support"));
            QCOMPARE(recorder.urls.at(1).adjusted(QUrl::RemoveFragment), recorder.urls.at(0));
        }
    }

    // ---- language switch ----

    void languageSwitchRebuilds() {
        DRUI window;
        window.setupWindow();
        window.show();
        window.part<QTableWidget>("playListTable")->show();
        PLAY_LIST_INFO listed;
        listed.path = "/x.mkv";
        window.appendPlayListRows({listed});
        window.playback().showPage(Page::Disc);
        QCOMPARE(shownPage(window), QStringLiteral("discPage"));
        QPointer<QPushButton> oldButton = window.part<QPushButton>("menuButton1");
        QPointer<QMenu> oldHelp = menu(window, "helpMenu");
        const QString titleBefore = window.windowTitle();

        // The offered languages in file order, the current one marked.
        const QList<QAction*> offered = menu(window, "languageMenu")->actions();
        QCOMPARE(offered.size(), 2);
        QCOMPARE(offered.at(0)->text(), QStringLiteral("English"));
        QCOMPARE(offered.at(1)->data().toString(), QStringLiteral("/KzpScratch"));
        QCOMPARE(menu(window, "languageMenu")->defaultAction(), offered.at(0));
        QVERIFY(!offered.at(0)->icon().isNull() && offered.at(1)->icon().isNull());

        QAction* scratch = offered.at(1);
        // Delivered the way a click does: through the old Help menu's signal.
        emit oldHelp->triggered(scratch);
        QVERIFY(oldHelp); // still alive while its signal runs
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(oldButton.isNull());
        QVERIFY(oldHelp.isNull());

        QCOMPARE(LanguageManager::instance().currentLanguage(), QStringLiteral("/KzpScratch"));
        QVERIFY(language->configText().contains("Default=/KzpScratch"));
        const char* buttons[] = {"T-File", "T-Controls", "T-Video", "T-Audio", "T-Tools", "T-Help"};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(window.part<QPushButton>(QStringLiteral("menuButton%1").arg(i + 1))->text(),
                     QString(buttons[i]));
        QCOMPARE(playPauseEntry(window)->text(), QStringLiteral("T-Play"));
        QCOMPARE(menu(window, "recentFilesMenu")->menuAction()->text(), QStringLiteral("T-RecentFiles"));
        QCOMPARE(window.part<QLabel>("startTitleLabel")->text(), QStringLiteral("T-ProTitle"));
        QCOMPARE(window.windowTitle(), titleBefore);
        QVERIFY(window.playListModel().isEmpty());
        QCOMPARE(window.part<QTableWidget>("playListTable")->rowCount(), 0);
        QCOMPARE(shownPage(window), QStringLiteral("startPage"));
        QMenu* languages = menu(window, "languageMenu");
        QCOMPARE(languages->defaultAction()->data().toString(), QStringLiteral("/KzpScratch"));
        QVERIFY(!languages->defaultAction()->icon().isNull());
        QVERIFY(entryWithData(languages, QStringLiteral("/English"))->icon().isNull());

        // And back, so the next tests see English again.
        emit menu(window, "helpMenu")->triggered(entry(window, "languageMenu", "/English"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.part<QPushButton>("menuButton1")->text(), caption("MainWnd/File"));
        QVERIFY(language->configText().contains("Default=/English"));
    }

    void languageSwitchEndsEngine_data() {
        QTest::addColumn<QString>("state");
        QTest::newRow("playing") << "playing";
        QTest::newRow("paused") << "paused";
        QTest::newRow("disc page") << "disc";
    }
    void languageSwitchEndsEngine() {
        QFETCH(QString, state);
        FakeEngine fake;
        DRUI window;
        window.setupWindow();
        window.show();
        startPlaying(window);
        QVERIFY(fake.waitForStart());
        if (state == "paused")
            window.pausePlayback();
        if (state == "disc") {
            window.playback().open(sourceAt(home->path("clip.mkv"), SourceKind::BluRay, 100), OpenMode::Anew);
            window.Navigation();
        }
        QPointer<QProcess> engine = mplayerSession(window.playback()).findChild<QProcess*>();
        QVERIFY(engine);
        QPointer<QLabel> surface = window.part<QLabel>("videoSurface");
        bool engineAliveWhenSurfaceWent = false;
        connect(surface, &QObject::destroyed,
                [&] { engineAliveWhenSurfaceWent = engine && engine->state() != QProcess::NotRunning; });
        emit menu(window, "helpMenu")->triggered(entry(window, "languageMenu", "/KzpScratch"));
        // Ended before the rebuild returns, not at some later point.
        QVERIFY(!engine || engine->state() == QProcess::NotRunning);
        QVERIFY(!window.playback().hasEngine());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(surface.isNull());
        QVERIFY(!engineAliveWhenSurfaceWent);
        QCOMPARE(shownPage(window), QStringLiteral("startPage"));
        emit menu(window, "helpMenu")->triggered(entry(window, "languageMenu", "/English"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestMenus)
#include "tst_menus.moc"
