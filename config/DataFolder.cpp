#include "config/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "config/SideFile.h"
#include "util/SafeWrite.h"

Q_LOGGING_CATEGORY(lcDataFolderGate, "kzp.gate.datafolder", QtWarningMsg)

namespace {
const QString folderName = QStringLiteral("/Kestrune Zyl Player/");
const QString outputPathFile = QStringLiteral("OutputPath.txt");
const QString probeCopyName = QStringLiteral("tool.exe");
// The probe launcher is a small program; anything far larger is not it.
constexpr qint64 kProbeLimit = 64 * 1024 * 1024;
constexpr mode_t kGroupOtherWrite = S_IWGRP | S_IWOTH;

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// True when `path` is a folder (links followed) or a regular file with one
// name (no link) that belongs to `user` and that neither group nor others
// may write.
bool isUsersAlone(const QString& path, bool folder, uid_t user) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if ((folder ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) != 0)
        return false;
    const bool kind = folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode) && info.st_nlink == 1;
    return kind && info.st_uid == user && (info.st_mode & kGroupOtherWrite) == 0;
}
} // namespace

bool makePrivateFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    qsizetype slash = 0;
    do {
        slash = path.indexOf('/', slash + 1);
        if (::mkdir((slash < 0 ? path : path.left(slash)).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    } while (slash >= 0);
    struct stat info;
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

QString dataFolderPath() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!base.isEmpty() && QDir::isRelativePath(base)) {
        qCInfo(lcDataFolderGate).noquote() << "refused the relative data location" << base;
        base = QDir::homePath() + QStringLiteral("/.local/share");
    }
    // An unknown location leaves just the folder name, as on the old platform.
    return base + folderName;
}

QString defaultSnapshotFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + folderName;
}

QString prepareDataFolder(const QString& applicationDir) {
    const QString folder = dataFolderPath();
    makePrivateFolder(folder);
    const uid_t user = ::geteuid();
    const QByteArray name = QFile::encodeName(folder);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return folder;
    if (info.st_uid != user) {
        qCInfo(lcDataFolderGate).noquote() << "refused" << folder << "belongs to user" << info.st_uid;
        return folder;
    }
    if ((info.st_mode & kGroupOtherWrite) != 0) {
        qCInfo(lcDataFolderGate).noquote()
            << "refused modes" << Qt::oct << (info.st_mode & 07777) << "of" << folder << "set to 0700";
        if (::chmod(name.constData(), 0700) != 0)
            return folder;
    }
    // A good copy is kept; anything else at its name is replaced.
    const QString target = folder + probeCopyName;
    if (isUsersAlone(target, false, user))
        return folder;
    struct stat there;
    if (::lstat(QFile::encodeName(target).constData(), &there) == 0)
        qCInfo(lcDataFolderGate).noquote() << "refused" << target << "replaced from the program's folder";
    QByteArray probe;
    if (readRegularFile(applicationDir + QStringLiteral("/tool"), kProbeLimit, probe) == 0)
        replaceFile(target, probe, 0700);
    return folder;
}

QString probeProgram(const QString& dataFolder, const QString& applicationDir) {
    const QString copy = withSlash(dataFolder) + probeCopyName;
    const uid_t user = ::geteuid();
    struct stat info;
    const bool missing = ::lstat(QFile::encodeName(copy).constData(), &info) != 0 && errno == ENOENT;
    if (isUsersAlone(dataFolder, true, user) && (missing || isUsersAlone(copy, false, user)))
        return copy;
    qCInfo(lcDataFolderGate).noquote() << "refused" << copy << "running the program's own probe";
    return applicationDir + QStringLiteral("/tool");
}

QString readOutputPath(const QString& dataFolder) {
    QByteArray bytes;
    readSideFile(dataFolder + outputPathFile, kOutputPathLimit, bytes);
    // Used exactly as stored: no trimming, no line-end handling.
    return QString::fromLocal8Bit(bytes);
}

bool writeOutputPath(const QString& dataFolder, const QString& folder) {
    return replaceFile(dataFolder + outputPathFile, folder.toLocal8Bit(), 0600);
}

QString snapshotFolder(const QString& dataFolder) {
    const QString stored = readOutputPath(dataFolder);
    return stored.isEmpty() ? defaultSnapshotFolder() : stored;
}
