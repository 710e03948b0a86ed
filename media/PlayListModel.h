#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "media/PlayListInfo.h"

// The play list's entries, independent of how they are shown. A path is
// listed once: entries already listed are not added again.
class PlayListModel {
public:
    const QList<PLAY_LIST_INFO>& entries() const { return list; }
    int size() const { return int(list.size()); }
    bool isEmpty() const { return list.isEmpty(); }
    int indexOf(const QString& path) const;
    bool contains(const QString& path) const { return indexOf(path) >= 0; }

    // The candidates whose path is not listed yet, in their order. Only the
    // entries already listed count: two equal candidates are both kept, as
    // the row-by-row adding always did.
    QList<PLAY_LIST_INFO> unlisted(const QList<PLAY_LIST_INFO>& candidates) const;
    void append(const QList<PLAY_LIST_INFO>& entries) { list += entries; }
    void clear() { list.clear(); }

    // The entry before (-1) or after (+1) the one with this path; none when
    // the path is not listed, the list has fewer than two entries, or the
    // step leaves the list (no wrap-around).
    std::optional<PLAY_LIST_INFO> neighbour(const QString& path, int direction) const;

private:
    QList<PLAY_LIST_INFO> list;
};

// Chapter steps within a disc title, in whole seconds; chapter starts are in
// milliseconds. -1 means there is nowhere to go.
// First chapter starting after the playing second (no wrap-around).
qint64 nextChapterSecond(const QList<qint32>& chaptersMs, qint64 current);
// Start of the chapter before the one holding the playing second; -1 when
// there is none or when playback already stands there.
qint64 previousChapterSecond(const QList<qint32>& chaptersMs, qint64 current);
