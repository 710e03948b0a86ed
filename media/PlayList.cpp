// The play list: its table, the probe for file lengths, adding sources and
// previous/next.

#include "ui/DRUI.h"

#include <QDir>
#include <QHeaderView>
#include <QIcon>
#include <QSet>
#include <QTableWidget>

#include "engine/EngineCommands.h"
#include "media/Probe.h"
#include "util/TimeFormat.h"

namespace {

int indexOfPath(const QList<PLAY_LIST_INFO>& list, const QString& path) {
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].path == path)
            return i;
    }
    return -1;
}

// The playing second as the engine last reported it, truncated toward zero.
qint64 currentSecond(const QString& positionText) {
    return static_cast<qint64>(positionText.toDouble());
}

// Opens a play list entry again: folders through the disc detection, files by playing them.
void openEntry(DRUI& window, const PLAY_LIST_INFO& entry) {
    if (entry.kind == 1 || entry.kind == 2)
        window.loadDiscFolder(entry.path);
    else
        window.addFiles({entry.path});
}

// First chapter starting after the playing second; -1 when there is none (no wrap-around).
qint64 nextChapterSecond(const QList<qint32>& chaptersMs, qint64 current) {
    for (qint32 startMs : chaptersMs) {
        if (startMs / 1000 > current)
            return startMs / 1000;
    }
    return -1;
}

// Start of the chapter before the one holding the playing second; -1 when there is
// none, or when it is where playback already stands.
qint64 previousChapterSecond(const QList<qint32>& chaptersMs, qint64 current) {
    int before = 0; // chapters at the head of the list starting before the playing second
    while (before < chaptersMs.size() && chaptersMs[before] / 1000 < current)
        ++before;
    if (before <= 1)
        return -1;
    const qint64 target = chaptersMs[before - 2] / 1000;
    return target == current ? -1 : target;
}

// Previous (-1) or next (+1): a chapter of the playing disc title, or the
// neighbouring play list entry for files and DVDs.
void stepPlayback(DRUI& window, int direction) {
    window.resumePlayback();
    if (!window.engineProcess)
        return;
    if (window.sourceKind == 2) {
        const auto chapters = window.chapterTable.constFind(window.sourceKey);
        if (chapters == window.chapterTable.constEnd())
            return;
        const qint64 current = currentSecond(window.positionText);
        const qint64 target =
            direction > 0 ? nextChapterSecond(*chapters, current) : previousChapterSecond(*chapters, current);
        if (target < 0)
            return;
        window.writeEngine(engine_commands::seek(target));
        window.playClock = target * 1000;
        return;
    }
    if (window.playList.size() < 2)
        return;
    const int at = indexOfPath(window.playList, window.currentSource);
    const int neighbour = at + direction;
    if (at < 0 || neighbour < 0 || neighbour >= window.playList.size())
        return;
    window.StopBtn();
    const PLAY_LIST_INFO entry = window.playList[neighbour];
    openEntry(window, entry);
}

} // namespace

void DRUI::createPlayListTable() {
    playListTable = new QTableWidget(rootWidget ? rootWidget : static_cast<QWidget*>(this));
    playListTable->setObjectName(QStringLiteral("playListTable"));
    playListTable->setMouseTracking(true);
    playListTable->setColumnCount(1);
    playListTable->setColumnWidth(0, 200);
    playListTable->horizontalHeader()->setMaximumHeight(0);
    playListTable->verticalHeader()->setVisible(false);
    playListTable->horizontalHeader()->setStretchLastSection(true);
    playListTable->horizontalHeader()->setHighlightSections(false);
    playListTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    playListTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    playListTable->setStyleSheet(QStringLiteral("border:1px solid rgb(0, 0, 0);"));
    connect(playListTable, SIGNAL(cellDoubleClicked(int, int)), this,
            SLOT(PlayListItemDoubleClick(int, int)));
}

