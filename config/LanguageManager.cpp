#include "config/LanguageManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>

#include "config/DataFolder.h"
#include "config/IniFile.h"

namespace {
const QString defaultLanguageSection = QStringLiteral("DefaultLanguage");
const QString defaultLanguageKey = QStringLiteral("Default");
const QString builtInLanguage = QStringLiteral("/English");

QString& chosenFolder() {
    static QString folder;
    return folder;
}

std::atomic<bool> instanceBuilt{false};
} // namespace

bool LanguageManager::useFolder(const QString& folder) {
    if (instanceBuilt.load())
        return false;
    chosenFolder() = folder;
    return true;
}

LanguageManager& LanguageManager::instance() {
    static LanguageManager manager(
        [] {
            instanceBuilt.store(true);
            const QString& chosen = chosenFolder();
            return chosen.isEmpty() ? QCoreApplication::applicationDirPath() : chosen;
        }(),
        dataFolderPath() + QStringLiteral("config.ini"));
    return manager;
}

LanguageManager::LanguageManager(const QString& applicationDir, const QString& userConfig)
    : configFile(applicationDir + QStringLiteral("/config.ini")), userConfigFile(userConfig),
      languagesFolder(applicationDir + QStringLiteral("/Languages/")) {
    readCurrentLanguage();
    loadLanguageList();
    loadCaptions();
}

QString LanguageManager::caption(const char* key) const {
    if (!key)
        return QString();
    // Keys are ASCII; each byte is one character.
    const QString whole = QString::fromLatin1(key);
    const qsizetype slash = whole.lastIndexOf(u'/');
    const QString section = slash < 0 ? whole : whole.left(slash);
    const QString name = slash < 0 ? QString() : whole.mid(slash + 1);
    const auto found = captions.constFind(section);
    if (found == captions.constEnd())
        return QString();
    return found.value().value(name);
}

void LanguageManager::switchLanguage(const QString& key) {
    // The program's config.ini keeps the choice. An installed program's folder
    // is not the user's to write: there the choice goes to the user's own
    // file, which then wins over the program's. A write that fails everywhere
    // changes nothing; the re-read then keeps the previous language.
    if (IniFile::writeValue(configFile, defaultLanguageSection, defaultLanguageKey, key)) {
        if (!userConfigFile.isEmpty() && QFile::exists(userConfigFile))
            QFile::remove(userConfigFile); // it would hide the choice just made
    } else if (!userConfigFile.isEmpty()) {
        makePrivateFolder(QFileInfo(userConfigFile).absolutePath());
        IniFile::writeValue(userConfigFile, defaultLanguageSection, defaultLanguageKey, key);
    }
    readCurrentLanguage();
    loadCaptions();
}

void LanguageManager::readCurrentLanguage() {
    IniFile config;
    config.load(configFile);
    currentKey = config.value(defaultLanguageSection, defaultLanguageKey, builtInLanguage);
    // The user's choice counts only for a language the program offers.
    IniFile user;
    if (userConfigFile.isEmpty() || !user.load(userConfigFile))
        return;
    const QString chosen = user.value(defaultLanguageSection, defaultLanguageKey);
    for (const IniFile::Entry& offered : config.entries(QStringLiteral("Languages")))
        if (offered.key == chosen)
            currentKey = chosen;
}

void LanguageManager::loadLanguageList() {
    IniFile config;
    config.load(configFile);
    languageList.clear();
    for (const IniFile::Entry& entry : config.entries(QStringLiteral("Languages")))
        languageList.append(Language(entry.key, entry.text));
}

void LanguageManager::loadCaptions() {
    captions.clear();
    IniFile file;
    if (!file.load(languageFilePath()))
        return;
    for (const QString& section : file.sectionNames()) {
        const QList<IniFile::Entry> entries = file.entries(section);
        if (entries.isEmpty())
            continue;
        QMap<QString, QString>& table = captions[section];
        for (const IniFile::Entry& entry : entries)
            if (!table.contains(entry.key))
                table.insert(entry.key, entry.text);
    }
}

QString caption(const char* key) {
    return LanguageManager::instance().caption(key);
}
