#pragma once

// Playback as the user sees it: one state, the player's own clock, the
// position slider, the time texts, volume, stream choices and snapshots. It
// owns the engine session and the refresh timer, and reports what the window
// must show through signals; it knows no widget.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "engine/EngineCommands.h"
#include "engine/Snapshots.h"
#include "util/SourceKind.h"

class EngineSession;
class QTimer;

enum class PlaybackState {
    Idle,    // no engine: never started, or ended on purpose
    Playing, // the clock runs and the engine is polled
    Paused,  // the engine holds its picture; its output waits
    Stopped, // quit sent or the engine ended; the engine object is kept
};

// The pages of the video area, in the order the window stacks them.
enum class Page {
    Start = 0,
    Disc = 1,
    Video = 2,
};

enum class AudioChannel { Stereo, Left, Right };

// What the disc model knows of the source's title, handed over before a start.
struct TitleChoice {
    bool hasTitle = false;   // the title's number is known
    qint32 title = 0;        // its number
    qint32 audioChoice = -1; // chosen audio entry (0 "Disable", n the n-th); -1 none recorded
    qint32 subtitleChoice = -1;
};

class PlaybackController : public QObject {
    Q_OBJECT

public:
    explicit PlaybackController(QObject* parent = nullptr);
    ~PlaybackController() override;

    // ---- set-up ----
    void setEngineProgram(const QString& path) { engineProgram = path; }
    QString engineProgramPath() const { return engineProgram; }
    // The engine's screenshot prefix and where snapshots are saved from.
    void setDataFolder(const QString& folder) { dataFolder = folder; }
    QString dataFolderPath() const { return dataFolder; }
    // Asked at every start: the window the engine draws into.
    void setWindowIdProvider(std::function<quint64()> provider) { windowId = std::move(provider); }
    void setSnapshotFormat(const QString& format) { snapshotFormatText = format; }
    QString snapshotFormat() const { return snapshotFormatText; }

    // ---- the source ----
    void setCurrentSource(const QString& path) { current = path; }
    QString currentSource() const { return current; }
    QString playingSource() const { return playing; }
    void forgetPlayingSource() { playing.clear(); }
    void setSourceKind(SourceKind kind) { kind_ = kind; }
    SourceKind sourceKind() const { return kind_; }
    // The disc title's playlist path (empty for files and DVDs).
    void setSourceKey(const QString& key) { key_ = key; }
    QString sourceKey() const { return key_; }
    void setTitleChosen(bool chosen) { titleChosen_ = chosen; }
    bool titleChosen() const { return titleChosen_; }
    void setTitleChoice(const TitleChoice& choice) { titleChoice = choice; }
    // Where the next start begins, in seconds (a chosen chapter).
    void setStartPosition(qint32 seconds) { startPosition_ = seconds; }
    qint32 startPosition() const { return startPosition_; }
    void setMediaLength(qint64 seconds) { length = seconds; }
    qint64 mediaLength() const { return length; }
    // A source opened but not started (a disc on its page): Play starts it,
    // and the time row shows its length instead of the last source's.
    // Ignored while something plays.
    void offerSource(const QString& path, SourceKind kind, qint64 seconds);
    // The engine's working folder for the next starts (a disc's stream folder).
    // A folder that does not exist leaves the one before in force.
    void setEngineFolder(const QString& folder);
    QString engineFolder() const { return engineFolder_; }

    // ---- state ----
    PlaybackState state() const { return state_; }
    bool hasEngine() const;
    bool isPlaying() const { return state_ == PlaybackState::Playing; }
    // Nothing to pause, resume or seek: no engine, or it is quitting or gone.
    bool isStopped() const { return state_ == PlaybackState::Idle || state_ == PlaybackState::Stopped; }
    Page page() const { return page_; }
    void showPage(Page page);
    qint64 playClockMs() const { return playClock; }
    // The playing second as the engine last paced it.
    qint64 currentSecond() const { return positionSeconds; }
    int sliderValue() const { return slider; }
    int volume() const { return volume_; }
    bool isMuted() const { return muted; }
    int audioStreamCount() const { return audioCount; }
    int subtitleStreamCount() const { return subtitleCount; }
    EngineSession* session() const { return engine; }
    int pendingSnapshots() const { return shots.pending(); }

