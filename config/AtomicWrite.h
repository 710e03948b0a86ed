#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes through a temporary file and a rename,
// so that readers see either the old or the new content, never a truncated
// one. False, with the old file untouched, on any failure (full disk
// included).
bool writeFileAtomically(const QString& path, const QByteArray& bytes);
