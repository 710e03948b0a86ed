#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>
#include <QtGlobal>

#include "util/RegularFile.h"

// The player's small side files (OutputPath.txt, RecentConfig.txt, the
// config.ini files, the language files) are read here and nowhere else. They
// are outside data: a pipe, a device or a link to one can stand at their
// names, or a file of any size. A file is read only when it is a regular file
// within its bound (RegularFile: no blocking open); anything else counts as
// absent, so start-up never waits on these files nor grows with them.
// Refusals are logged under "kzp.gate.sidefile" (off by default).

Q_DECLARE_LOGGING_CATEGORY(lcSideFileGate)

// Size bounds. OutputPath.txt holds one folder: Linux opens no path longer
// than PATH_MAX (4096 bytes).
inline constexpr qint64 kOutputPathLimit = 4096;
// The shipped language files hold about 60 captions in under 2 KiB and
// config.ini a few hundred bytes: 256 KiB is a hundred times the largest
// translation, even in UTF-16, and still reads in a moment.
inline constexpr qint64 kIniFileLimit = 256 * 1024;
// The recent list is read only as far as the entries the menu shows: ten
// paths of up to PATH_MAX bytes each with their line ends.
inline constexpr qint64 kRecentFilesReadLimit = 10 * (4096 + 2);

// 0 with the file's bytes (with Prefix, its first `limit` bytes), ENOENT when
// nothing is at `path`, or the errno value of the refusal; `bytes` is emptied
// unless the read succeeds.
int readSideFile(const QString& path, qint64 limit, QByteArray& bytes,
                 RegularFile::Bound bound = RegularFile::Whole);
