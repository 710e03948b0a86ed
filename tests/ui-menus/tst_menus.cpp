// The six menus as built, the recent-files list, the four menu handlers and
// the language switch that rebuilds the window.
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "MenusTestSupport.h"
#include "common/FakeEngine.h"
#include "config/LanguageManager.h"
#include "util/WebPages.h"

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestMenus : public QObject {
    Q_OBJECT
    PrivateHome* home = nullptr;
    ScratchLanguage* language = nullptr;

    QString recentPath() const { return home->dataFolder() + "RecentConfig.txt"; }

    QMenu* menuNamed(DRUI& w, const QString& name) {
        const QMap<QString, QMenu*> menus{{"file", w.fileMenu},
                                          {"controls", w.controlsMenu},
                                          {"video", w.videoMenu},
                                          {"audio", w.audioMenu},
                                          {"tools", w.toolsMenu},
                                          {"help", w.helpMenu},
                                          {"videoTrack", w.videoTrackMenu},
                                          {"channel", w.audioChannelMenu}};
        return menus.value(name);
    }

    // Starts the fake engine on a file source of the given length.
    void startPlaying(DRUI& window, FakeEngine& fake, qint64 length = 100) {
        const QString clip = home->path("clip.mkv");
        writeBytes(clip, "not really a video");
        window.setEnginePath(FakeEngine::program());
        window.sourceKind = 0;
        window.currentSource = clip;
        window.mediaLength = length;
        window.VideoPlay();
        QVERIFY(fake.waitForStart());
    }

private slots:
    void initTestCase() {
        language = new ScratchLanguage; // before the first caption
        home = new PrivateHome;
        QVERIFY(home->dir.isValid());
        registerPlayListInfoType();
    }
    void cleanupTestCase() {
        delete language;
        delete home;
    }
    void init() { QFile::remove(recentPath()); }

    void entriesAtBuild_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("data");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("checked"); // checkable and checked
        QTest::addColumn<bool>("submenu");
        auto row = [](const char* menu, int index, const QString& text, const QVariant& data,
                      const char* key = "", bool enabled = true, bool checked = false, bool submenu = false) {
            QTest::addRow("%s-%d", menu, index)
                << QString(menu) << index << text << data << QString(key) << enabled << checked << submenu;
        };
        const QString dots = QStringLiteral("...");
        row("file", 0, caption("MainWnd/OpenFile") + dots, "Open File");
        row("file", 1, caption("MainWnd/OpenDisc") + dots, "Open Disc");
        row("file", 2, caption("MainWnd/RecentFiles"), "Recent Files", "", true, false, true);
        row("file", 3, caption("MainWnd/Eject"), "Eject");
        row("file", 4, caption("MainWnd/Close"), "Close");
        row("controls", 0, caption("MainWnd/Play"), "Play", "Space");
        row("controls", 1, caption("MainWnd/Stop"), "Stop");
        row("controls", 2, caption("MainWnd/Previous"), "Pre", "", false);
        row("controls", 3, caption("MainWnd/Next"), "Next", "", false);
        row("controls", 4, caption("MainWnd/Forward"), "Forward", "Right", false);
        row("controls", 5, caption("MainWnd/Backward"), "Backward", "Left", false);
        row("controls", 6, caption("MainWnd/VolumeUp"), "VolumeUp", "Up");
        row("controls", 7, caption("MainWnd/VolumeDown"), "VolumeDown", "Down");
        row("controls", 8, caption("MainWnd/NavigationPanel"), "Navigation", "P", false);
        row("controls", 9, caption("MainWnd/Title"), "Title", "", false, false, true);
        row("controls", 10, caption("MainWnd/Chapter"), "Chapter", "", false, false, true);
        row("controls", 11, caption("MainWnd/FullScreen"), "FullScreen", "F", false);
        row("video", 0, caption("MainWnd/HalfSize"), "HalfSize", "", false);
        row("video", 1, caption("MainWnd/NormalSize"), "NormalSize", "", false);
        row("video", 2, caption("MainWnd/DoubleSize"), "DoubleSize", "", false);
        row("video", 3, caption("MainWnd/Fit2Screen"), "Fit2Screen", "", false);
        row("video", 4, caption("MainWnd/VideoTrack"), "VideoTrack", "", false, false, true);
        row("video", 5, caption("MainWnd/SubtitleTrack"), "SubtitleTrack", "", false, false, true);
        row("videoTrack", 0, "Disable", 0);
        row("videoTrack", 1, caption("MainWnd/Video") + " 1", 1, "", true, true);
        row("audio", 0, caption("MainWnd/AudioTrack"), "AudioTrack", "", false, false, true);
        row("audio", 1, caption("MainWnd/AudioChannel"), "AudioChannel", "", false, false, true);
        row("channel", 0, caption("MainWnd/Stereo"), "Stereo", "", true, true);
        row("channel", 1, caption("MainWnd/Left"), "Left");
        row("channel", 2, caption("MainWnd/Right"), "Right");
        row("tools", 0, caption("MainWnd/PlayList") + dots, "PlayList");
        row("tools", 1, caption("MainWnd/Preferences") + dots, "Preferences");
        row("tools", 2, caption("MainWnd/Snapshot"), "Snapshot", "S", false);
        row("help", 0, caption("MainWnd/Help"), "Help");
        row("help", 1, caption("MainWnd/Support"), "Support");
        row("help", 2, caption("MainWnd/Language"), "Language", "", true, false, true);
    }
    void entriesAtBuild() {
        QFETCH(QString, menu);
        QFETCH(int, row);
        DRUI window;
        window.setupWindow();
        QMenu* built = menuNamed(window, menu);
        QVERIFY(built);
        QVERIFY(row < built->actions().size());
        QAction* action = built->actions().at(row);
        QTEST(action->text(), "text");
        QFETCH(QVariant, data);
        QCOMPARE(action->data(), data);
        QCOMPARE(action->data().metaType(), data.metaType());
        QFETCH(QString, shortcut);
        QCOMPARE(action->shortcut(), QKeySequence(shortcut));
        if (!shortcut.isEmpty())
            QCOMPARE(action->shortcutContext(), Qt::WindowShortcut);
        QTEST(action->isEnabled(), "enabled");
        QFETCH(bool, checked);
        QCOMPARE(action->isCheckable(), checked);
        QCOMPARE(action->isChecked(), checked);
        QFETCH(bool, submenu);
        QCOMPARE(action->menu<QMenu*>() != nullptr, submenu);
    }

    void entryCounts() {
        DRUI window;
        window.setupWindow();
        QCOMPARE(window.fileMenu->actions().size(), 5);
        QCOMPARE(window.controlsMenu->actions().size(), 12);
        QCOMPARE(window.videoMenu->actions().size(), 6);
        QCOMPARE(window.audioMenu->actions().size(), 2);
        QCOMPARE(window.toolsMenu->actions().size(), 3);
        QCOMPARE(window.helpMenu->actions().size(), 3);
        QCOMPARE(window.playPauseAction, window.controlsMenu->actions().at(0));
        QCOMPARE(window.snapshotAction, window.toolsMenu->actions().at(2));
        QCOMPARE(window.recentFilesAction, window.recentFilesMenu->menuAction());
        QVERIFY(window.titleMenu->actions().isEmpty());
        QVERIFY(window.chapterMenu->actions().isEmpty());
        QVERIFY(window.subtitleTrackMenu->actions().isEmpty());
        QVERIFY(window.audioTrackMenu->actions().isEmpty());
    }

    void buttonsAndOwners() {
        DRUI window;
        window.setupWindow();
        const char* keys[] = {"MainWnd/File",  "MainWnd/Controls", "MainWnd/Video",
                              "MainWnd/Audio", "MainWnd/Tools",    "MainWnd/Help"};
        const QList<QMenu*> menus{window.fileMenu,  window.controlsMenu, window.videoMenu,
                                  window.audioMenu, window.toolsMenu,    window.helpMenu};
        QCOMPARE(window.menuButtons.size(), 6);
        for (int i = 0; i < 6; ++i) {
            QPushButton* button = window.menuButtons.at(i);
            QCOMPARE(button->parentWidget(), window.menuStrip);
            QCOMPARE(button->text(), caption(keys[i]));
            QCOMPARE(button->menu(), menus.at(i));
            QVERIFY2(!menus.at(i)->parent(), "top-level menus have no parent");
            QVERIFY(window.topMenus.contains(menus.at(i)));
        }
        for (QMenu* sub :
             {window.recentFilesMenu, window.titleMenu, window.chapterMenu, window.videoTrackMenu,
              window.subtitleTrackMenu, window.audioTrackMenu, window.audioChannelMenu, window.languageMenu})
            QCOMPARE(sub->parent(), &window);
        for (QMenu* menu : {window.titleMenu, window.chapterMenu}) {
            QVERIFY(menu->windowFlags().testFlag(Qt::FramelessWindowHint));
            QVERIFY(menu->testAttribute(Qt::WA_TranslucentBackground));
            QCOMPARE(menu->styleSheet(),
                     QStringLiteral("QMenu{background:rgba(255, 255, 255, 255);color: black;}"
                                    "QMenu::item:selected {background-color: rgba(0, 0, 0,30);}"));
        }
    }

    void rebuildFreesOldMenus() {
        DRUI window;
        window.setupWindow();
        QList<QPointer<QMenu>> old;
        for (QMenu* menu : window.topMenus)
            old << menu;
        QPointer<QMenu> oldRecent = window.recentFilesMenu;
        QVERIFY(old.size() >= 14);
        window.setupWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QPointer<QMenu>& menu : old)
            QVERIFY(menu.isNull());
        QVERIFY(oldRecent.isNull());
        QVERIFY(window.fileMenu && window.recentFilesMenu);
    }

    void languageEntries() {
        DRUI window;
        window.setupWindow();
        const auto& languages = LanguageManager::instance().languages();
        QCOMPARE(window.languageMenu->actions().size(), languages.size());
        QVERIFY(languages.size() >= 2);
        for (int i = 0; i < languages.size(); ++i) {
            QAction* entry = window.languageMenu->actions().at(i);
            QCOMPARE(entry->text(), languages.at(i).second);
            QCOMPARE(entry->data().toString(), languages.at(i).first);
            const bool current = languages.at(i).first == LanguageManager::instance().currentLanguage();
            QCOMPARE(!entry->icon().isNull(), current);
            QCOMPARE(window.languageMenu->defaultAction() == entry, current);
        }
    }

    // ---- recent files ----

    void recentList_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        const QString folder = QDir::tempPath();
        QTest::newRow("files and a folder") << QByteArray("/a/one.mkv\n" + folder.toUtf8() + "\n/b/two.mp4\n")
                                            << QStringList{"/a/one.mkv", folder, "/b/two.mp4"};
        QTest::newRow("empty lines skipped, blanks kept")
            << QByteArray("\n/a.mkv\n\n\n   \n/b.mkv\n") << QStringList{"/a.mkv", "   ", "/b.mkv"};
        QTest::newRow("no line end at the end")
            << QByteArray("/a.mkv\n/b.mkv") << QStringList{"/a.mkv", "/b.mkv"};
        QTest::newRow("missing file") << QByteArray() << QStringList{};
    }
    void recentList() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        if (!file.isEmpty())
            QVERIFY(writeBytes(recentPath(), file));
        DRUI window;
        window.setupWindow();
        QCOMPARE(window.recentFiles, expected);
        const QList<QAction*> entries = window.recentFilesMenu->actions();
        QCOMPARE(entries.size(), expected.size() + 1);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(entries.at(i)->text(), expected.at(i));
            QCOMPARE(entries.at(i)->data().toString(), expected.at(i));
        }
        QCOMPARE(entries.last()->text(), caption("MainWnd/ClearMenu"));
        QCOMPARE(entries.last()->data().toString(), QStringLiteral("Clear Menu"));
    }

    void recentListHostile() {
        // A thousand lines, stray bytes, paths that are not there: loaded whole.
        QByteArray file;
        for (int i = 0; i < 1000; ++i)
            file += "/gone/clip" + QByteArray::number(i) + (i % 7 == 0 ? "\xff\xfe" : "") + ".mkv\n";
        file += "\n\n";
        QVERIFY(writeBytes(recentPath(), file));
        DRUI window;
        window.setupWindow();
        QCOMPARE(window.recentFiles.size(), 1000);
        QCOMPARE(window.recentFilesMenu->actions().size(), 1001);
        QCOMPARE(window.recentFiles.at(1), QStringLiteral("/gone/clip1.mkv"));
    }

    void clearMenu() {
        QVERIFY(writeBytes(recentPath(), "/a.mkv\n/b.mkv\n"));
        DRUI window;
        window.setupWindow();
        QAction* clear = entryWithData(window.recentFilesMenu, QStringLiteral("Clear Menu"));
        QVERIFY(clear);
        QPointer<QAction> guard = clear;
        // As the menu delivers it: the entry's own menu is still emitting.
        emit window.fileMenu->triggered(clear);
        QVERIFY(window.recentFiles.isEmpty());
        QVERIFY(window.recentFilesMenu->actions().isEmpty());
        QVERIFY(!QFile::exists(recentPath()));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
        // Clearing again with no file is harmless.
        window.BDFileMenu(entryWithData(window.fileMenu, QStringLiteral("Eject")));
        QAction again;
        again.setData(QStringLiteral("Clear Menu"));
        window.BDFileMenu(&again);
        QVERIFY(!QFile::exists(recentPath()));
    }

    void recentEntryOpensFolderOrFile() {
        // A plain folder goes to the disc-folder opener, which refuses it.
        QTemporaryDir plainFolder;
        QVERIFY(writeBytes(recentPath(), plainFolder.path().toUtf8() + "\n/nowhere/missing.mkv\n"));
        AnsweredWindow window;
        window.setupWindow();
        window.BDFileMenu(entryWithData(window.recentFilesMenu, plainFolder.path()));
        QCOMPARE(window.refusals.size(), 1);

        // A missing file is still handed to the play list; nothing plays and
        // nothing is refused.
        FakeEngine fake;
        window.setEnginePath(FakeEngine::program());
        window.BDFileMenu(entryWithData(window.recentFilesMenu, QStringLiteral("/nowhere/missing.mkv")));
        QCOMPARE(window.refusals.size(), 1);
        QVERIFY(!window.engineProcess || !fake.hasStarted());
    }

    void recentEntryPlaysFile() {
        const QString clip = home->path("recent clip.mkv");
        QVERIFY(writeBytes(clip, "x"));
        QVERIFY(writeBytes(recentPath(), clip.toUtf8() + "\n"));
        FakeEngine fake;
        AnsweredWindow window;
        window.setupWindow();
        window.setEnginePath(FakeEngine::program());
        QAction* entry = entryWithData(window.recentFilesMenu, clip);
        QVERIFY(entry);
        emit window.fileMenu->triggered(entry);
        QVERIFY(fake.waitForStart());
        QVERIFY(fake.arguments().contains(clip));
        QCOMPARE(window.currentSource, clip);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // ---- handlers ----

    void fileEntriesDispatchOnData() {
        AnsweredWindow window;
        window.setupWindow();
        // Captions must not matter: blank every one first.
        for (QAction* action : window.fileMenu->actions())
            action->setText(QString());
        window.BDFileMenu(entryWithData(window.fileMenu, QStringLiteral("Open File")));
        QCOMPARE(window.fileDialogs, 1);
        window.BDFileMenu(entryWithData(window.fileMenu, QStringLiteral("Open Disc")));
        QCOMPARE(window.folderDialogs, 1);
        window.BDFileMenu(entryWithData(window.fileMenu, QStringLiteral("Recent Files")));
        QCOMPARE(window.fileDialogs + window.folderDialogs, 2);
    }

    void controlsWithoutEngine() {
        AnsweredWindow window;
        window.setupWindow();
        window.sourceKind = 0;
        window.BDControlsMenu(window.playPauseAction);
        QCOMPARE(window.fileDialogs, 1); // nothing current: the file dialog
        window.BDControlsMenu(entryWithData(window.controlsMenu, QStringLiteral("VolumeUp")));
        QCOMPARE(window.volumeSlider->value(), 55);
        for (int i = 0; i < 12; ++i)
            window.BDControlsMenu(entryWithData(window.controlsMenu, QStringLiteral("VolumeDown")));
        QCOMPARE(window.volumeSlider->value(), 0);
        for (int i = 0; i < 25; ++i)
            window.BDControlsMenu(entryWithData(window.controlsMenu, QStringLiteral("VolumeUp")));
        QCOMPARE(window.volumeSlider->value(), 100);
        for (const char* data : {"Stop", "Pre", "Next", "Forward", "Backward", "Navigation", "FullScreen",
                                 "Title", "Chapter", "Pause", "Resume"}) {
            QAction entry;
            entry.setData(QString(data));
            window.BDControlsMenu(&entry);
        }
        QVERIFY(!window.engineProcess);
        QVERIFY(!window.isFullScreen);
    }

    void controlsDriveEngine() {
        FakeEngine fake;
        AnsweredWindow window;
        window.setupWindow();
        startPlaying(window, fake, 100);
        QVERIFY(fake.waitForCommand("volume 50 2"));
        auto choose = [&](const char* data) {
            QAction* action = entryWithData(window.controlsMenu, QString(data));
            if (!action && window.playPauseAction->data().toString() == QLatin1String(data))
                action = window.playPauseAction;
            QVERIFY2(action, data);
            window.BDControlsMenu(action);
        };
        choose("Pause");
        QVERIFY(fake.waitForCommand("pause"));
        QCOMPARE(window.playPauseAction->data().toString(), QStringLiteral("Resume"));
        choose("Resume");
        QCOMPARE(window.playPauseAction->data().toString(), QStringLiteral("Pause"));
        choose("VolumeUp");
        QVERIFY(fake.waitForCommand("pausing_keep volume 55 100"));
        window.progressSlider->setValue(50);
        choose("Forward");
        QVERIFY(fake.waitForCommand("seek 96 2")); // past the end: four seconds before it
        window.progressSlider->setValue(30);
        choose("Backward");
        QVERIFY(fake.waitForCommand("seek 0 2"));
        window.BDToolMenu(window.snapshotAction);
        QVERIFY(fake.waitForCommand("screenshot 0"));
        choose("Stop");
        QVERIFY(fake.waitForCommand("q"));
        QVERIFY(window.isStopped);
        QCOMPARE(window.pageStack->currentIndex(), 0);
    }

    void discEntries() {
        FakeEngine fake;
        AnsweredWindow window;
        window.setupWindow();
        startPlaying(window, fake);
        // A disc's chapter and title lists, as hung under the disc page's entries.
        auto* chapters = new QMenu(&window);
        QAction* chapter = chapters->addAction("Chapter 2");
        chapter->setData(61999);
        window.discChapterAction->setMenu(chapters);
        window.chapterMenu->addAction(chapter);
        auto* titles = new QMenu(&window);
        QAction* title = titles->addAction("Title 3");
        PLAY_LIST_INFO info;
        info.kind = 2;
        info.path = "/disc/BDMV/PLAYLIST/00003.mpls";
        title->setData(QVariant::fromValue(info));
        window.discTitlesAction->setMenu(titles);
        window.titleMenu->addAction(title);

        window.BDControlsMenu(chapter);
        QVERIFY(fake.waitForCommand("seek 61 2"));
        QCOMPARE(window.playClock, 61000);
        QVERIFY(!window.titleChosen);

        window.sourceKind = 0;
        window.BDControlsMenu(title);
        QCOMPARE(window.sourceKind, 2);
        QCOMPARE(window.sourceKey, info.path);
        QVERIFY(window.titleChosen);
        QVERIFY(window.isStopped || fake.count("q") > 0);
        QVERIFY(fake.waitForCommand("q"));
    }

    void toolsEntries() {
        AnsweredWindow window;
        window.setupWindow();
        QAction* list = entryWithData(window.toolsMenu, QStringLiteral("PlayList"));
        QVERIFY(window.playListTable && window.playListTable->isHidden());
        window.BDToolMenu(list);
        QVERIFY(!window.playListTable->isHidden());
        window.BDToolMenu(list);
        QVERIFY(window.playListTable->isHidden());
        window.BDToolMenu(entryWithData(window.toolsMenu, QStringLiteral("Preferences")));
        QCOMPARE(window.preferenceRuns, 1);
        window.BDToolMenu(window.snapshotAction); // no engine: nothing
        QVERIFY(!window.engineProcess);
    }

    void preferencesThroughMenu() {
        // The real dialog, confirmed with PNG, then cancelled with BMP.
        AnsweredWindow window;
        window.realPreferences = true;
        window.setupWindow();
        auto answer = [](int index, const char* button) {
            QTimer::singleShot(0, [=] {
                QTRY_VERIFY(QApplication::activeModalWidget());
                QWidget* dialog = QApplication::activeModalWidget();
                auto* box = dialog->findChild<QComboBox*>("formatBox");
                QVERIFY(box);
                box->setCurrentIndex(index);
                auto* b = dialog->findChild<QPushButton*>(button);
                QVERIFY(b);
                b->click();
            });
        };
        answer(1, "okButton");
        window.BDToolMenu(entryWithData(window.toolsMenu, QStringLiteral("Preferences")));
        QCOMPARE(window.snapshotFormatIndex, 1);
        QCOMPARE(window.snapshotFormat, QStringLiteral("PNG"));
        answer(2, "cancelButton");
        window.BDToolMenu(entryWithData(window.toolsMenu, QStringLiteral("Preferences")));
        QCOMPARE(window.snapshotFormatIndex, 1);
        QCOMPARE(window.snapshotFormat, QStringLiteral("PNG"));
    }

    void helpEntriesOpenPages() {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        QDesktopServices::setUrlHandler("https", &recorder, "open");
        QDesktopServices::setUrlHandler("http", &recorder, "open");
        DRUI window;
        window.setupWindow();
        window.BDHelpMenu(entryWithData(window.helpMenu, QStringLiteral("Help")));
        window.BDHelpMenu(entryWithData(window.helpMenu, QStringLiteral("Support")));
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
        window.playListTable->show();
        PLAY_LIST_INFO entry;
        entry.path = "/x.mkv";
        window.playList << entry;
        window.pageStack->setCurrentIndex(1);
        QPointer<QPushButton> oldButton = window.menuButtons.first();
        QPointer<QMenu> oldHelp = window.helpMenu;
        const QString titleBefore = window.windowTitle();

        QAction* scratch = entryWithData(window.languageMenu, QStringLiteral("/KzpScratch"));
        QVERIFY(scratch);
        // Delivered the way a click does: through the old Help menu's signal.
        emit window.helpMenu->triggered(scratch);
        QVERIFY(oldHelp); // still alive while its signal runs
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(oldButton.isNull());
        QVERIFY(oldHelp.isNull());

        QCOMPARE(LanguageManager::instance().currentLanguage(), QStringLiteral("/KzpScratch"));
        QVERIFY(language->configText().contains("Default=/KzpScratch"));
        const char* buttons[] = {"T-File", "T-Controls", "T-Video", "T-Audio", "T-Tools", "T-Help"};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(window.menuButtons.at(i)->text(), QString(buttons[i]));
        QCOMPARE(window.playPauseAction->text(), QStringLiteral("T-Play"));
        QCOMPARE(window.recentFilesAction->text(), QStringLiteral("T-RecentFiles"));
        QCOMPARE(window.fileMenu->actions().at(0)->text(), QStringLiteral("T-OpenFile..."));
        QCOMPARE(window.startTitleLabel->text(), QStringLiteral("T-ProTitle"));
        QCOMPARE(window.windowTitle(), titleBefore);
        QVERIFY(window.playList.isEmpty());
        QCOMPARE(window.pageStack->currentIndex(), 0);
        QCOMPARE(window.languageMenu->defaultAction()->data().toString(), QStringLiteral("/KzpScratch"));
        QVERIFY(!window.languageMenu->defaultAction()->icon().isNull());
        QVERIFY(entryWithData(window.languageMenu, QStringLiteral("/English"))->icon().isNull());

        // And back, so the next tests see English again.
        emit window.helpMenu->triggered(entryWithData(window.languageMenu, QStringLiteral("/English")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.menuButtons.first()->text(), caption("MainWnd/File"));
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
        startPlaying(window, fake);
        if (state == "paused")
            window.pausePlayback();
        if (state == "disc") {
            window.sourceKind = 2;
            window.Navigation();
        }
        QPointer<QProcess> engine = window.engineProcess;
        QPointer<QLabel> surface = window.videoSurface;
        bool engineAliveWhenSurfaceWent = false;
        connect(surface, &QObject::destroyed,
                [&] { engineAliveWhenSurfaceWent = engine && engine->state() != QProcess::NotRunning; });
        emit window.helpMenu->triggered(entryWithData(window.languageMenu, QStringLiteral("/KzpScratch")));
        // Ended before the rebuild returns, not at some later point.
        QVERIFY(!engine || engine->state() == QProcess::NotRunning);
        QVERIFY(fake.count("q") >= 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(surface.isNull());
        QVERIFY(!engineAliveWhenSurfaceWent);
        QCOMPARE(window.pageStack->currentIndex(), 0);
        emit window.helpMenu->triggered(entryWithData(window.languageMenu, QStringLiteral("/English")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestMenus)
#include "tst_menus.moc"
