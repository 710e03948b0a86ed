#include "media/DiscModel.h"

void DiscModel::load(const DiscInfo& disc) {
    titleNumbers.clear();
    clipTable.clear();
    subtitleTable.clear();
    audioTable.clear();
    chapterTable.clear();
    for (const DiscTitle& title : disc.titles) {
        const QString& key = title.playlist;
        titleNumbers[key] = title.number;
        clipTable[key] = title.clips;
        subtitleTable[key] = title.subtitles;
        audioTable[key] = title.audio;
        chapterTable[key] = title.chapters;
        // A fresh disc starts on its first audio stream, subtitles off.
        audioChoices[key] = title.audio.isEmpty() ? 0 : 1;
        subtitleChoices[key] = 0;
        folders[key] = disc.folder;
    }
}

qint64 DiscModel::titleSeconds(const QString& key) const {
    qint64 total = 0;
    const auto found = clipTable.constFind(key);
    if (found != clipTable.constEnd()) {
        for (const ClipInfo& clip : *found)
            total += clip.clipDuration / 1000;
    }
    return total;
}
