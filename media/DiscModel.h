#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "media/DiscScan.h"
#include "media/MplsTypes.h"

// What the player knows of the Blu-ray titles it has seen, keyed by the
// title's playlist path. Loading a disc replaces the title tables; the
// stream choices and the disc folders of titles seen before are kept, so a
// title of an earlier disc still in the play list opens its own disc.
class DiscModel {
public:
    void load(const DiscInfo& disc);

    bool hasTitle(const QString& key) const { return titleNumbers.contains(key); }
    qint32 titleNumber(const QString& key) const { return titleNumbers.value(key); }
    QList<ClipInfo> clips(const QString& key) const { return clipTable.value(key); }
    // Sum over the title's clips of whole seconds.
    qint64 titleSeconds(const QString& key) const;
    QList<StreamInfo> audioStreams(const QString& key) const { return audioTable.value(key); }
    QList<StreamInfo> subtitleStreams(const QString& key) const { return subtitleTable.value(key); }
    bool hasChapters(const QString& key) const { return chapterTable.contains(key); }
    QList<qint32> chapters(const QString& key) const { return chapterTable.value(key); }
    // The disc folder that holds the title; the key itself when unknown.
    QString discFolder(const QString& key) const { return folders.value(key, key); }

    // Chosen streams: 0 is "Disable", n the n-th stream. -1 when no choice
    // was ever recorded for the title.
    qint32 audioChoice(const QString& key) const { return audioChoices.value(key, -1); }
    qint32 subtitleChoice(const QString& key) const { return subtitleChoices.value(key, -1); }
    void setAudioChoice(const QString& key, qint32 choice) { audioChoices[key] = choice; }
    void setSubtitleChoice(const QString& key, qint32 choice) { subtitleChoices[key] = choice; }

private:
    QHash<QString, qint32> titleNumbers;
    QHash<QString, QList<ClipInfo>> clipTable;
    QHash<QString, QList<StreamInfo>> subtitleTable;
    QHash<QString, QList<StreamInfo>> audioTable;
    QHash<QString, QList<qint32>> chapterTable;
    QHash<QString, QString> folders;
    QHash<QString, qint32> audioChoices;
    QHash<QString, qint32> subtitleChoices;
};
