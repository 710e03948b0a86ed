// The disc page: reading a Blu-ray folder into the title tables and menus,
// and turning a choice in the disc page's menu into playback.
#include <QAction>
#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QStackedLayout>
#include <QTimer>

#include "media/DiscScan.h"
#include "ui/DRUI.h"
#include "util/DisplayText.h"
#include "util/SourceKind.h"
#include "util/TimeFormat.h"

namespace {

// Menu entries added per turn of the event loop.
constexpr qsizetype kMenuSlice = 500;

constexpr const char* kPopupStyle =
    "QMenu{background:rgba(0, 0, 0, 80);color: white;}QMenu::item:selected {background-color: rgba(0, 0, "
    "0,120);}";

QMenu* makePopup(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setWindowFlags(menu->windowFlags() | Qt::FramelessWindowHint);
    menu->setAttribute(Qt::WA_TranslucentBackground);
    menu->setStyleSheet(QLatin1String(kPopupStyle));
    QFont font(QStringLiteral("Calibri"), 20);
    font.setWeight(QFont::Bold);
    menu->setFont(font);
    QPalette palette = menu->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    menu->setPalette(palette);
    return menu;
}

// Adds one entry to the popup and the same entry to its menu-bar mirror.
QAction* addTwice(QMenu* popup, QMenu* mirror, const QString& text, const QVariant& data,
                  QAction** mirrored = nullptr) {
    // Stream labels come from the disc: an "&" there is text, not a shortcut mark.
    const QString shown = display_text::forMenu(text);
    QAction* action = popup->addAction(shown);
    action->setData(data);
    if (mirror) {
        QAction* copy = mirror->addAction(shown);
        copy->setData(data);
        if (mirrored)
            *mirrored = copy;
    }
    return action;
}

void checkOnly(QAction* action) {
    if (!action)
        return;
    action->setCheckable(true);
    action->setChecked(true);
}

QMenu* ownMenu(QAction* entry) {
    return entry ? entry->menu<QMenu*>() : nullptr;
}

} // namespace

bool DRUI::readDisc(const QString& folder) {
    // Like a modal dialog's exec(): the call returns when the disc is read,
    // and meanwhile the window paints, moves and closes.
    QEventLoop waiting;
    connect(&discScan, &DiscScanJob::finished, &waiting, &QEventLoop::quit);
    const QPointer<DRUI> alive(this);
    const QString shown = nowPlayingLabel ? nowPlayingLabel->text() : QString();
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    discScan.start(folder);
    if (discScan.isRunning())
        waiting.exec();
    QGuiApplication::restoreOverrideCursor();
    if (!alive) // destroyed meanwhile; its destructor stopped the scan
        return false;
    // The wait also ends when the program quits: no scan may run on.
    discScan.cancel();
    if (nowPlayingLabel)
        nowPlayingLabel->setText(shown);
    updateMenuStates();
    return discScan.isComplete();
}

bool DRUI::addInSlices(qsizetype count, const std::function<void(qsizetype)>& add) {
    if (count <= kMenuSlice) {
        for (qsizetype n = 0; n < count; ++n)
            add(n);
        return true;
    }
    // Adding an entry to a menu takes time that grows with the menu, so a
    // long one is filled a slice per turn of the event loop, like the wait
    // in readDisc(); input stays refused meanwhile.
    const QPointer<DRUI> alive(this);
    qsizetype next = 0;
    QEventLoop waiting;
    QTimer slice;
    connect(&slice, &QTimer::timeout, &waiting, [&] {
        for (const qsizetype end = qMin(count, next + kMenuSlice); alive && next < end; ++next)
            add(next);
        if (!alive || next == count)
            waiting.quit();
    });
    fillingMenus = true;
    slice.start(0);
    waiting.exec();
    if (!alive) // destroyed meanwhile, with the menus being filled
        return false;
    fillingMenus = false;
    // The wait also ends when the program quits.
    return next == count;
}

