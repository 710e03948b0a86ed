#pragma once

#include "tools/launcher/VideoOutput.h"

// Asks the display named by $DISPLAY which video paths it offers: its
// extension list and, when it has the XVideo extension, its adaptors. A few
// milliseconds; no GL driver is loaded.
DisplayFacts probeDisplay();

// Keeps window `id` black wherever the engine does not paint: at once, and
// beside each picture newly placed after a change of size, an exposure or a
// change of aspect (see BarKeeper). Runs in a small child process that ends
// with the engine; returns at once.
void keepWindowBlack(unsigned long id);
