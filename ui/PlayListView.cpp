// The play list: its table, the probe for file lengths, adding sources and
// previous/next.

#include "ui/DRUI.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QTableWidget>

#include "config/DataFolder.h"
#include "config/LanguageManager.h"
#include "media/Probe.h"
#include "media/ProbeBatch.h"
#include "util/TimeFormat.h"

void DRUI::openEntry(const PLAY_LIST_INFO& entry) {
    // Folders go through the disc detection again, files are played.
    if (entry.kind == toInt(SourceKind::Dvd) || entry.kind == toInt(SourceKind::BluRay))
        loadDiscFolder(entry.path);
    else
        addFiles({entry.path});
}

// Previous (-1) or next (+1): a chapter of the playing disc title, or the
// neighbouring play list entry for files and DVDs.
void DRUI::stepPlayback(int direction) {
    if (isAddingFiles())
        return;
    controller->resume();
    if (!controller->hasEngine())
        return;
    const Source& playing = controller->currentSource();
    if (playing.kind == SourceKind::BluRay) {
        const QString key = playing.titleKey;
        if (!disc.hasChapters(key))
            return;
        const QList<qint32> chapters = disc.chapters(key);
        const qint64 current = controller->currentSecond();
        const qint64 target =
            direction > 0 ? nextChapterSecond(chapters, current) : previousChapterSecond(chapters, current);
        if (target >= 0)
            controller->seekToSecond(target);
        return;
    }
    const std::optional<PLAY_LIST_INFO> entry = playList.neighbour(playing.path, direction);
    if (!entry)
        return;
    StopBtn();
    openEntry(*entry);
}

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
    connect(playListTable, &QTableWidget::cellDoubleClicked, this, &DRUI::PlayListItemDoubleClick);
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
        ++row;
    }
    playList.append(entries);
}

QString DRUI::probePath() const {
    return probeProgram(controller->dataFolderPath(), QCoreApplication::applicationDirPath());
}

QString DRUI::probeDuration(const QString& file) {
    return runProbe(probePath(), file, probes.timeout());
}

void DRUI::addFiles(const QStringList& paths) {
    if (paths.isEmpty() || isAddingFiles())
        return;
    // The first file starts while the lengths are probed: the engine needs
    // none of them, and the picture comes sooner. Its length reaches the
    // slider once known. A file that plays already pauses or resumes after
    // the probes instead, as the play button does.
    const bool startsNow = controller->isStopped() || controller->playingSource().path != paths.first();
    if (startsNow) {
        Source first;
        first.path = paths.first();
        openSource(first, OpenMode::Anew);
    }
    const std::optional<QStringList> durations = probeDurations(paths);
    if (!durations)
        return;
    QList<PLAY_LIST_INFO> probed;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        PLAY_LIST_INFO entry;
        entry.kind = toInt(SourceKind::File);
        entry.path = paths[i];
        entry.duration = durations->value(i);
        probed.append(entry);
    }
    appendPlayListRows(playList.unlisted(probed));
    if (startsNow) {
        controller->learnLength(probed.first().path, parseDurationText(probed.first().duration));
        markPlayingRow();
        return;
    }
    Source source;
    source.path = probed.first().path;
    source.length = parseDurationText(probed.first().duration);
    openSource(source, OpenMode::PauseOrResume);
}

std::optional<QStringList> DRUI::probeDurations(const QStringList& paths) {
    probes.setProgram(probePath());
    // Like a modal dialog's exec(): the call returns when the probes are done,
    // and meanwhile the window paints, moves and closes.
    QEventLoop waiting;
    connect(&probes, &ProbeBatch::finished, &waiting, &QEventLoop::quit);
    const QPointer<DRUI> alive(this);
    const QString shown = nowPlayingLabel ? nowPlayingLabel->text() : QString();
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    showProbeProgress(0, static_cast<int>(paths.size()));
    probes.start(paths);
    if (probes.isRunning())
        waiting.exec();
    QGuiApplication::restoreOverrideCursor();
    if (!alive) // destroyed meanwhile; its destructor cancelled the probes
        return std::nullopt;
    // The wait also ends when the program quits: no probe may run on.
    probes.cancel();
    if (nowPlayingLabel)
        nowPlayingLabel->setText(shown);
    updateMenuStates();
    if (!probes.isComplete())
        return std::nullopt;
    return probes.durations();
}

void DRUI::showProbeProgress(int finished, int total) {
    if (nowPlayingLabel)
        nowPlayingLabel->setText(QStringLiteral("    ") +
                                 caption("MainWnd/ProbeProgress").arg(finished).arg(total));
}

void DRUI::addDvdFolder(const QString& folder) {
    if (isAddingFiles())
        return;
    const bool already = playList.contains(folder);
    PLAY_LIST_INFO entry;
    entry.kind = toInt(SourceKind::Dvd);
    entry.path = folder;
    if (!already)
        appendPlayListRows({entry});
    Source source;
    source.path = folder;
    source.kind = SourceKind::Dvd;
    // The same folder starts anew instead of pausing.
    openSource(source, OpenMode::Anew);
}

void DRUI::addBluRayTitle() {
    addBluRayTitle(controller->currentSource().titleKey);
}

void DRUI::addBluRayTitle(const QString& key, bool titleChosen, qint32 startSecond) {
    if (key.isEmpty() || isAddingFiles())
        return;
    const QString folder = disc.discFolder(key);
    const bool already = playList.contains(folder);
    PLAY_LIST_INFO entry;
    entry.kind = toInt(SourceKind::BluRay);
    entry.path = folder;
    entry.duration = QString::fromLatin1(formatTime(disc.titleSeconds(key)));
    if (!already)
        appendPlayListRows({entry});
    Source source;
    source.path = folder;
    source.kind = SourceKind::BluRay;
    source.titleKey = key;
    source.titleChosen = titleChosen;
    source.startSecond = startSecond;
    source.length = parseDurationText(entry.duration);
    // The engine resolves the disc's stream files relative to this folder.
    source.engineFolder = folder + QStringLiteral("/BDMV/STREAM");
    openSource(source, OpenMode::Anew);
}

void DRUI::PlayListItemDoubleClick(int row, int column) {
    if (!playListTable || isAddingFiles())
        return;
    QTableWidgetItem* item = playListTable->item(row, column);
    if (!item)
        return;
    StopBtn();
    openEntry(item->data(Qt::UserRole).value<PLAY_LIST_INFO>());
}

void DRUI::PlayNext() {
    stepPlayback(+1);
}

void DRUI::PlayPre() {
    stepPlayback(-1);
}

void DRUI::markPlayingRow() {
    if (!playListTable)
        return;
    const QIcon playing(QStringLiteral(":/image/playstatus.png"));
    // Once playback has ended, failed or been stopped no row is playing.
    const QString source = controller->isStopped() ? QString() : controller->playingSource().path;
    for (int row = 0; row < playListTable->rowCount(); ++row) {
        QTableWidgetItem* item = playListTable->item(row, 0);
        if (!item)
            continue;
        if (!source.isEmpty() && item->data(Qt::UserRole).value<PLAY_LIST_INFO>().path == source) {
            playListTable->selectRow(row);
            playListTable->setFocus();
            item->setIcon(playing);
        } else {
            item->setIcon(QIcon());
        }
    }
}
