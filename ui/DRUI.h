#pragma once

// The player's main window. One class; its member definitions live with their
// concern: ui/ (construction, menus, window events), engine/ (playback,
// output parsing, tracks and snapshots) and media/ (opening sources, disc
// menus, play list).

#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include "engine/Snapshots.h"
#include "media/MplsTypes.h"
#include "media/PlayListInfo.h"

class QAction;
class QBoxLayout;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QEvent;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QMenu;
class QMouseEvent;
class QPaintEvent;
class QProcess;
class QPushButton;
class QResizeEvent;
class QSlider;
class QStackedLayout;
class QTableWidget;
class QTimer;
class QVBoxLayout;
class QWidget;

class DRUI : public QMainWindow {
    Q_OBJECT

public:
    explicit DRUI(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~DRUI() override;

    // Builds (or rebuilds, after a language switch) the whole widget tree.
    void setupWindow();

    // ---- operations without a slot of their own ----
    // Playback (engine/)
    void pausePlayback();
    void resumePlayback();
    void seekForward();
    void seekBackward();
    void seekToChapter(qint64 startMs);
    void writeEngine(const QByteArray& command); // dropped when there is no engine
    void endEngine();                            // quit, then kill after a short grace
    void saveSnapshot(const QByteArray& engineLine);
    void refreshRecentFilesMenu();
    // Sources (media/)
    void loadDiscFolder(const QString& folder);
    void buildDiscMenus(const QString& folder);
    void addFiles(const QStringList& paths);
    void addDvdFolder(const QString& folder);
    void addBluRayTitle();
    QString probeDuration(const QString& file);
    void appendPlayListRows(const QList<PLAY_LIST_INFO>& entries);
    void markPlayingRow();

    // Where the side programs are; tests point these at fakes.
    QString enginePath() const;
    void setEnginePath(const QString& path) { engineProgramOverride = path; }
    QString probePath() const;

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
    void MPlayerDataRecieve();
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

    // ---- construction (ui/MainWindow.cpp) ----
    void createWidgets();
    void createPlayListTable();
    QPushButton* createBarButton(const QString& picture, const char* slot);
    void prepareDataFolder(); // the data-folder build step

    // ---- menus (ui/Menus.cpp) ----
    void createMenuButton(int index, int x, QWidget* strip);
    void createFileMenu(QPushButton* button);
    void createControlsMenu(QPushButton* button);
    void createVideoMenu(QPushButton* button);
    void createAudioMenu(QPushButton* button);
    void createToolsMenu(QPushButton* button);
    void createHelpMenu(QPushButton* button);

    // ---- engine helpers (engine/) ----
    void startEngine();
    void setVolumeIcon(bool muted);
    void connectEngineOutput(bool connect);
    void handleEngineLine(const QByteArray& line);
    void handleEndOfPlayback();
    void handleVideoStart();
    void engineFinished();
    void scheduleEngineOutput();
    void limitEngineBacklog();          // drops unread output beyond kMaxEngineBacklog
    bool engineOutputConnected = false; // readyReadStandardOutput is wired to the parser
    bool engineOutputScheduled = false; // a deferred parser run is pending
    bool skippingLongLine = false;      // dropping the rest of an overlong engine line

public:
    // ---- widgets (ui/) ----
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
    QTimer* refreshTimer = nullptr;
    bool isFullScreen = false;
    QString dataFolder;
    int snapshotFormatIndex = 0;

    // ---- menus (ui/Menus.cpp) ----
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

    // ---- playback state (engine/) ----
    QProcess* engineProcess = nullptr;
    QString currentSource;
    QString playingSource;
    QString sourceKey;
    qint32 sourceKind = 2;
    bool titleChosen = false;
    QMap<QString, qint32> titleTable;
    QMap<QString, qint32> audioChoiceTable;
    QMap<QString, qint32> subtitleChoiceTable;
    qint32 audioTrackIndex = -1;
    qint32 subtitleTrackIndex = -1;
    qint32 startPosition = 0;
    qint64 mediaLength = 0;
    bool isPlaying = false;
    bool isStopped = false;
    bool isMuted = false;
    qint64 playClock = 0;
    QString positionText;
    qint32 sliderTicks = 0;
    qint32 seekTarget = 0;
    QStringList recentFiles;
    qint32 audioStreamCount = 0;
    qint32 subtitleStreamCount = 0;
    QString snapshotFormat = QStringLiteral("JPG");
    EngineSnapshots engineSnapshots; // the user's pending snapshot requests
    qint64 engineOutputDropped = 0;  // unread engine output dropped over the cap

    // ---- disc tables (media/) ----
    QMap<QString, QList<ClipInfo>> clipTable;
    QMap<QString, QList<StreamInfo>> subtitleStreamTable;
    QMap<QString, QList<StreamInfo>> audioStreamTable;
    QMap<QString, QList<qint32>> chapterTable;
    QMap<QString, QString> discFolderTable;
    QAction* activeSubtitleAction = nullptr;
    QAction* activeAudioAction = nullptr;
    QList<QMenu*> discPopups; // popups of the current disc, replaced on every load

    // ---- play list (media/) ----
    QList<PLAY_LIST_INFO> playList;
    int probeTimeoutMs = 20000; // a probe running longer is killed: no duration

private:
    QString engineProgramOverride;
};
