#pragma once

#include <QString>
#include <QStringList>

// MPlayer opens files it was not named on its own, with a blocking open: the
// subtitle files beside a video (and in its "sub" folder), and a DVD folder's
// IFO, BUP and VOB files. A pipe or a device under such a name holds the
// engine inside open(), where it reads no command and never plays.

// True when the video's folder, or its "sub" folder, holds an entry with a
// subtitle file's extension that is a pipe, a device or a socket (links
// followed, as the engine would).
bool hasBlockingSubtitleFile(const QString& videoPath);

// True when a DVD folder (or its VIDEO_TS folder) holds an IFO, BUP or VOB
// entry that is a pipe, a device or a socket.
bool hasBlockingDvdFile(const QString& folder);

// Keeps the engine from blocking on such files: "-noautosub" goes before the
// source when a video has a blocking subtitle file. False when the source
// cannot be played without blocking (a DVD folder holding one): the launcher
// then ends instead of starting the engine.
bool avoidBlockingSideFiles(QStringList& arguments);
