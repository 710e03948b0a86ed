#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// Captions of the user interface, from the language file chosen in config.ini.
class LanguageManager {
public:
    using Language = QPair<QString, QString>; // key ("/English"), display name

    // The process's captions: config.ini and Languages/ in the program's
    // folder, or in the folder given to useFolder() before the first call.
    static LanguageManager& instance();
    // Points instance() at another folder (tests use a scratch copy, so they
    // never write beside the program). Takes effect only before instance()
    // was first called; false afterwards, and nothing changes.
    static bool useFolder(const QString& folder);
    // `userConfig`: where this user's choice is kept when the program's
    // config.ini cannot be written (an installed program); empty: nowhere.
    explicit LanguageManager(const QString& applicationDir, const QString& userConfig = QString());

    // "Section/Key" -> caption; empty when missing.
    QString caption(const char* key) const;
    const QList<Language>& languages() const { return languageList; }
    QString currentLanguage() const { return currentKey; }
    void switchLanguage(const QString& key);

    QString configPath() const { return configFile; }
    QString languageFilePath() const { return languagesFolder + currentKey + QStringLiteral(".ini"); }

private:
    void readCurrentLanguage();
    void loadLanguageList();
    void loadCaptions();

    QString configFile;
    QString userConfigFile;
    QString languagesFolder;
    QString currentKey;
    QList<Language> languageList;
    QMap<QString, QMap<QString, QString>> captions;
};

// Shorthand for LanguageManager::instance().caption(key).
QString caption(const char* key);
