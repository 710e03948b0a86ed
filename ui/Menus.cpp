// The menu strip's six buttons, their menus built from the command table
// (ui/Commands.h) and the handlers of the File, Controls, Tools and Help
// menus. Entries carry their meaning in their data; handlers never look at
// captions, which change with the language.

#include "ui/DRUI.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QPushButton>
#include <QUrl>

#include "config/DataFolder.h"
#include "config/LanguageManager.h"
#include "config/RecentFiles.h"
#include "dialogs/CProcessUI.h"
#include "ui/Styles.h"
#include "util/DisplayText.h"
#include "util/SourceKind.h"
#include "util/WebPages.h"

namespace {

const char* const kRecentFileName = "RecentConfig.txt";
// Pixels a recent entry may take in its menu.
constexpr int kRecentEntryWidth = 600;

// A tooltip showing text exactly as it is: tooltips guess whether their text
// is rich text, so a path like "<b>x</b>" is escaped and wrapped in markup
// that keeps its blanks and lets a long path break across lines.
QString plainToolTip(const QString& text) {
    return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QAction* addEntry(QMenu* menu, const QString& text, const QVariant& data, bool enabled = true,
                  const char* shortcut = nullptr) {
    QAction* action = menu->addAction(text);
    action->setData(data);
    action->setEnabled(enabled);
    if (shortcut) {
        action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
        action->setShortcutContext(Qt::WindowShortcut);
    }
    return action;
}

// Adds submenu as an entry of menu; the entry is the submenu's own action.
QAction* addSubmenuEntry(QMenu* menu, QMenu* submenu, const QString& text, const QString& data,
                         bool enabled) {
    submenu->setTitle(text);
    QAction* action = menu->addMenu(submenu);
    action->setData(data);
    action->setEnabled(enabled);
    return action;
}

// True when action is one of the entries hung under discEntry of the disc page
// (and mirrored in mirror, a submenu of the Controls menu).
bool isDiscListEntry(QAction* action, QAction* discEntry, QMenu* mirror) {
    if (!discEntry)
        return false;
    if (auto* list = discEntry->menu<QMenu*>(); list && list->actions().contains(action))
        return true;
    if (auto* owner = qobject_cast<QMenu*>(action->parent()); owner && owner->menuAction() == discEntry)
        return true;
    return mirror && mirror->actions().contains(action);
}

} // namespace

void DRUI::createMenuButton(int index, int x, QWidget* strip) {
    static const char* const captions[] = {"MainWnd/File",  "MainWnd/Controls", "MainWnd/Video",
                                           "MainWnd/Audio", "MainWnd/Tools",    "MainWnd/Help"};
    if (index < 1 || index > 6)
        return;
    auto* button = new QPushButton(caption(captions[index - 1]), strip);
    button->setObjectName(QStringLiteral("menuButton%1").arg(index));
    switch (index) {
    case 1:
        createFileMenu(button);
        break;
    case 2:
        createControlsMenu(button);
        break;
    case 3:
        createVideoMenu(button);
        break;
    case 4:
        createAudioMenu(button);
        break;
    case 5:
        createToolsMenu(button);
        break;
    default:
        createHelpMenu(button);
        break;
    }
    button->setGeometry(x, 1, 100, 20);
    QFont font(QStringLiteral("Calibri"), 11);
    font.setBold(false);
    button->setFont(font);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QLatin1String(kzp::styles::menuButton));
    menuButtons.append(button);
}

namespace {

// A top-level menu hangs on its button. setMenu() also puts the menu's action
// on the button, which makes the entries' shortcuts act exactly while the
// button is visible in the active window (not in full screen, where the strip
// is hidden).
void attachMenu(QPushButton* button, QMenu* menu) {
    button->setMenu(menu);
}

} // namespace

void DRUI::addCommands(QMenu* menu, MenuId id, std::initializer_list<std::pair<Command, QMenu*>> submenus) {
    for (const CommandRow& row : CommandTable::rows()) {
        if (row.menu != id || row.placement == Placement::PlayEntry)
            continue;
        QAction* action = nullptr;
        if (row.placement == Placement::Submenu) {
            for (const auto& [command, submenu] : submenus)
                if (command == row.id)
                    action =
                        addSubmenuEntry(menu, submenu, row.caption(), row.dataText(), row.enabledAtStart);
        } else {
            action = addEntry(menu, row.caption(), row.dataText(), row.enabledAtStart, row.shortcut);
        }
        commandActions[int(row.id)] = action;
    }
}

bool DRUI::dispatchCommand(MenuId id, const QAction* action) {
    const CommandRow* row = CommandTable::find(id, action->data().toString());
    if (!row)
        return false;
    runCommand(*row);
    return true;
}

void DRUI::runCommand(const CommandRow& row) {
    if (row.action)
        row.action(*this);
}

