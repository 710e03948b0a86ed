#include "config/RecentFiles.h"

#include <QFile>

#include "config/SideFile.h"
#include "util/SafeWrite.h"

namespace {
constexpr qsizetype maxRecentFiles = 10;
}

QStringList readRecentFiles(const QString& filePath) {
    QByteArray bytes;
    if (readSideFile(filePath, kRecentFilesReadLimit + 1, bytes, RegularFile::Prefix) != 0)
        return QStringList();
    // A line cut by the bound is no whole path.
    if (bytes.size() > kRecentFilesReadLimit) {
        bytes.truncate(kRecentFilesReadLimit);
        bytes.truncate(bytes.lastIndexOf('\n') + 1);
    }
    return parseRecentFiles(bytes);
}

QStringList parseRecentFiles(const QByteArray& bytes) {
    QStringList entries;
    qsizetype start = 0;
    while (start < bytes.size() && entries.size() < maxRecentFiles) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        // A CR LF written on the old platform is a line end too.
        if (end > start && bytes.at(end - 1) == '\r')
            --end;
        // Lines that hold only a line end are skipped; blanks make an entry.
        // A line that is no text in the local encoding names no file the
        // player can open, and would be written back as another name: dropped.
        if (end > start) {
            const QByteArray line = bytes.mid(start, end - start);
            const QString entry = QString::fromLocal8Bit(line);
            if (entry.toLocal8Bit() == line && !line.contains('\0'))
                entries.append(entry);
            else
                qCInfo(lcSideFileGate).noquote() << "refused a recent entry that is no text:" << line.toHex();
        }
        start = next;
    }
    return entries;
}

bool writeRecentFiles(const QString& filePath, const QStringList& entries) {
    QByteArray bytes;
    for (const QString& entry : entries)
        bytes += entry.toLocal8Bit() + '\n';
    return replaceFile(filePath, bytes, 0600);
}

bool addRecentFile(QStringList& entries, const QString& path) {
    if (entries.contains(path))
        return false;
    entries.prepend(path);
    // Only one entry goes: a longer list shrinks one per addition.
    if (entries.size() > maxRecentFiles)
        entries.removeLast();
    return true;
}

void RecentFileList::load(const QString& filePath) {
    file = filePath;
    list = readRecentFiles(filePath);
}

bool RecentFileList::add(const QString& path) {
    if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')) || !addRecentFile(list, path))
        return false;
    writeRecentFiles(file, list);
    return true;
}

void RecentFileList::clear() {
    list.clear();
    QFile::remove(file);
}
