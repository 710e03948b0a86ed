#pragma once

// Classification of the engine's output lines, independent of any window.

#include <QByteArray>
#include <QString>

class QIODevice;

enum class EngineLineKind {
    Other,           // matches nothing, or carries media text: ignored
    TimePosition,    // "ANS_TIME_POSITION" (answer to get_time_pos)
    Length,          // "ANS_LENGTH" (answer to get_time_length)
    PercentPosition, // "ANS_PERCENT_POSITION": ignored
    Playing,         // "Playing ": a source starts
    EndOfPlayback,   // "Exiting... (End of file)" or "Exiting... (Quit)"
    Screenshot,      // "*** screenshot '"
    AudioStream,     // "[demuxer] ..., -aid N"
    SubtitleStream,  // "[demuxer] ..., -sid N"
    VideoStart,      // "VIDEO:  "
};

// The one gate for the engine's output lines. MPlayer prints media text
// verbatim, line breaks included: the name after "Playing " and the tags of
// the "Clip info:" block (" name: value" lines up to "Starting playback...").
// A tag or a name can therefore hold any line at all. A line counts only in
// the shapes MPlayer itself prints, at the start of the line, and the lines
// that carry media text count as nothing. One classifier follows one engine
// run's lines in order.
class EngineLineClassifier {
public:
    // A new run whose source MPlayer will name `playingName` after "Playing ".
    void begin(const QString& playingName);
    EngineLineKind classify(const QByteArray& line);

private:
    int nameBreaks = 0;    // line breaks in the source's name
    int nameLinesLeft = 0; // lines still to come of the "Playing " text
    bool inTags = false;   // inside the "Clip info:" block
};

// Seconds of an "ANS_LENGTH=" answer, truncated toward zero; 0 when the text
// after the prefix is no number (or not a finite, non-negative one).
qint64 engineLineLength(const QByteArray& line);

// Longest screenshot file name accepted (the engine's buffer held 511 bytes).
inline constexpr int kMaxScreenshotName = 511;

// The file named after "*** screenshot '", up to the last "' ***" of the
// line. False (name untouched) for a line without that end, an empty name,
// or a name longer than kMaxScreenshotName bytes.
bool engineScreenshotName(const QByteArray& line, QByteArray* name);

// No real engine line comes near this; longer ones are dropped whole.
inline constexpr qint64 kMaxEngineLineLength = 64 * 1024;
// The most unread engine output held; beyond it the oldest lines are dropped.
inline constexpr qint64 kMaxEngineBacklog = 4 * 1024 * 1024;
// No real source has this many audio or subtitle streams; further stream
// lines of a source are not counted.
inline constexpr int kMaxStreamsPerSource = 100;

struct EngineBacklogTrim {
    qint64 dropped = 0;         // bytes taken out unread
    bool endOfPlayback = false; // one of them was an end-of-playback line
};

// When more than `cap` bytes of engine output wait unread in `output`, drops
// the oldest whole lines until at most three quarters of `cap` are left; a
// line that is cut (only an overlong one) is dropped whole. `skippingLine` is
// the reader's state "the next bytes are the rest of an overlong line",
// updated across the drop. The dropped lines go through `lines` in order, so
// it stays in step with the run, and an end of playback among them is
// reported: an engine's end is never lost.
EngineBacklogTrim trimEngineBacklog(QIODevice& output, bool& skippingLine, EngineLineClassifier& lines,
                                    qint64 cap = kMaxEngineBacklog);
