#pragma once

// Classification of the engine's output lines, independent of any window.

#include <QByteArray>

class QIODevice;

enum class EngineLineKind {
    Other,           // matches nothing: ignored
    TimePosition,    // "ANS_TIME_POSITION..." (answer to get_time_pos)
    Length,          // "ANS_LENGTH..." (answer to get_time_length)
    PercentPosition, // "ANS_PERCENT_POSITION...": ignored
    Playing,         // "Playing ": a source starts
    EndOfPlayback,   // "(End of file)" or "(Quit)"
    Screenshot,      // "*** screenshot "
    AudioStream,     // ", -aid "
    SubtitleStream,  // ", -sid "
    VideoStart,      // "VIDEO: "
};

// The tests run in this order and the first match wins. "Starts" tests look at
// the line's beginning; "has" tests search the line up to its first zero byte.
EngineLineKind classifyEngineLine(const QByteArray& line);

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
// updated across the drop. Lines classified as EndOfPlayback among the
// dropped ones are reported, so an engine's end is never lost.
EngineBacklogTrim trimEngineBacklog(QIODevice& output, bool& skippingLine, qint64 cap = kMaxEngineBacklog);
