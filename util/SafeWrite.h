#pragma once

#include <QByteArray>
#include <QString>

// Every file the player writes into the user's folders (snapshots, the side
// files) is written here. Such a folder may be shared: another user can plant
// a link under the next name, which a plain open would follow to wherever it
// points. So a file is only ever created as a new regular file inside its
// folder (O_CREAT | O_EXCL | O_NOFOLLOW, relative to the folder's descriptor),
// and its write counts only once every byte was written, synced and closed
// without error (a full disk fails there, not later). A failed write leaves
// no file behind. Refusals are logged under "kzp.gate.write" (off by default).

// Creates `name` in `folder` holding `bytes`. A name that is taken, by
// anything (a dangling link too), gives way to "stem (2).ext",
// "stem (3).ext"... (the number goes before the extension), so choosing the
// name and creating the file are one step and nothing is overwritten. The
// new file's modes are 0666 less the umask. Returns the path written, or an
// empty string on any failure.
QString writeNewFile(const QString& folder, const QString& name, const QByteArray& bytes);

// Keeps the modes of the regular file that is replaced (0666 less the umask
// for a new one).
inline constexpr int kKeepModes = -1;

// Replaces the file at `path` with `bytes` atomically: through a new file in
// the same folder that is renamed over the name, so readers see the old or
// the new content, never a part. A link at the name is replaced by the file,
// not followed. `modes` (e.g. 0600) are set exactly, umask or not. False, with
// the old file untouched, on any failure.
bool replaceFile(const QString& path, const QByteArray& bytes, int modes = kKeepModes);

// Appends `bytes` to the regular file at `path`, made when missing (0666 less
// the umask). A link, a pipe or a device at the name is refused, not written
// through. False on any failure.
bool appendToFile(const QString& path, const QByteArray& bytes);
