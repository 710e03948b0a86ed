#pragma once

// The fixed entries of the six menus, one row each in menu order: the caption
// it shows, the data it carries, its key, when it is enabled and what it
// does. The menus are built from these rows, their handlers find the row by
// the entry's data (never by its caption, which changes with the language),
// and the window applies the rows' enable rules. Entries that come and go
// (recent sources, languages, tracks, a disc's titles and chapters) are not
// rows: their handlers keep a branch of their own.

#include <QString>
#include <QStringView>

#include <optional>

#include "engine/PlaybackController.h"

class DRUI;

enum class Command {
    // File
    OpenFile,
    OpenDisc,
    RecentFiles,
    Eject,
    Close,
    // Controls
    Play,
    Pause,
    Resume,
    Stop,
    Previous,
    Next,
    Forward,
    Backward,
    VolumeUp,
    VolumeDown,
    Navigation,
    Title,
    Chapter,
    FullScreen,
    // Video
    HalfSize,
    NormalSize,
    DoubleSize,
    Fit2Screen,
    VideoTrack,
    SubtitleTrack,
    // Audio
    AudioTrack,
    AudioChannel,
    // Tools
    PlayList,
    Preferences,
    Snapshot,
    // Help
    Help,
    Support,
    Language,
};
inline constexpr int kCommandCount = int(Command::Language) + 1;

// The menus of the strip, in strip order.
enum class MenuId { File, Controls, Video, Audio, Tools, Help };

// How a row shows in its menu.
enum class Placement {
    Entry,   // an entry of its own
    Submenu, // the entry that opens a submenu; the submenu's entries are not rows
    // No entry of its own: what the Play entry says and carries while
    // playback runs (Pause) or is paused (Resume).
    PlayEntry,
};

// What an enable rule looks at.
struct CommandContext {
    Page page = Page::Start;
    PlaybackState state = PlaybackState::Idle;
    bool bluRay = false; // the current source is a Blu-ray title
};

struct CommandRow {
    Command id;
    MenuId menu;
    Placement placement;
    const char* captionKey; // "Section/Key" of the language files
    bool ellipsis;          // the caption is followed by "..." (the entry opens a dialog)
    const char* data;       // the entry's data, what its handler dispatches on
    const char* shortcut;   // a key for QKeySequence, or nullptr
    bool enabledAtStart;
    // The entry's enabled state in `context`; nothing (or no rule): it keeps what it has.
    std::optional<bool> (*enabledWhen)(const CommandContext& context);
    void (*action)(DRUI& window); // nullptr: the entry itself does nothing (a submenu)

    // The caption in the current language, with its "...".
    QString caption() const;
    QString dataText() const { return QString::fromLatin1(data); }
};

class CommandTable {
public:
    using Rows = CommandRow[kCommandCount];
    // Every row, menus in strip order, each menu's rows in menu order.
    static const Rows& rows();
    // The row of `id`; nullptr only in a table that lacks it.
    static const CommandRow* row(Command id);
    // The row of `menu` whose data is `data`; nullptr when none is (an entry
    // that comes and goes).
    static const CommandRow* find(MenuId menu, QStringView data);
    // What the Play entry offers in `state`: Pause while playing, Resume
    // while paused, Play once nothing plays (it starts the current source).
    static Command playEntry(PlaybackState state);
};
