// Placeholder: filled in by its owner.
#include "config/LanguageManager.h"
#include <QCoreApplication>
LanguageManager& LanguageManager::instance() {
    static LanguageManager manager(QCoreApplication::applicationDirPath());
    return manager;
}
LanguageManager::LanguageManager(const QString& applicationDir)
    : configFile(applicationDir + "/config.ini"), languagesFolder(applicationDir + "/Languages/"),
      currentKey("/English") {}
QString LanguageManager::caption(const char* key) const { return QString::fromLatin1(key).section('/', -1); }
void LanguageManager::switchLanguage(const QString& key) { currentKey = key; }
void LanguageManager::readCurrentLanguage() {}
void LanguageManager::loadLanguageList() {}
void LanguageManager::loadCaptions() {}
QString caption(const char* key) { return LanguageManager::instance().caption(key); }
