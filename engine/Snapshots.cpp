#include "engine/Snapshots.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>

#include "config/DataFolder.h"
#include "engine/EngineLine.h"
#include "util/TimeFormat.h"

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

QString saveEngineSnapshot(const QByteArray& engineLine, const QString& dataFolder, const QString& format) {
    QByteArray name;
    if (!engineScreenshotName(engineLine, &name))
        return QString();
    const QString engineFile = localToWide(name);
    if (!QFileInfo::exists(engineFile))
        return QString();

    const QString folder = snapshotFolder(dataFolder.isEmpty() ? dataFolderPath() : dataFolder);
    const QString wanted = folder + snapshotBaseName(QDateTime::currentDateTime(), format);
    QDir().mkpath(QFileInfo(wanted).absolutePath());
    const QString target = firstFreeFileName(wanted);

    QImageReader reader(engineFile);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        return QString(); // the engine's file stays: nothing was saved from it
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    if (!image.save(&file, snapshotImageFormat(format)) || !file.commit())
        return QString();
    QFile::remove(engineFile);
    return target;
}
