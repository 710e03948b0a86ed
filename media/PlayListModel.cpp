#include "media/PlayListModel.h"

#include <QSet>

int PlayListModel::indexOf(const QString& path) const {
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].path == path)
            return i;
    }
    return -1;
}

QList<PLAY_LIST_INFO> PlayListModel::unlisted(const QList<PLAY_LIST_INFO>& candidates) const {
    QSet<QString> present;
    for (const PLAY_LIST_INFO& entry : list)
        present.insert(entry.path);
    QList<PLAY_LIST_INFO> fresh;
    for (const PLAY_LIST_INFO& entry : candidates) {
        if (!present.contains(entry.path))
            fresh.append(entry);
    }
    return fresh;
}

std::optional<PLAY_LIST_INFO> PlayListModel::neighbour(const QString& path, int direction) const {
    if (list.size() < 2)
        return std::nullopt;
    const int at = indexOf(path);
    const int next = at + direction;
    if (at < 0 || next < 0 || next >= list.size())
        return std::nullopt;
    return list[next];
}

qint64 nextChapterSecond(const QList<qint32>& chaptersMs, qint64 current) {
    for (qint32 startMs : chaptersMs) {
        if (startMs / 1000 > current)
            return startMs / 1000;
    }
    return -1;
}

qint64 previousChapterSecond(const QList<qint32>& chaptersMs, qint64 current) {
    int before = 0; // chapters at the head of the list starting before the playing second
    while (before < chaptersMs.size() && chaptersMs[before] / 1000 < current)
        ++before;
    if (before <= 1)
        return -1;
    const qint64 target = chaptersMs[before - 2] / 1000;
    return target == current ? -1 : target;
}
