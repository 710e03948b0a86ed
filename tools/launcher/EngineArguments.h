#pragma once

#include <QByteArray>
#include <QStringList>

// The video outputs tried in order when the player asks for its native one:
// the fast overlay first, then GL, then plain X11 (which works everywhere with
// a display). Never ends with a comma: the engine would then fall through to
// terminal outputs that write escape codes into its stdout.
inline constexpr const char* kDefaultVideoOutputs = "xv,gl,x11";

// Replaces the value after "-vo" with `videoOutput` (or the default list when
// empty) and, when `audioOutput` is given, puts "-ao audioOutput" before the
// other arguments. A trailing "-vo" without value gets one appended.
void adaptEngineArguments(QStringList& arguments, const QByteArray& videoOutput,
                          const QByteArray& audioOutput);