void DRUI::buildDiscMenus(const QString& folder) {
    if (isAddingFiles() || !readDisc(folder))
        return;
    const DiscInfo scanned = discScan.disc(); // shares the job's lists

    if (discNameLabel)
        discNameLabel->setText(QString::fromLocal8Bit(scanned.name));
    if (discPictureLabel)
        discPictureLabel->setPixmap(QPixmap::fromImage(discScan.picture()));

    disc.load(scanned);
    if (scanned.titles.isEmpty()) {
        // Nothing of the disc read before may be played for this one.
        Source current = controller->currentSource();
        current.titleKey.clear();
        controller->setSource(current);
        return;
    }
    const QString sourceKey = scanned.sourceKey();
    // The disc is what plays next: the time row must not keep the length of
    // the source that played before, nor Play start that one.
    Source offered;
    offered.path = disc.discFolder(sourceKey);
    offered.kind = SourceKind::BluRay;
    offered.titleKey = sourceKey;
    offered.length = disc.titleSeconds(sourceKey);
    controller->offerSource(offered);

    // The previous disc's popups go; their entries must not stay active.
    for (QMenu* old : std::as_const(discPopups))
        old->deleteLater();
    discPopups.clear();
    activeSubtitleAction = nullptr;
    activeAudioAction = nullptr;
    for (QMenu* mirror : {subtitleTrackMenu, audioTrackMenu, chapterMenu, titleMenu}) {
        if (mirror)
            mirror->clear();
    }

    QMenu* subtitles = makePopup(this);
    const QList<StreamInfo> subtitleStreams = disc.subtitleStreams(sourceKey);
    if (!subtitleStreams.isEmpty()) {
        QAction* mirrored = nullptr;
        QAction* disable = addTwice(subtitles, subtitleTrackMenu, QStringLiteral("Disable"), 0, &mirrored);
        for (qsizetype n = 0; n < subtitleStreams.size(); ++n)
            addTwice(subtitles, subtitleTrackMenu, subtitleStreams[n].label, qint32(n + 1));
        subtitles->setActiveAction(disable);
        activeSubtitleAction = disable;
        checkOnly(mirrored);
    }

    QMenu* audio = makePopup(this);
    const QList<StreamInfo> audioStreams = disc.audioStreams(sourceKey);
    if (!audioStreams.isEmpty()) {
        addTwice(audio, audioTrackMenu, QStringLiteral("Disable"), 0);
        QAction* first = nullptr;
        QAction* mirrored = nullptr;
        for (qsizetype n = 0; n < audioStreams.size(); ++n) {
            QAction* copy = nullptr;
            QAction* action = addTwice(audio, audioTrackMenu, audioStreams[n].label, qint32(n + 1), &copy);
            if (n == 0) {
                first = action;
                mirrored = copy;
            }
        }
        audio->setActiveAction(first);
        activeAudioAction = first;
        checkOnly(mirrored);
    }

    // A playlist may hold 32,767 chapters and a disc give 10,000 titles.
    QMenu* chapters = makePopup(this);
    const QList<qint32> starts = disc.chapters(sourceKey);
    const bool chaptersAdded = addInSlices(starts.size(), [&](qsizetype n) {
        const QString text =
            QString::number(n + 1) + QStringLiteral(". ") + QString::fromLatin1(formatTime(starts[n] / 1000));
        addTwice(chapters, chapterMenu, text, starts[n]);
    });
    if (!chaptersAdded)
        return;

    QMenu* titles = makePopup(this);
    const bool titlesAdded = addInSlices(scanned.titles.size(), [&](qsizetype n) {
        PLAY_LIST_INFO info;
        info.kind = toInt(SourceKind::BluRay);
        info.path = scanned.titles[n].playlist;
        info.duration = scanned.titles[n].duration;
        addTwice(titles, titleMenu, QString::number(n + 1) + QStringLiteral(". ") + info.duration,
                 QVariant::fromValue(info));
    });
    if (!titlesAdded)
        return;

    const std::pair<QAction*, QMenu*> attach[] = {{discSubtitleAction, subtitles},
                                                  {discAudioAction, audio},
                                                  {discChapterAction, chapters},
                                                  {discTitlesAction, titles}};
    for (const auto& [entry, popup] : attach) {
        discPopups.append(popup);
        if (entry)
            entry->setMenu(popup);
    }

    controller->setTrackMenuSizes(audioStreams.isEmpty() ? 0 : int(audioStreams.size()) + 1,
                                  subtitleStreams.isEmpty() ? 0 : int(subtitleStreams.size()) + 1);
    controller->showPage(Page::Disc);
}

void DRUI::BDMenuOperate(QAction* action) {
    if (isAddingFiles())
        return;
    if (!action)
        return;
    const QString key = controller->currentSource().titleKey;
    QMenu* owner = qobject_cast<QMenu*>(action->parent());

    if (owner && owner == ownMenu(discSubtitleAction)) {
        owner->setActiveAction(action);
        activeSubtitleAction = action;
        disc.setSubtitleChoice(key, action->data().toInt());
        return;
    }
    if (owner && owner == ownMenu(discAudioAction)) {
        owner->setActiveAction(action);
        activeAudioAction = action;
        disc.setAudioChoice(key, action->data().toInt());
        return;
    }
    // A chapter starts the current title there; a title starts at 0.
    if (owner && owner == ownMenu(discChapterAction))
        addBluRayTitle(key, false, action->data().toInt() / 1000);
    else if (owner && owner == ownMenu(discTitlesAction))
        addBluRayTitle(action->data().value<PLAY_LIST_INFO>().path, true);
    else
        addBluRayTitle(key);
}
