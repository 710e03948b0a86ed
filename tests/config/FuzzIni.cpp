// Fuzz entry for the INI reader and the line-preserving writer.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QString>

#include "config/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    IniFile ini;
    ini.parse(bytes);
    for (const QString& name : ini.sectionNames()) {
        const QList<IniFile::Entry> entries = ini.entries(name);
        // The first line of a key is what a look-up answers.
        for (const IniFile::Entry& entry : entries)
            if (!ini.contains(name, entry.key))
                std::abort();
        if (!entries.isEmpty() && ini.value(name, entries.first().key) != entries.first().text)
            std::abort();
    }

    // Storing the language must work on any file and read back as stored,
    // leaving every section that was there.
    const QString section = QStringLiteral("DefaultLanguage");
    const QString key = QStringLiteral("Default");
    QByteArray edited(bytes.constData(), bytes.size());
    if (!IniFile::withValue(edited, section, key, QStringLiteral("/Fuzz")))
        std::abort();
    IniFile reread;
    reread.parse(edited);
    if (reread.value(section, key) != QStringLiteral("/Fuzz"))
        std::abort();
    for (const QString& name : ini.sectionNames())
        if (!reread.sectionNames().contains(name))
            std::abort();
    return 0;
}
