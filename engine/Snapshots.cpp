#include "engine/Snapshots.h"

#include <QFileInfo>

QString snapshotBaseName(const QDateTime& when, const QString& extension) {
    const QDate date = when.date();
    const QTime time = when.time();
    return QStringLiteral("Snapshot-") +
           QString::asprintf("%04d-%02d-%02d %02d-%02d-%02d.", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second()) +
           extension;
}

const char* snapshotImageFormat(const QString& snapshotFormat) {
    if (snapshotFormat == QLatin1String("PNG"))
        return "PNG";
    if (snapshotFormat == QLatin1String("BMP"))
        return "BMP";
    return "JPEG";
}

QString firstFreeFileName(const QString& path) {
    if (!QFileInfo::exists(path))
        return path;
    // The extension starts at the last dot of the file name, not of the folder.
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        dot = int(path.size());
    const QString stem = path.left(dot);
    const QString extension = path.mid(dot);
    for (int n = 2;; ++n) {
        const QString candidate = stem + QStringLiteral(" (%1)").arg(n) + extension;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}
