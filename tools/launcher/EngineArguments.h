#pragma once

#include <QByteArray>
#include <QStringList>

// The video outputs tried in order when the player asks for its native one:
// the fast overlay first, then GL, then plain X11 (which works everywhere with
// a display). Never ends with a comma: the engine would then fall through to
// terminal outputs that write escape codes into its stdout.
inline constexpr const char* kDefaultVideoOutputs = "xv,gl,x11";

// Subtitles: the engine draws ASS/SSA tracks, with their styles, only through
// libass; text tracks (SRT) are then drawn through it too. Its drawing lands
// in the picture, scaled with it, whatever the output: a filter draws into
// the frame where the output cannot draw subtitles itself.
inline constexpr const char* kSubtitleRenderer = "-ass";

// `text` written so that the engine reads it back unchanged inside a "-vf"
// value. The engine splits such values at commas and reads "\," as a literal
// comma; every other character, a backslash before anything but a comma
// included, stands for itself. So escaping each comma is exact.
QString escapeFilterValue(const QString& text);

// Replaces the value after "-vo" with `videoOutput` (or the default list when
// empty) followed by `videoOptions` and the subtitle renderer and, when
// `audioOutput` is given, puts "-ao audioOutput" before the other arguments. A trailing "-vo" without value
// gets one appended. The screenshot prefix in "-vf screenshot=PREFIX" (the
// data folder, which may hold commas) is escaped with escapeFilterValue.
void adaptEngineArguments(QStringList& arguments, const QByteArray& videoOutput,
                          const QByteArray& audioOutput, const QStringList& videoOptions = {});

// The window named by "-wid ID" (decimal, as the player writes it), or 0.
unsigned long windowIdArgument(const QStringList& arguments);
