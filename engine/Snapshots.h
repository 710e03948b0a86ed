#pragma once

// Snapshot file names and formats.

#include <QDateTime>
#include <QString>

// "Snapshot-YYYY-MM-DD hh-mm-ss.<extension>" (no folder).
QString snapshotBaseName(const QDateTime& when, const QString& extension);
// The image format to save with: "PNG", "BMP", and "JPEG" for anything else.
const char* snapshotImageFormat(const QString& snapshotFormat);
// `path` when no such file exists, else the first free of "name (2).ext",
// "name (3).ext", ... (the suffix goes before the extension).
QString firstFreeFileName(const QString& path);

// Saves the picture named in the engine's "*** screenshot '...' ***" line
// into the snapshot folder of `dataFolder`, in `format`, under a free name,
// and then removes the engine's file. Returns the saved path, or an empty
// text when nothing was saved (the engine's file then stays).
QString saveEngineSnapshot(const QByteArray& engineLine, const QString& dataFolder, const QString& format);