    // ---- operations ----
    // Starts the current source, or pauses/resumes it when it already plays.
    void play();
    void pause();
    void resume();
    void stop();
    // Sends quit and stops the clock; the engine's end arrives later.
    void quitEngine();
    // Back to the disc page (Blu-ray) or the start page; the engine quits.
    void navigate();
    // Quits the engine and waits for it (window rebuild, close).
    void endEngine();
    // One refresh: the clock advances and the engine is asked for its times.
    void tick();
    // The position slider's handle taken (the periodic update leaves it alone
    // until it is released), dragged and released (the seek).
    void sliderPressed();
    void sliderMoved(int value);
    void sliderReleased();
    // A click on the position slider away from its handle.
    void clickSeek(int value);
    // The position slider as the window shows it: keys and the wheel move it
    // without a seek, and Forward and Backward step from there.
    void setShownSliderValue(int value) { slider = qBound(0, value, sliderMax); }
    void seekForward();
    void seekBackward();
    // To a second within the source: chapters, previous and next on a disc.
    void seekToSecond(qint64 seconds);
    void toggleMute();
    void setVolume(int value);
    // The volume the next start asks for, as the window's slider shows it:
    // keys and the wheel move that slider without a command.
    void setStartVolume(int value) { volume_ = value; }
    // False when there is no engine to take the choice.
    bool chooseSubtitle(int entry);
    bool chooseAudio(int entry);
    bool chooseChannel(AudioChannel channel);
    // Entries the track menus hold now (a disc's labelled lists).
    void setTrackMenuSizes(int audioEntries, int subtitleEntries);
    void requestSnapshot();
    // Writes a command as it stands; dropped without an engine.
    void send(const QByteArray& command);

signals:
    void stateChanged(PlaybackState state);
    void pageChanged(Page page);
    void sliderRangeChanged(int maximum);
    void sliderValueChanged(int value);
    void sliderEnabledChanged(bool enabled);
    void elapsedTextChanged(const QString& text);
    void lengthTextChanged(const QString& text);
    // The play button shows pause while playing, play otherwise.
    void playIconChanged(bool showsPause);
    // The play/pause entry of the Controls menu: caption key and data.
    void playPauseEntryChanged(const char* captionKey, const QString& data);
    void volumeChanged(int value, bool muted);
    // A start is being prepared: the recent list and the menus are settled
    // before the engine starts.
    void preparingStart(const QString& source, SourceKind kind);
    void started(const QString& source);
    // Playback stopped: nothing is playing any more.
    void stopped();
    // The track menus were rebuilt with `entries` entries ("Disable" first).
    void audioTracksRebuilt(int streams);
    void subtitleTracksRebuilt(int streams);
    void audioTrackChecked(int entry);
    void subtitleTrackChecked(int entry);
    void snapshotSaved(const QString& path);

private:
    void startEngine();
    void setState(PlaybackState next);
    void setSlider(int value);
    void handleLength(qint64 seconds);
    void handlePosition();
    void handleEndOfPlayback();
    void handleVideoStart();
    void handleScreenshot(const QByteArray& line);
    void collectShot(const QByteArray& reported, QString name, int attemptsLeft);

    EngineSession* engine = nullptr;
    EngineSnapshots shots; // the user's pending snapshot requests
    QTimer* refreshTimer = nullptr;
    std::function<quint64()> windowId;
    QString engineProgram;
    QString dataFolder;
    QString snapshotFormatText = QStringLiteral("JPG");

    QString current;
    QString playing;
    SourceKind kind_ = SourceKind::BluRay;
    QString key_;
    bool titleChosen_ = false;
    TitleChoice titleChoice;
    qint32 startPosition_ = 0;
    qint64 length = 0;
    QString engineFolder_;

    PlaybackState state_ = PlaybackState::Idle;
    Page page_ = Page::Start;
    qint64 playClock = 0;
    qint64 positionSeconds = 0;
    int slider = 0;
    int sliderMax = 100; // the slider clamps what it is given to its range
    int sliderTicks = 0;
    bool sliderHeld = false;
    int seekTarget = 0;
    int volume_ = 50;
    bool muted = false;
    int audioTrack = -1;
    int subtitleTrack = -1;
    int audioCount = 0;
    int subtitleCount = 0;
    int audioEntries = 0;
    int subtitleEntries = 0;
};
