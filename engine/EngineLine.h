#pragma once

// Classification of the engine's output lines, independent of any window.

#include <QByteArray>

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

// The file named between the quotes after "*** screenshot '". False (name
// untouched) for a line without the closing quote, an empty name, or a name
// longer than kMaxScreenshotName bytes.
bool engineScreenshotName(const QByteArray& line, QByteArray* name);
