#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Reader and writer for the player's INI files (config.ini and the language
// files). The rules differ from QSettings on purpose:
//  - a line is split at its first "="; a line without "=" is both key and text;
//  - the first occurrence of a key wins, also across repeated sections;
//  - look-ups compare exactly (case-sensitive);
//  - blank lines and lines starting with ";" are skipped, a line's surrounding
//    blanks (and its CR) are dropped, and so are the blanks around the "=";
//  - UTF-8 with or without a byte-order mark, and UTF-16 with one, are read;
//  - any bytes are accepted; files are read through the side-file gate
//    (config/SideFile.h), which bounds their size.
class IniFile {
public:
    struct Entry {
        QString key;
        QString text;
    };

    // Reads the file at path. False (and nothing loaded) when it cannot be
    // read, is no regular file or is larger than kIniFileLimit.
    bool load(const QString& path);
    // Replaces the content with the parsed bytes.
    void parse(const QByteArray& bytes);
    // Text of a file's bytes, after its byte-order mark.
    static QString decode(const QByteArray& bytes);

    // Section names in file order, each once.
    const QStringList& sectionNames() const { return names; }
    // The lines of every section of that name, in file order.
    QList<Entry> entries(const QString& section) const;
    bool contains(const QString& section, const QString& key) const;
    // Text of the first line with that key; fallback when there is none.
    QString value(const QString& section, const QString& key, const QString& fallback = QString()) const;

    // Sets key=text in section of the file at path, changing only that line
    // (or adding it, or the section, at the end of what is there) and keeping
    // every other byte. Written atomically (replaceFile, modes kept): on any
    // failure, or when what is there cannot be read, the file stays as it was
    // and false is returned. Texts holding a line break are refused.
    static bool writeValue(const QString& path, const QString& section, const QString& key,
                           const QString& text);
    // The same edit on a file's bytes in memory. False (bytes untouched) when refused.
    static bool withValue(QByteArray& bytes, const QString& section, const QString& key, const QString& text);

private:
    QStringList names;               // section names, first appearance order
    QList<QList<Entry>> lists;       // lines of names[i]
    QHash<QString, qsizetype> index; // name -> i
};
