#pragma once

#include <QString>

// The per-user data folder ".../Kestrune Zyl Player/" (trailing separator
// kept). A relative XDG_DATA_HOME is ignored, as the XDG base-directory rules
// say: it would put the folder wherever the player was started from.
QString dataFolderPath();
// Default snapshot folder: documents folder + "/Kestrune Zyl Player/".
QString defaultSnapshotFolder();

// Creates `folder` and its missing parents with modes 0700, as the XDG rules
// ask (the umask cannot widen them). True when the folder is there.
bool makePrivateFolder(const QString& folder);

// The data folder holds a program that runs as the user (the probe copy
// "tool.exe"), so it must be the user's alone. prepareDataFolder() creates it
// when missing with modes 0700 (its missing parents too). A folder of the
// user's that others can write is set to 0700, and a probe copy that is
// missing, or not the user's alone (a regular file with one name, no link,
// of the user's, that neither group nor others may write), is copied afresh from
// applicationDir/tool with modes 0700; a good copy is kept. A folder of
// another user is left as it is. Returns the folder. Refusals are logged
// under "kzp.gate.datafolder" (off by default).
QString prepareDataFolder(const QString& applicationDir);
// The probe to run: the copy in `dataFolder` while it and the folder are the
// user's alone (or the copy is missing: nothing runs then), otherwise the
// program's own probe applicationDir/tool.
QString probeProgram(const QString& dataFolder, const QString& applicationDir);

// The stored snapshot folder text of OutputPath.txt (empty when missing,
// refused by the side-file gate, or longer than a path can be).
QString readOutputPath(const QString& dataFolder);
// Writes OutputPath.txt atomically, modes 0600 (local 8-bit text, no line
// end). False on failure.
bool writeOutputPath(const QString& dataFolder, const QString& folder);
// Stored folder, or the default snapshot folder when the stored text is empty.
QString snapshotFolder(const QString& dataFolder);
