#pragma once

// File helpers shared by the tests and benchmarks. Header-only.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>

namespace kzp::test {

// Writes `bytes` to `path` (its folder made first), replacing what was there;
// with `executable` the owner may run it. True when everything was written.
inline bool writeBytes(const QString& path, const QByteArray& bytes, bool executable = false) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    const bool ok =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    file.close();
    return ok && (!executable || file.setPermissions(file.permissions() | QFile::ExeOwner));
}

// The contents of `path`, or `unreadable` when it cannot be opened.
inline QByteArray readBytes(const QString& path, const QByteArray& unreadable = QByteArray()) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : unreadable;
}

// The parts of a file split at `separator`, without the empty one after a
// final separator; none when the file cannot be opened.
inline QList<QByteArray> readParts(const QString& path, char separator = '\n') {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> parts = file.readAll().split(separator);
    if (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

} // namespace kzp::test