void DRUI::appendPlayListRows(const QList<PLAY_LIST_INFO>& entries) {
    if (entries.isEmpty() || !playListTable)
        return;
    int row = playListTable->rowCount();
    playListTable->setRowCount(row + static_cast<int>(entries.size()));
    QFont font(QStringLiteral("Calibri"), 10);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    for (const PLAY_LIST_INFO& entry : entries) {
        // A short path (the root folder) is shown whole, anything else by its last part.
        const QString shown =
            entry.path.size() > 4 ? entry.path.mid(entry.path.lastIndexOf(QLatin1Char('/')) + 1) : entry.path;
        auto* item = new QTableWidgetItem(QStringLiteral("    ") + shown);
        item->setFont(font);
        item->setForeground(QColor(Qt::white));
        item->setData(Qt::UserRole, QVariant::fromValue(entry));
        playListTable->setItem(row, 0, item);
        playListTable->setRowHeight(row, 20);
        playList.append(entry);
        ++row;
    }
}

QString DRUI::probePath() const {
    return dataFolder + QStringLiteral("tool.exe");
}

QString DRUI::probeDuration(const QString& file) {
    return runProbe(probePath(), file, probeTimeoutMs);
}

void DRUI::addFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    QSet<QString> present;
    for (const PLAY_LIST_INFO& entry : std::as_const(playList))
        present.insert(entry.path);

    QList<PLAY_LIST_INFO> fresh;
    PLAY_LIST_INFO first;
    for (int i = 0; i < paths.size(); ++i) {
        PLAY_LIST_INFO entry;
        entry.kind = 0;
        entry.path = paths[i];
        entry.duration = probeDuration(paths[i]);
        if (i == 0)
            first = entry;
        if (!present.contains(entry.path))
            fresh.append(entry);
    }
    currentSource = first.path;
    mediaLength = parseDurationText(first.duration);
    appendPlayListRows(fresh);
    sourceKind = 0;
    sourceKey.clear();
    VideoPlay();
}

void DRUI::addDvdFolder(const QString& folder) {
    const bool already = indexOfPath(playList, folder) >= 0;
    PLAY_LIST_INFO entry;
    entry.kind = 1;
    entry.path = folder;
    // Emptied so that the same folder starts anew instead of pausing.
    playingSource.clear();
    currentSource = folder;
    mediaLength = 0;
    if (!already)
        appendPlayListRows({entry});
    sourceKind = 1;
    VideoPlay();
}

void DRUI::addBluRayTitle() {
    if (sourceKey.isEmpty())
        return;
    const QString disc = discFolderTable.value(sourceKey, sourceKey);
    const bool already = indexOfPath(playList, disc) >= 0;
    qint64 total = 0;
    const auto clips = clipTable.constFind(sourceKey);
    if (clips != clipTable.constEnd()) {
        for (const ClipInfo& clip : *clips)
            total += clip.clipDuration / 1000;
    }
    PLAY_LIST_INFO entry;
    entry.kind = 2;
    entry.path = disc;
    entry.duration = QString::fromLatin1(formatTime(total));
    playingSource.clear();
    currentSource = disc;
    mediaLength = parseDurationText(entry.duration);
    if (!already)
        appendPlayListRows({entry});
    // The engine resolves the disc's stream files relative to this folder.
    QDir::setCurrent(disc + QStringLiteral("/BDMV/STREAM"));
    sourceKind = 2;
    VideoPlay();
}

void DRUI::PlayListItemDoubleClick(int row, int column) {
    if (!playListTable)
        return;
    QTableWidgetItem* item = playListTable->item(row, column);
    if (!item)
        return;
    StopBtn();
    const PLAY_LIST_INFO entry = item->data(Qt::UserRole).value<PLAY_LIST_INFO>();
    openEntry(*this, entry);
}

void DRUI::PlayNext() {
    stepPlayback(*this, +1);
}

void DRUI::PlayPre() {
    stepPlayback(*this, -1);
}

void DRUI::markPlayingRow() {
    if (!playListTable)
        return;
    const QIcon playing(QStringLiteral(":/image/playstatus.png"));
    for (int row = 0; row < playListTable->rowCount(); ++row) {
        QTableWidgetItem* item = playListTable->item(row, 0);
        if (!item)
            continue;
        if (item->data(Qt::UserRole).value<PLAY_LIST_INFO>().path == playingSource) {
            playListTable->selectRow(row);
            playListTable->setFocus();
            item->setIcon(playing);
        } else {
            item->setIcon(QIcon());
        }
    }
}
