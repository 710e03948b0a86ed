#include "config/RecentFiles.h"

#include <QFile>

#include "config/AtomicWrite.h"

namespace {
constexpr qsizetype maxRecentFiles = 10;
}

QStringList readRecentFiles(const QString& filePath) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return parseRecentFiles(file.readAll());
}

QStringList parseRecentFiles(const QByteArray& bytes) {
    QStringList entries;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        // A CR LF written on the old platform is a line end too.
        if (end > start && bytes.at(end - 1) == '\r')
            --end;
        // Lines that hold only a line end are skipped; blanks make an entry.
        if (end > start)
            entries.append(QString::fromLocal8Bit(bytes.constData() + start, end - start));
        start = next;
    }
    return entries;
}

bool writeRecentFiles(const QString& filePath, const QStringList& entries) {
    QByteArray bytes;
    for (const QString& entry : entries)
        bytes += entry.toLocal8Bit() + '\n';
    return writeFileAtomically(filePath, bytes);
}

bool addRecentFile(QStringList& entries, const QString& path) {
    if (entries.contains(path))
        return false;
    entries.prepend(path);
    // Only one entry goes: a longer hand-edited list shrinks one per addition.
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
