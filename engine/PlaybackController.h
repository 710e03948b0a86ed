#pragma once

// Playback as the user sees it: one state, the player's own clock, the
// position slider, the time texts, volume, stream choices and snapshots. It
// owns the engine session and the refresh timer, and reports what the window
// must show through signals; it knows no widget.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "engine/Engine.h"
#include "engine/Source.h"

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

// How open() treats a source whose path already plays.
enum class OpenMode {
    PauseOrResume, // the play button: the same path pauses or resumes
    Anew,          // always a new start (folders, disc titles)
};

class PlaybackController : public QObject {
    Q_OBJECT

public:
    explicit PlaybackController(QObject* parent = nullptr);
    ~PlaybackController() override;

    // ---- set-up ----
    void setEngineProgram(const QString& path) { engineProgram = path; }
    // Lets the engine learn what every start needs before the first one.
    void prepareEngine() { engine->prepare(engineProgram); }
    QString engineProgramPath() const { return engineProgram; }
    // The engine's screenshot prefix and where snapshots are saved from.
    void setDataFolder(const QString& folder) { dataFolder = folder; }
    QString dataFolderPath() const { return dataFolder; }
    // Asked at every start: the window the engine draws into.
    void setWindowIdProvider(std::function<quint64()> provider) { windowId = std::move(provider); }
    void setSnapshotFormat(const QString& format) { snapshotFormatText = format; }
    QString snapshotFormat() const { return snapshotFormatText; }

    // ---- the source ----
    // What Play starts: the source last opened or offered.
    const Source& currentSource() const { return current; }
    // The source of the playback under way (an empty value when none is).
    const Source& playingSource() const { return playing; }
    // Makes `source` the current one and plays it: a new start, or, with
    // PauseOrResume and its path already playing, a pause or resume.
    void open(const Source& source, OpenMode mode);
    // Makes `source` the current one without starting it: Play starts it.
    void setSource(const Source& source) { current = source; }
    // Play: open(currentSource(), PauseOrResume).
    void play() { open(current, OpenMode::PauseOrResume); }
    // A source chosen but not started (a disc on its page): Play starts it,
    // and the time row shows its length. Ignored while something plays.
    void offerSource(const Source& source);
    // The length of the current source, found after its start (a file starts
    // while it is probed): the slider's range and the time row take it.
    void learnLength(const QString& path, qint64 seconds);
    // The folder the engine runs in: the last one a source named.
    QString engineFolder() const { return engineFolder_; }
    // Replaces the engine while nothing plays (tests put a fake in its place).
    void setEngine(std::unique_ptr<Engine> replacement);

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
    Engine& playbackEngine() const { return *engine; }
    int pendingSnapshots() const { return engine->pendingSnapshots(); }

    // ---- operations ----
    void pause();
    void resume();
    void stop();
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
    void volumeChanged(int value, bool muted);
    // A start is being prepared: the recent list and the menus are settled
    // before the engine starts.
    void preparingStart(const QString& source, SourceKind kind);
    void started(const QString& source);
    // A playback ended, once per playback, however it ended: its source, the
    // second the clock had reached, and why.
    void ended(const Source& source, qint64 second, EndReason reason);
    // The track menus were rebuilt with `entries` entries ("Disable" first).
    void audioTracksRebuilt(int streams);
    void subtitleTracksRebuilt(int streams);
    void audioTrackChecked(int entry);
    void subtitleTrackChecked(int entry);
    void snapshotSaved(const QString& path);

private:
    void connectEngine();
    void start();
    // The one way a playback ends: the clock stops, the engine goes as the
    // reason asks, the state, the display and the page follow, then ended().
    void finish(EndReason reason);
    void setState(PlaybackState next);
    void setSlider(int value);
    void handleLength(qint64 seconds);
    void handlePosition();
    void handleEngineEnd(bool engineSaidSo);
    void handleVideoStart();
    void saveSnapshot(const QByteArray& png, const QString& file);

    std::unique_ptr<Engine> engine;
    QTimer* refreshTimer = nullptr;
    std::function<quint64()> windowId;
    QString engineProgram;
    QString dataFolder;
    QString snapshotFormatText = QStringLiteral("JPG");

    Source current;
    Source playing;
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
