#include "engine/Snapshots.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "util/RegularFile.h"

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

bool isEngineShotName(const QString& name) {
    if (!name.endsWith(QLatin1String(".png")))
        return false;
    const qsizetype digits = name.size() - 4;
    if (digits < 4 || digits > 8)
        return false;
    for (qsizetype i = 0; i < digits; ++i)
        if (name[i] < QLatin1Char('0') || name[i] > QLatin1Char('9'))
            return false;
    // The engine counts from 1 and pads to four digits, never further.
    const int number = name.left(digits).toInt();
    return number >= 1 && name.left(digits) == QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
}

void EngineSnapshots::begin(const QString& folder) {
    shotFolder = folder.isEmpty() ? QString() : QFileInfo(folder).absoluteFilePath();
    if (!shotFolder.isEmpty() && !shotFolder.endsWith(QLatin1Char('/')))
        shotFolder += QLatin1Char('/');
    requests = 0;
}

void EngineSnapshots::end() {
    requests = 0;
}

bool EngineSnapshots::request() {
    if (shotFolder.isEmpty())
        return false;
    ++requests;
    return true;
}

EngineSnapshots::Report EngineSnapshots::take(const QByteArray& reportedPath, QString* name) {
    if (requests <= 0 || shotFolder.isEmpty())
        return Report::Ignored;
    // The engine is given an absolute folder and reports it as given; a
    // relative name would be resolved against some other folder.
    if (!reportedPath.startsWith('/') || reportedPath.contains('\0'))
        return Report::Ignored;
    const qsizetype slash = reportedPath.lastIndexOf('/');
    const QByteArray reportedFolder = reportedPath.left(slash + 1);
    const QString fileName = QString::fromLatin1(reportedPath.mid(slash + 1));
    if (!isEngineShotName(fileName))
        return Report::Ignored;
    // No "." or ".." steps: the folder is named, not reached by walking.
    for (const QByteArray& step : reportedFolder.split('/'))
        if (step == "." || step == "..")
            return Report::Ignored;
    // The same folder, however it is spelled (it may be reached through a
    // link): compared by device and inode.
    struct stat reported, ours, file;
    if (::stat(reportedFolder.constData(), &reported) != 0 ||
        ::stat(QFile::encodeName(shotFolder).constData(), &ours) != 0 || !S_ISDIR(ours.st_mode) ||
        reported.st_dev != ours.st_dev || reported.st_ino != ours.st_ino)
        return Report::Ignored;
    // The file itself: a regular file with no other name, never a link.
    const QByteArray path = QFile::encodeName(shotFolder + fileName);
    if (::lstat(path.constData(), &file) != 0)
        return errno == ENOENT ? Report::NotYet : Report::Ignored;
    if (!S_ISREG(file.st_mode) || file.st_nlink != 1)
        return Report::Ignored;
    --requests;
    *name = fileName;
    return Report::Taken;
}

QByteArray EngineSnapshots::read(const QString& name) const {
    if (shotFolder.isEmpty() || !isEngineShotName(name))
        return QByteArray();
    // No link is followed, nothing that could block is waited on, and a file
    // with another name (a hard link to a picture of the user's) is left alone.
    RegularFile file;
    QByteArray bytes;
    if (file.open(shotFolder + name, RegularFile::NoLinks) != 0 || file.linkCount() != 1 ||
        file.readAll(kMaxEngineShotBytes, bytes) != 0)
        return QByteArray();
    return bytes;
}

bool EngineSnapshots::remove(const QString& name) const {
    if (shotFolder.isEmpty() || !isEngineShotName(name))
        return false;
    // Removing a name never touches what a link would point at.
    return ::unlink(QFile::encodeName(shotFolder + name).constData()) == 0;
}

bool isCompletePng(const QByteArray& bytes) {
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    static const QByteArray end("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    return bytes.size() >= signature.size() + end.size() && bytes.startsWith(signature) &&
           bytes.endsWith(end);
}