void DRUI::createFileMenu(QPushButton* button) {
    fileMenu = new QMenu;
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    topMenus.append(fileMenu);
    recentFilesMenu = new QMenu(this);
    recentFilesMenu->setObjectName(QStringLiteral("recentFilesMenu"));
    topMenus.append(recentFilesMenu); // freed with this build's menus
    addCommands(fileMenu, MenuId::File, {{Command::RecentFiles, recentFilesMenu}});
    recentFilesAction = commandActions[int(Command::RecentFiles)];

    recentFiles.load(dataFolderPath() + QLatin1String(kRecentFileName));
    refreshRecentFilesMenu();

    attachMenu(button, fileMenu);
    connect(fileMenu, &QMenu::triggered, this, &DRUI::BDFileMenu);
}

void DRUI::createControlsMenu(QPushButton* button) {
    controlsMenu = new QMenu;
    controlsMenu->setObjectName(QStringLiteral("controlsMenu"));
    topMenus.append(controlsMenu);
    titleMenu = new QMenu(this);
    titleMenu->setObjectName(QStringLiteral("titleMenu"));
    chapterMenu = new QMenu(this);
    chapterMenu->setObjectName(QStringLiteral("chapterMenu"));
    for (QMenu* menu : {titleMenu, chapterMenu}) {
        topMenus.append(menu);
        menu->setWindowFlags(menu->windowFlags() | Qt::FramelessWindowHint);
        menu->setAttribute(Qt::WA_TranslucentBackground);
        menu->setStyleSheet(QLatin1String(kzp::styles::titleMenu));
    }
    addCommands(controlsMenu, MenuId::Controls,
                {{Command::Title, titleMenu}, {Command::Chapter, chapterMenu}});
    playPauseAction = commandActions[int(Command::Play)];

    attachMenu(button, controlsMenu);
    connect(controlsMenu, &QMenu::triggered, this, &DRUI::BDControlsMenu);
}

void DRUI::createVideoMenu(QPushButton* button) {
    videoMenu = new QMenu;
    videoMenu->setObjectName(QStringLiteral("videoMenu"));
    topMenus.append(videoMenu);

    videoTrackMenu = new QMenu(this);
    videoTrackMenu->setObjectName(QStringLiteral("videoTrackMenu"));
    topMenus.append(videoTrackMenu);
    addEntry(videoTrackMenu, QStringLiteral("Disable"), 0);
    QAction* video = addEntry(videoTrackMenu, caption("MainWnd/Video") + QStringLiteral(" 1"), 1);
    video->setCheckable(true);
    video->setChecked(true);

    subtitleTrackMenu = new QMenu(this);
    subtitleTrackMenu->setObjectName(QStringLiteral("subtitleTrackMenu"));
    topMenus.append(subtitleTrackMenu);
    addCommands(videoMenu, MenuId::Video,
                {{Command::VideoTrack, videoTrackMenu}, {Command::SubtitleTrack, subtitleTrackMenu}});

    attachMenu(button, videoMenu);
    connect(videoMenu, &QMenu::triggered, this, &DRUI::BDVideoMenu);
}

void DRUI::createAudioMenu(QPushButton* button) {
    audioMenu = new QMenu;
    audioMenu->setObjectName(QStringLiteral("audioMenu"));
    topMenus.append(audioMenu);

    audioTrackMenu = new QMenu(this);
    audioTrackMenu->setObjectName(QStringLiteral("audioTrackMenu"));
    topMenus.append(audioTrackMenu);

    audioChannelMenu = new QMenu(this);
    audioChannelMenu->setObjectName(QStringLiteral("audioChannelMenu"));
    topMenus.append(audioChannelMenu);
    QAction* stereo = addEntry(audioChannelMenu, caption("MainWnd/Stereo"), QStringLiteral("Stereo"));
    stereo->setCheckable(true);
    stereo->setChecked(true);
    addEntry(audioChannelMenu, caption("MainWnd/Left"), QStringLiteral("Left"));
    addEntry(audioChannelMenu, caption("MainWnd/Right"), QStringLiteral("Right"));
    addCommands(audioMenu, MenuId::Audio,
                {{Command::AudioTrack, audioTrackMenu}, {Command::AudioChannel, audioChannelMenu}});

    attachMenu(button, audioMenu);
    connect(audioMenu, &QMenu::triggered, this, &DRUI::BDAudioMenu);
}

void DRUI::createToolsMenu(QPushButton* button) {
    toolsMenu = new QMenu;
    toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    topMenus.append(toolsMenu);
    addCommands(toolsMenu, MenuId::Tools);
    snapshotAction = commandActions[int(Command::Snapshot)];

    attachMenu(button, toolsMenu);
    connect(toolsMenu, &QMenu::triggered, this, &DRUI::BDToolMenu);
}

