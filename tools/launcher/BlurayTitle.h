#pragma once

#include <QStringList>

// Rewrites a "br://N" argument (with "-bluray-device FOLDER") from the player's
// title numbering into the engine's libbluray title index. Leaves the list
// unchanged when there is nothing to translate or the disc cannot be read.
void translateBlurayTitle(QStringList& arguments);
