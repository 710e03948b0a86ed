#pragma once

#include <QMetaType>
#include <QString>

// One play list entry. Also carried as data by table items and title menu entries.
struct PLAY_LIST_INFO {
    qint32 kind = 0;  // 0 media file, 1 DVD folder, 2 Blu-ray disc
    QString path;     // file, DVD folder, disc folder (or a playlist file in title menus)
    QString duration; // "hh:mm:ss", empty when unknown
};

Q_DECLARE_METATYPE(PLAY_LIST_INFO)

// Registers the type under the name "PLAY_LIST_INFO"; safe to call more than once.
void registerPlayListInfoType();
