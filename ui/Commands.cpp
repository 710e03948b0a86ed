#include "ui/Commands.h"

#include <QSize>
#include <QSlider>
#include <QStringList>
#include <QTableWidget>

#include <iterator>

#include "config/LanguageManager.h"
#include "ui/DRUI.h"
#include "util/SourceKind.h"

namespace {

// The entries of the Controls, Video, Audio and Tools menus come on with the
// video page and stay on after it (nothing turns them off again).
std::optional<bool> onWithVideoPage(const CommandContext& context) {
    if (context.page == Page::Video)
        return true;
    return std::nullopt;
}

// The disc page belongs to Blu-ray titles: on the video page of anything
// else the entry is off.
std::optional<bool> discOnVideoPage(const CommandContext& context) {
    if (context.page == Page::Video)
        return context.bluRay;
    return std::nullopt;
}

// File and Help entries are always on.
std::optional<bool> keepsState(const CommandContext&) {
    return std::nullopt;
}

template <void (DRUI::*Slot)()> void run(DRUI& window) {
    (window.*Slot)();
}

} // namespace

QString CommandRow::caption() const {
    QString text = ::caption(captionKey);
    if (ellipsis)
        text += QStringLiteral("...");
    return text;
}

const CommandTable::Rows& CommandTable::rows() {
    using M = MenuId;
    using P = Placement;
    static const CommandRow table[] = {
        {Command::OpenFile, M::File, P::Entry, "MainWnd/OpenFile", true, "Open File", nullptr, true,
         keepsState, run<&DRUI::btnOpenFile>},
        {Command::OpenDisc, M::File, P::Entry, "MainWnd/OpenDisc", true, "Open Disc", nullptr, true,
         keepsState, run<&DRUI::btnLoadBDPath>},
        {Command::RecentFiles, M::File, P::Submenu, "MainWnd/RecentFiles", false, "Recent Files", nullptr,
         true, keepsState, nullptr},
        {Command::Eject, M::File, P::Entry, "MainWnd/Eject", false, "Eject", nullptr, true, keepsState,
         run<&DRUI::StopBtn>},
        {Command::Close, M::File, P::Entry, "MainWnd/Close", false, "Close", nullptr, true, keepsState,
         run<&DRUI::btnCloseSlot>},

        {Command::Play, M::Controls, P::Entry, "MainWnd/Play", false, "Play", "Space", true, onWithVideoPage,
         [](DRUI& w) {
             const Source& current = w.controller->currentSource();
             if (current.kind == SourceKind::BluRay)
                 w.addBluRayTitle();
             else if (current.kind == SourceKind::Dvd && !current.path.isEmpty())
                 w.addDvdFolder(current.path); // a folder: the probe would take it for a file
             else if (!current.path.isEmpty())
                 w.addFiles(QStringList{current.path});
             else
                 w.btnOpenFile();
         }},
        {Command::Pause, M::Controls, P::PlayEntry, "MainWnd/Pause", false, "Pause", "Space", true,
         onWithVideoPage, run<&DRUI::pausePlayback>},
        {Command::Resume, M::Controls, P::PlayEntry, "MainWnd/Resume", false, "Resume", "Space", true,
         onWithVideoPage, run<&DRUI::resumePlayback>},
        {Command::Stop, M::Controls, P::Entry, "MainWnd/Stop", false, "Stop", nullptr, true, onWithVideoPage,
         run<&DRUI::StopBtn>},
        {Command::Previous, M::Controls, P::Entry, "MainWnd/Previous", false, "Pre", nullptr, false,
         onWithVideoPage, run<&DRUI::PlayPre>},
        {Command::Next, M::Controls, P::Entry, "MainWnd/Next", false, "Next", nullptr, false, onWithVideoPage,
         run<&DRUI::PlayNext>},
        {Command::Forward, M::Controls, P::Entry, "MainWnd/Forward", false, "Forward", "Right", false,
         onWithVideoPage, run<&DRUI::seekForward>},
        {Command::Backward, M::Controls, P::Entry, "MainWnd/Backward", false, "Backward", "Left", false,
         onWithVideoPage, run<&DRUI::seekBackward>},
        {Command::VolumeUp, M::Controls, P::Entry, "MainWnd/VolumeUp", false, "VolumeUp", "Up", true,
         onWithVideoPage,
         [](DRUI& w) {
             if (w.volumeSlider) // never ask the engine for more than the slider shows
                 w.VolumeSliderSeek(qMin(w.volumeSlider->value() + 5, w.volumeSlider->maximum()));
         }},
        {Command::VolumeDown, M::Controls, P::Entry, "MainWnd/VolumeDown", false, "VolumeDown", "Down", true,
         onWithVideoPage,
         [](DRUI& w) {
             if (w.volumeSlider)
                 w.VolumeSliderSeek(w.volumeSlider->value() - 5);
         }},
        {Command::Navigation, M::Controls, P::Entry, "MainWnd/NavigationPanel", false, "Navigation", "P",
         false, discOnVideoPage, run<&DRUI::Navigation>},
        {Command::Title, M::Controls, P::Submenu, "MainWnd/Title", false, "Title", nullptr, false,
         onWithVideoPage, nullptr},
        {Command::Chapter, M::Controls, P::Submenu, "MainWnd/Chapter", false, "Chapter", nullptr, false,
         onWithVideoPage, nullptr},
        {Command::FullScreen, M::Controls, P::Entry, "MainWnd/FullScreen", false, "FullScreen", "F", false,
         onWithVideoPage, run<&DRUI::FullScreenBtn>},

        {Command::HalfSize, M::Video, P::Entry, "MainWnd/HalfSize", false, "HalfSize", nullptr, false,
         onWithVideoPage, [](DRUI& w) { w.resizeClient(QSize(500, 340)); }},
        {Command::NormalSize, M::Video, P::Entry, "MainWnd/NormalSize", false, "NormalSize", nullptr, false,
         onWithVideoPage, [](DRUI& w) { w.resizeClient(QSize(1000, 680)); }},
        {Command::DoubleSize, M::Video, P::Entry, "MainWnd/DoubleSize", false, "DoubleSize", nullptr, false,
         onWithVideoPage, [](DRUI& w) { w.resizeClient(QSize(2000, 1360)); }},
        {Command::Fit2Screen, M::Video, P::Entry, "MainWnd/Fit2Screen", false, "Fit2Screen", nullptr, false,
         onWithVideoPage, [](DRUI& w) { w.setWindowState(Qt::WindowMaximized); }},
        {Command::VideoTrack, M::Video, P::Submenu, "MainWnd/VideoTrack", false, "VideoTrack", nullptr, false,
         onWithVideoPage, nullptr},
        {Command::SubtitleTrack, M::Video, P::Submenu, "MainWnd/SubtitleTrack", false, "SubtitleTrack",
         nullptr, false, onWithVideoPage, nullptr},

        {Command::AudioTrack, M::Audio, P::Submenu, "MainWnd/AudioTrack", false, "AudioTrack", nullptr, false,
         onWithVideoPage, nullptr},
        {Command::AudioChannel, M::Audio, P::Submenu, "MainWnd/AudioChannel", false, "AudioChannel", nullptr,
         false, onWithVideoPage, nullptr},

        {Command::PlayList, M::Tools, P::Entry, "MainWnd/PlayList", true, "PlayList", nullptr, true,
         onWithVideoPage,
         [](DRUI& w) {
             if (w.playListTable)
                 w.playListTable->setVisible(w.playListTable->isHidden());
         }},
        {Command::Preferences, M::Tools, P::Entry, "MainWnd/Preferences", true, "Preferences", nullptr, true,
         onWithVideoPage, [](DRUI& w) { w.runPreferences(); }},
        {Command::Snapshot, M::Tools, P::Entry, "MainWnd/Snapshot", false, "Snapshot", "S", false,
         onWithVideoPage, run<&DRUI::Snapshot>},

        {Command::Help, M::Help, P::Entry, "MainWnd/Help", false, "Help", nullptr, true, keepsState,
         run<&DRUI::btnHelpSlot>},
        {Command::Support, M::Help, P::Entry, "MainWnd/Support", false, "Support", nullptr, true, keepsState,
         run<&DRUI::btnSupportSlot>},
        {Command::Language, M::Help, P::Submenu, "MainWnd/Language", false, "Language", nullptr, true,
         keepsState, nullptr},
    };
    static_assert(std::size(table) == kCommandCount, "one row per command");
    return table;
}

const CommandRow* CommandTable::row(Command id) {
    for (const CommandRow& row : rows())
        if (row.id == id)
            return &row;
    return nullptr;
}

const CommandRow* CommandTable::find(MenuId menu, QStringView data) {
    for (const CommandRow& row : rows())
        if (row.menu == menu && data == QLatin1String(row.data))
            return &row;
    return nullptr;
}

Command CommandTable::playEntry(PlaybackState state) {
    switch (state) {
    case PlaybackState::Playing:
        return Command::Pause;
    case PlaybackState::Paused:
        return Command::Resume;
    case PlaybackState::Idle:
    case PlaybackState::Stopped:
        break;
    }
    return Command::Play;
}
