#pragma once

// What plays: one value built whole by whoever opens a source, so nothing of
// an earlier source (a disc's chapter, title or stream choices) carries over.

#include <QMetaType>
#include <QString>

#include "util/SourceKind.h"

struct Source {
    QString path; // file, DVD folder or disc folder
    SourceKind kind = SourceKind::File;
    // A disc title: its playlist's path (the key of the disc model's tables),
    // whether it was picked from the title list, its number where known, and
    // the stream entries chosen on the disc page (0 "Disable", n the n-th; -1 none).
    QString titleKey;
    bool titleChosen = false;
    bool hasTitle = false;
    qint32 title = 0;
    qint32 audioChoice = -1;
    qint32 subtitleChoice = -1;
    qint32 startSecond = 0; // a chosen chapter
    qint64 length = 0;      // seconds; 0 unknown (a DVD learns it from the engine)
    // The folder the engine runs in from this start on (a disc's stream
    // folder); empty, or a folder that does not exist, keeps the one in force.
    QString engineFolder;
};

// Why a playback ended; every end is reported once, with one of these.
enum class EndReason {
    Stopped,     // the user stopped it
    EndOfFile,   // the engine reached the end
    Navigated,   // back to the disc or start page
    Closed,      // the window closes or is rebuilt
    Replaced,    // another start took its place
    EngineFailed // the engine died or never started
};

Q_DECLARE_METATYPE(Source)
Q_DECLARE_METATYPE(EndReason)
