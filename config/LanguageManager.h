#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// Captions of the user interface, from the language file chosen in config.ini.
class LanguageManager {
public:
    using Language = QPair<QString, QString>; // key ("/English"), display name

    static LanguageManager& instance(); // reads applicationDirPath()/config.ini
    explicit LanguageManager(const QString& applicationDir);

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
    QString languagesFolder;
    QString currentKey;
    QList<Language> languageList;
    QMap<QString, QMap<QString, QString>> captions;
};

// Shorthand for LanguageManager::instance().caption(key).
QString caption(const char* key);
