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

bool listHolds(const QList<PLAY_LIST_INFO>& list, const QString& path) {
    for (const PLAY_LIST_INFO& entry : list) {
        if (entry.path == path)
            return true;
    }
    return false;
}

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
    const bool already = listHolds(playList, folder);
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
    const bool already = listHolds(playList, disc);
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
    resumePlayback();
    if (!engineProcess)
        return;
    if (sourceKind == 2) {
        const auto chapters = chapterTable.constFind(sourceKey);
        if (chapters == chapterTable.constEnd())
            return;
        const qint64 cur = currentSecond(positionText);
        for (qint32 startMs : *chapters) {
            const qint64 target = startMs / 1000;
            if (target > cur) {
                writeEngine(engine_commands::seek(target));
                playClock = target * 1000;
                return;
            }
        }
        return;
    }
    if (playList.size() < 2)
        return;
    const int at = indexOfPath(playList, currentSource);
    if (at < 0 || at == playList.size() - 1)
        return;
    StopBtn();
    const PLAY_LIST_INFO next = playList[at + 1];
    openEntry(*this, next);
}

void DRUI::PlayPre() {
    resumePlayback();
    if (!engineProcess)
        return;
    if (sourceKind == 2) {
        const auto chapters = chapterTable.constFind(sourceKey);
        if (chapters == chapterTable.constEnd())
            return;
        const qint64 cur = currentSecond(positionText);
        int before = 0; // chapters at the head of the list starting before cur
        while (before < chapters->size() && (*chapters)[before] / 1000 < cur)
            ++before;
        if (before <= 1)
            return;
        const qint64 target = (*chapters)[before - 2] / 1000;
        if (target == cur)
            return;
        writeEngine(engine_commands::seek(target));
        playClock = target * 1000;
        return;
    }
    if (playList.size() < 2)
        return;
    const int at = indexOfPath(playList, currentSource);
    if (at <= 0)
        return;
    StopBtn();
    const PLAY_LIST_INFO previous = playList[at - 1];
    openEntry(*this, previous);
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
