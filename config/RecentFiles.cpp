// Placeholder: filled in by its owner.
#include "config/RecentFiles.h"
QStringList readRecentFiles(const QString&) { return {}; }
bool writeRecentFiles(const QString&, const QStringList&) { return false; }
bool addRecentFile(QStringList& entries, const QString& path) {
    if (entries.contains(path))
        return false;
    entries.prepend(path);
    while (entries.size() > 10)
        entries.removeLast();
    return true;
}
