#include "media/DiscScan.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>

#include "media/DiscFile.h"
#include "media/FolderList.h"
#include "media/MplsReader.h"
#include "util/TimeFormat.h"

namespace {

Q_LOGGING_CATEGORY(lcDiscScanGate, "kzp.gate.discscan", QtWarningMsg)

constexpr qsizetype kMetadataFieldSize = 256;

// One line of the metadata file, with its line end (a text-mode "\r\n" reads as "\n").
void handleMetadataLine(QByteArray line, QByteArray& name, QByteArray& thumbnail) {
    if (line.endsWith("\r\n"))
        line.remove(line.size() - 2, 1);

    static const QByteArray nameTag = QByteArrayLiteral("<di:name>");
    static const QByteArray thumbnailTag = QByteArrayLiteral("<di:thumbnail href=");
    qsizetype at = line.indexOf(nameTag);
    if (at >= 0) {
        const qsizetype from = at + nameTag.size();
        const qsizetype to = line.indexOf("</", from);
        const QByteArray value = line.mid(from, to < 0 ? -1 : to - from);
        if (value.size() < kMetadataFieldSize)
            name = value;
        return;
    }
    at = line.indexOf(thumbnailTag);
    if (at < 0)
        return;
    const qsizetype quote = at + thumbnailTag.size();
    if (quote >= line.size() || line[quote] != '"')
        return;
    // The name ends at the quote that closes the href value; more attributes
    // (size="416x240") may follow on the same line.
    const qsizetype from = quote + 1;
    const qsizetype to = line.indexOf('"', from);
    const QByteArray value = line.mid(from, to < 0 ? -1 : to - from);
    if (value.size() < kMetadataFieldSize)
        thumbnail = value;
}

} // namespace

void readDiscMetadata(const QString& file, QByteArray& name, QByteArray& thumbnail, const DiscFolder& disc) {
    QByteArray text;
    if (readDiscFile(file, kDiscMetadataLimit, text, disc) != 0)
        return;
    readDiscMetadataText(text, name, thumbnail);
}

void readDiscMetadataText(const QByteArray& text, QByteArray& name, QByteArray& thumbnail) {
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf('\n', from);
        end = end < 0 ? text.size() : end + 1;
        handleMetadataLine(text.mid(from, end - from), name, thumbnail);
        from = end;
    }
}

QString discThumbnailPath(const QString& metadataFolder, const QByteArray& name) {
    // Only a plain name inside the metadata folder: no separator (either
    // kind, nor a drive colon), no NUL that would cut the name short, and
    // not a name of the folder itself or of its parent.
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains('\\') ||
        name.contains(':') || name.contains('\0'))
        return QString();
    QString folder = metadataFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QFile::decodeName(name);
}

qint32 fileDigestHex(const QString& file, QByteArray& hex, const DiscFolder& disc) {
    DiscFile in;
    if (in.open(file, disc) != 0)
        return 87;
    const qint64 size = in.size();
    if (size <= 0)
        return 87;
    QCryptographicHash hash(QCryptographicHash::Sha512);
    qint64 total = 0;
    char piece[DiscFile::kPieceSize];
    while (total < size) {
        qint64 got = 0;
        (void)in.readAt(piece, qMin<qint64>(sizeof piece, size - total), total, got);
        if (got <= 0)
            break;
        hash.addData(QByteArrayView(piece, got));
        total += got;
    }
    if (total != size) {
        hex = QByteArray(128, '0');
        return 30;
    }
    hex = hash.result().toHex().toUpper();
    return 0;
}

DiscInfo scanDisc(const QString& folder, DiscScanControl* control) {
    DiscInfo disc;
    disc.folder = folder;
    const QString base = folder + QStringLiteral("/BDMV/");
    const QString meta = base + QStringLiteral("META/DL/");
    // Only files that really lie inside the disc's folder are read.
    const DiscFolder inside(folder);
    readDiscMetadata(meta + QStringLiteral("bdmt_eng.xml"), disc.name, disc.thumbnail, inside);
    disc.thumbnailPath = discThumbnailPath(meta, disc.thumbnail);

    QList<FolderEntry> entries;
    listFolder(base + QStringLiteral("PLAYLIST"), entries);
    // Folders are no playlists and are not counted; the listing is in name
    // order, so the files past the limit are the last names.
    entries.removeIf([](const FolderEntry& entry) { return entry.isDirectory; });
    if (entries.size() > kDiscPlaylistLimit) {
        // The folder is quoted, so a line break in its name stays on the line.
        qCInfo(lcDiscScanGate) << "refused" << entries.size() - kDiscPlaylistLimit
                               << "playlist files past the first" << kDiscPlaylistLimit << "in"
                               << base + QStringLiteral("PLAYLIST");
        entries.resize(kDiscPlaylistLimit);
    }
    if (control)
        control->total = int(entries.size());
    MplsReader reader;
    reader.setDiscFolder(inside);
    QSet<QByteArray> digests, contents;
    qint32 number = 1;
    for (const FolderEntry& entry : std::as_const(entries)) {
        if (control) {
            if (control->stop)
                break;
            ++control->read;
        }
        const QString path = QFile::decodeName(entry.fullPath);
        DiscTitle title;
        reader.readPlaylist(path, title.clips, title.subtitles, title.audio, title.chapters);
        if (title.clips.isEmpty())
            continue;
        // Byte-identical playlists are one title. The reader holds the file's
        // bytes when it read it whole, and comparing those is the same test as
        // comparing digests without hashing; otherwise the file's digest is
        // computed, and playlists that cannot be hashed share the empty digest.
        const bool whole = reader.lastReadWhole();
        QByteArray key;
        if (whole)
            key = reader.lastBytes().toByteArray();
        else
            fileDigestHex(path, key, inside);
        QSet<QByteArray>& seen = whole ? contents : digests;
        if (seen.contains(key)) {
            ++number;
            continue;
        }
        seen.insert(key);
        title.number = number++;
        title.playlist = path;
        for (const ClipInfo& clip : title.clips)
            title.seconds += clip.clipDuration / 1000;
        title.duration = QString::fromLatin1(formatTime(title.seconds));
        disc.titles.append(std::move(title));
    }
    // Longest first. Compared by seconds rather than by text, so a title of
    // 100 hours or more still sorts above a shorter one.
    std::stable_sort(disc.titles.begin(), disc.titles.end(),
                     [](const DiscTitle& a, const DiscTitle& b) { return a.seconds > b.seconds; });
    return disc;
}
