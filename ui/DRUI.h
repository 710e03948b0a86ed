#pragma once

// The player's main window. It owns the playback controller, the play list
// and the disc model, turns widget events into their calls and shows what
// they report. Its members are defined by concern in ui/: construction,
// menus, events, playback, sources, the disc page and the play list.

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>

#include "config/RecentFiles.h"
#include "engine/PlaybackController.h"
#include "media/DiscModel.h"
#include "media/DiscScanJob.h"
#include "media/PlayListInfo.h"
#include "media/PlayListModel.h"
#include "media/ProbeBatch.h"
#include "ui/Commands.h"

class QAction;
class QBoxLayout;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QEvent;
class QKeyEvent;
class QLabel;
class QMenu;
class QMouseEvent;
class QPaintEvent;
class QPushButton;
class QResizeEvent;
class QSlider;
class QStackedLayout;
class QTableWidget;
class QVBoxLayout;
class QWidget;

class DRUI : public QMainWindow {
    Q_OBJECT
    // The menu commands' actions are this window's own operations.
    friend class CommandTable;

public:
    explicit DRUI(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~DRUI() override;

    // Builds (or rebuilds, after a language switch) the whole widget tree.
    void setupWindow();

    // ---- operations without a slot of their own ----
    void pausePlayback();
    void resumePlayback();
    void seekForward();
    void seekBackward();
    void seekToChapter(qint64 startMs);
    void endEngine(); // quit, then kill after a short grace
    void refreshRecentFilesMenu();
    void loadDiscFolder(const QString& folder);
    void buildDiscMenus(const QString& folder);
    void addFiles(const QStringList& paths);
    void addDvdFolder(const QString& folder);
    // Plays the disc title `key` anew: picked from the title list (its own
    // number) or not (the disc's main movie), from `startSecond`.
    void addBluRayTitle(const QString& key, bool titleChosen = false, qint32 startSecond = 0);
    // The current source's title, as the Controls menu's Play starts it.
    void addBluRayTitle();
    QString probeDuration(const QString& file);
    void appendPlayListRows(const QList<PLAY_LIST_INFO>& entries);
    void markPlayingRow();

    // Where the side programs are; tests point these at fakes.
    QString enginePath() const;
    void setEnginePath(const QString& path);
    QString probePath() const;
    void setProbeTimeout(int milliseconds) { probes.setTimeout(milliseconds); }
    // True while addFiles() waits for its probes, or buildDiscMenus() for the
    // disc's playlists and the filling of long menus. The window keeps
    // painting and shows the progress; input that would start another
    // operation (opening, playing, previous/next, the language) is refused
    // meanwhile.
    bool isAddingFiles() const { return probes.isRunning() || discScan.isRunning() || fillingMenus; }

    // What the window shows and drives, for tests and tools: the playback
    // controller, the play list, the disc model, and any widget, menu or
    // pop-up by its object name.
    PlaybackController& playback() { return *controller; }
    const PlayListModel& playListModel() const { return playList; }
    DiscModel& discModel() { return disc; }
    QObject* part(const QString& objectName) const;
    template <typename T> T* part(const QString& objectName) const {
        return qobject_cast<T*>(part(objectName));
    }
    bool isFullScreenMode() const { return isFullScreen(); }
    QStringList recentEntries() const { return recentFiles.entries(); }

public slots:
    void BDMenuOperate(QAction* action);
    void BDFileMenu(QAction* action);
    void BDControlsMenu(QAction* action);
    void BDVideoMenu(QAction* action);
    void BDAudioMenu(QAction* action);
    void BDToolMenu(QAction* action);
    void BDHelpMenu(QAction* action);
    void PlayPre();
    void PlayNext();
    void Navigation();
    void Snapshot();
    void DoRefreshGui();
    void btnMinSlot();
    void btnCloseSlot();
    void btnOpenUrl(QString url);
    void btnHelpSlot();
    void btnSupportSlot();
    void btnAboutSlot();
    void btnMenButtonSlot();
    void btnOpenFile();
    void btnLoadBDPath();
    void btnOpenSnapshotFolder();
    void VideoPlay();
    void StopBtn();
    void FullScreenBtn();
    void VolumeBtn();
    void SliderSeek(int value);
    void SliderPress();
    void SliderRelease();
    void SliderMouseLButtonPress(QObject* slider, QEvent* event);
    void VolumeSliderSeek(int value);
    void PlayListItemDoubleClick(int row, int column);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // Dialogs, behind virtual calls so tests can answer them.
    virtual QStringList askOpenFiles();
    virtual QString askDiscFolder();
    virtual void showRefusal(const QString& message);
    virtual int runPreferences(); // returns the dialog's result flag (0 confirmed)
    // Carries out a menu command the handlers found; tests watch it.
    virtual void runCommand(const CommandRow& row);

private:
    // ---- construction (ui/MainWindow.cpp) ----
    void createWidgets();
    void createPlayListTable();
    QPushButton* createBarButton(const QString& picture, void (DRUI::*slot)());
    void prepareDataFolder();
    void connectController();

    // ---- menus (ui/Menus.cpp) ----
    void createMenuButton(int index, int x, QWidget* strip);
    void createFileMenu(QPushButton* button);
    void createControlsMenu(QPushButton* button);
    void createVideoMenu(QPushButton* button);
    void createAudioMenu(QPushButton* button);
    void createToolsMenu(QPushButton* button);
    void createHelpMenu(QPushButton* button);
    // Adds the table's rows of `id` to `menu` in order; a submenu row hangs
    // the submenu paired with its command.
    void addCommands(QMenu* menu, MenuId id, std::initializer_list<std::pair<Command, QMenu*>> submenus = {});
    // Runs the row of `id` whose data the entry carries; false when no row
    // has it (an entry that comes and goes).
    bool dispatchCommand(MenuId id, const QAction* action);
    // Enables the menu entries the page and the playback state allow.
    void updateMenuStates();

    // ---- showing what the controller reports (ui/PlaybackView.cpp) ----
    void showPage(Page page);
    void setVolumeIcon(bool muted);
    void rebuildAudioTracks(int streams);
    void rebuildSubtitleTracks(int streams);
    void prepareStart(const QString& source, SourceKind kind);
    // A left press on a slider away from its handle: seeks or sets the volume
    // there. True when taken, and then the slider must not see the press.
    bool clickSlider(QObject* slider, QEvent* event);
    void leaveFullScreen();
    // The window at `client` size, frame included inside its screen's work area (ui/Tracks.cpp).
    void resizeClient(QSize client);
    void stepPlayback(int direction);
    void openEntry(const PLAY_LIST_INFO& entry);
    // The disc model's title number and stream choices for a disc title source.
    Source withDiscChoices(Source source) const;
    // Opens a source with the volume the window's slider shows.
    void openSource(const Source& source, OpenMode mode);

    // ---- the play list (ui/PlayListView.cpp) ----
    // The lengths of `paths` in their order, probed in parallel while the
    // event loop runs; nothing when the window closed or the program is
    // ending before all were read.
    std::optional<QStringList> probeDurations(const QStringList& paths);
    void showProbeProgress(int finished, int total);

    // ---- the disc page (ui/DiscPage.cpp) ----
    // Reads `folder` into discScan beside the window thread while the event
    // loop runs, as probeDurations() does; false when the window closed or
    // the program is ending before the disc was read.
    bool readDisc(const QString& folder);
    // Calls add(0) .. add(count - 1), a slice per turn of the event loop when
    // there are many; false when the window closed or the program is ending
    // before all were added.
    bool addInSlices(qsizetype count, const std::function<void(qsizetype)>& add);

    // ---- owned objects ----
    PlaybackController* controller = nullptr;
    PlayListModel playList;
    DiscModel disc;
    RecentFileList recentFiles;
    ProbeBatch probes;         // the length probes addFiles() waits for
    DiscScanJob discScan;      // the disc buildDiscMenus() waits for
    bool fillingMenus = false; // buildDiscMenus() fills long menus a slice at a time

    // ---- widgets (rebuilt by setupWindow) ----
    QWidget* centralWidget = nullptr;
    QVBoxLayout* centralLayout = nullptr;
    QStackedLayout* rootStack = nullptr;
    QWidget* rootWidget = nullptr;
    QStackedLayout* pageStack = nullptr;
    QLabel* menuStrip = nullptr;
    QLabel* controlPanel = nullptr;
    QLabel* startTitleLabel = nullptr;
    QVBoxLayout* startButtonColumn = nullptr;
    QPushButton* openFileButton = nullptr;
    QPushButton* openFolderButton = nullptr;
    QLabel* videoSurface = nullptr;
    QSlider* progressSlider = nullptr;
    QLabel* elapsedLabel = nullptr;
    QLabel* lengthLabel = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* previousButton = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* volumeButton = nullptr;
    QSlider* volumeSlider = nullptr;
    QPushButton* fullScreenButton = nullptr;
    QLabel* nowPlayingLabel = nullptr;
    QLabel* discNameLabel = nullptr;
    QLabel* discPictureLabel = nullptr;
    QMenu* discMenu = nullptr;
    QAction* discPlayMovieAction = nullptr;
    QAction* discChapterAction = nullptr;
    QAction* discAudioAction = nullptr;
    QAction* discSubtitleAction = nullptr;
    QAction* discTitlesAction = nullptr;
    QTableWidget* playListTable = nullptr;
    QList<QPushButton*> menuButtons;
    QMenu* fileMenu = nullptr;
    QAction* playPauseAction = nullptr;
    QAction* recentFilesAction = nullptr;
    QMenu* recentFilesMenu = nullptr;
    QMenu* controlsMenu = nullptr;
    QMenu* titleMenu = nullptr;
    QMenu* chapterMenu = nullptr;
    QMenu* videoMenu = nullptr;
    QMenu* videoTrackMenu = nullptr;
    QMenu* subtitleTrackMenu = nullptr;
    QMenu* audioMenu = nullptr;
    QMenu* audioTrackMenu = nullptr;
    QMenu* audioChannelMenu = nullptr;
    QMenu* toolsMenu = nullptr;
    QAction* snapshotAction = nullptr;
    QMenu* helpMenu = nullptr;
    QMenu* languageMenu = nullptr;
    QList<QMenu*> topMenus; // parentless pop-ups of the current build, freed on rebuild
    std::array<QPointer<QAction>, kCommandCount> commandActions; // the current build's entry of each row
    QAction* activeSubtitleAction = nullptr;
    QAction* activeAudioAction = nullptr;
    QList<QMenu*> discPopups; // popups of the current disc, replaced on every load
};
