#include "BlurayTitle.h"

#include <QFile>
#include <QFileInfo>

#include "media/DiscScan.h"

#if __has_include(<libbluray/bluray.h>)
#include <libbluray/bluray.h>
#define KZP_HAVE_LIBBLURAY 1
#endif

// The player numbers a disc's titles its own way (playlists in name order,
// duplicates using up a number); the engine plays entry N of libbluray's list
// of relevant titles, in the order the folder happens to be read, and plays
// libbluray's own choice of main title for 0. Both are translated here into
// libbluray's index of the same playlist.

namespace {

#ifdef KZP_HAVE_LIBBLURAY
// The number libbluray gives a playlist file: the leading digits of its name.
qint64 playlistNumber(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    qsizetype digits = 0;
    while (digits < name.size() && name[digits].isDigit())
        ++digits;
    bool ok = false;
    const qint64 value = name.left(digits).toLongLong(&ok);
    return ok ? value : -1;
}

bool sameClips(const DiscTitle& title, const BLURAY_TITLE_INFO* info) {
    if (!info || info->clip_count != quint32(title.clips.size()))
        return false;
    for (quint32 k = 0; k < info->clip_count; ++k) {
        const ClipInfo& ours = title.clips[int(k)];
        const BLURAY_CLIP_INFO& theirs = info->clips[k];
        // libbluray reports IN/OUT in 90 kHz, the playlist stores 45 kHz.
        const quint32 in45 = quint32(theirs.in_time / 2), out45 = quint32(theirs.out_time / 2);
        if (!ours.clipName.startsWith(QByteArray(theirs.clip_id, int(qstrnlen(theirs.clip_id, 5)))) ||
            ours.inTime != in45 / 45 || ours.clipDuration != qint32(out45 / 45) - qint32(in45 / 45))
            return false;
    }
    return true;
}

// libbluray's index of `title`, or -1. A playlist libbluray left out as a
// duplicate is found through the entry it kept with the same clips.
qint64 libblurayIndex(const QString& folder, const DiscTitle& title) {
    BLURAY* bd = bd_open(QFile::encodeName(folder).constData(), nullptr);
    if (!bd)
        return -1;
    const quint32 count = bd_get_titles(bd, TITLES_RELEVANT, 0);
    const qint64 number = playlistNumber(title.playlist);
    qint64 byNumber = -1, byClips = -1;
    for (quint32 i = 0; i < count && byNumber < 0; ++i) {
        BLURAY_TITLE_INFO* info = bd_get_title_info(bd, i, 0);
        if (!info)
            continue;
        const bool clips = sameClips(title, info);
        if (clips && qint64(info->playlist) == number)
            byNumber = i;
        else if (clips && byClips < 0)
            byClips = i;
        bd_free_title_info(info);
    }
    bd_close(bd);
    return byNumber >= 0 ? byNumber : byClips;
}
#endif

} // namespace

void translateBlurayTitle(QStringList& arguments) {
#ifdef KZP_HAVE_LIBBLURAY
    const qsizetype device = arguments.indexOf(QStringLiteral("-bluray-device"));
    if (device < 0 || device + 1 >= arguments.size())
        return;
    qsizetype titleAt = -1;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i].startsWith(QLatin1String("br://"))) {
            titleAt = i;
            break;
        }
    }
    if (titleAt < 0)
        return;
    const QString digits = arguments[titleAt].mid(5);
    bool ok = true;
    const qint64 wanted = digits.isEmpty() ? 0 : digits.toLongLong(&ok);
    if (!ok || wanted < 0)
        return;

    const QString folder = arguments[device + 1];
    const DiscInfo disc = scanDisc(folder);
    if (disc.titles.isEmpty())
        return;
    const DiscTitle* title = nullptr;
    if (wanted == 0) {
        title = &disc.titles.first(); // the one the disc page shows first
    } else {
        for (const DiscTitle& t : disc.titles) {
            if (t.number == wanted)
                title = &t;
        }
    }
    if (!title)
        return;
    const qint64 index = libblurayIndex(folder, *title);
    if (index >= 0)
        arguments[titleAt] = QStringLiteral("br://%1").arg(index + 1);
#else
    Q_UNUSED(arguments);
#endif
}