void DRUI::createHelpMenu(QPushButton* button) {
    helpMenu = new QMenu;
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    topMenus.append(helpMenu);

    languageMenu = new QMenu(this);
    languageMenu->setObjectName(QStringLiteral("languageMenu"));
    topMenus.append(languageMenu);
    const LanguageManager& languages = LanguageManager::instance();
    const QString current = languages.currentLanguage();
    for (const LanguageManager::Language& language : languages.languages()) {
        QAction* entry = addEntry(languageMenu, language.second, language.first);
        entry->setIcon(QIcon());
        if (language.first == current) {
            entry->setIcon(QIcon(QStringLiteral(":/image/dot.png")));
            languageMenu->setDefaultAction(entry);
        }
    }
    addCommands(helpMenu, MenuId::Help, {{Command::Language, languageMenu}});

    attachMenu(button, helpMenu);
    connect(helpMenu, &QMenu::triggered, this, &DRUI::BDHelpMenu);
}

void DRUI::BDFileMenu(QAction* action) {
    if (!action || dispatchCommand(MenuId::File, action))
        return;
    const QString data = action->data().toString();
    if (data == QLatin1String("Clear Menu")) {
        // The entry being triggered is one of these: free them once its
        // signal has returned.
        if (recentFilesMenu) {
            const QList<QAction*> entries = recentFilesMenu->actions();
            for (QAction* entry : entries) {
                recentFilesMenu->removeAction(entry);
                if (entry->parent() == recentFilesMenu)
                    entry->deleteLater();
            }
        }
        recentFiles.clear();
    } else if (!data.isEmpty()) {
        if (isAddingFiles())
            return;
        StopBtn();
        if (QFileInfo(data).isDir())
            loadDiscFolder(data);
        else
            addFiles(QStringList{data});
    }
}

void DRUI::BDControlsMenu(QAction* action) {
    if (!action)
        return;
    if (isDiscListEntry(action, discChapterAction, chapterMenu)) {
        seekToChapter(action->data().toLongLong());
        return;
    }
    if (action->data().metaType() == QMetaType::fromType<PLAY_LIST_INFO>() &&
        isDiscListEntry(action, discTitlesAction, titleMenu)) {
        if (isAddingFiles())
            return;
        // The engine is asked to quit before the title starts anew.
        controller->stop();
        addBluRayTitle(action->data().value<PLAY_LIST_INFO>().path, true);
        return;
    }
    dispatchCommand(MenuId::Controls, action);
}

void DRUI::BDToolMenu(QAction* action) {
    if (action)
        dispatchCommand(MenuId::Tools, action);
}

void DRUI::BDHelpMenu(QAction* action) {
    if (!action || dispatchCommand(MenuId::Help, action))
        return;
    const QString data = action->data().toString();
    if (!data.isEmpty()) {
        // A language entry. The rebuild empties the play list that the
        // running addFiles() fills.
        if (isAddingFiles())
            return;
        LanguageManager::instance().switchLanguage(data);
        WebPages::instance().refresh();
        StopBtn();
        // The engine draws into the video surface that the rebuild replaces.
        endEngine();
        // The menu that emitted this signal belongs to the old build; the
        // rebuild only schedules its deletion.
        setupWindow();
    }
}

int DRUI::runPreferences() {
    CProcessUI dialog;
    dialog.setFormatText(controller->snapshotFormat());
    dialog.setupPreferences();
    dialog.exec();
    if (dialog.resultFlag() == 0)
        controller->setSnapshotFormat(dialog.formatText());
    return dialog.resultFlag();
}

void DRUI::btnOpenUrl(QString url) {
    QDesktopServices::openUrl(QUrl(url));
}

void DRUI::btnHelpSlot() {
    btnOpenUrl(WebPages::instance().guide());
}

void DRUI::btnSupportSlot() {
    btnOpenUrl(WebPages::instance().supportSecond());
}

void DRUI::btnAboutSlot() {
    btnOpenUrl(WebPages::instance().support());
}

void DRUI::refreshRecentFilesMenu() {
    if (!recentFilesMenu)
        return;
    recentFilesMenu->clear();
    // Long paths are cut in the middle, so the menu stays within the screen
    // and both the place and the name show; the tooltip holds the whole path.
    recentFilesMenu->setToolTipsVisible(true);
    const QFontMetrics metrics(recentFilesMenu->font());
    for (const QString& entry : recentFiles.entries()) {
        QAction* action = recentFilesMenu->addAction(
            display_text::forMenu(metrics.elidedText(entry, Qt::ElideMiddle, kRecentEntryWidth)));
        action->setData(entry);
        action->setToolTip(plainToolTip(entry));
    }
    recentFilesMenu->addAction(caption("MainWnd/ClearMenu"))->setData(QStringLiteral("Clear Menu"));
}
