#pragma once

// A scratch copy of the shipped captions (config.ini and every language
// file beside the test binaries) that the language manager then uses:
// switching languages writes config.ini, which must not be the build's.

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "config/LanguageManager.h"

// The number of language files copied into `folder` and in use; -1 on failure.
inline qsizetype useShippedLanguagesIn(const QString& folder) {
    const QString shipped = QCoreApplication::applicationDirPath();
    if (!QDir().mkpath(folder + "/Languages") ||
        !QFile::copy(shipped + "/config.ini", folder + "/config.ini"))
        return -1;
    const QStringList files = QDir(shipped + "/Languages").entryList({"*.ini"}, QDir::Files);
    for (const QString& file : files)
        if (!QFile::copy(shipped + "/Languages/" + file, folder + "/Languages/" + file))
            return -1;
    if (!LanguageManager::useFolder(folder) || LanguageManager::instance().languages().size() != files.size())
        return -1;
    return files.size();
}
