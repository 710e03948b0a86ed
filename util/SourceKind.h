#pragma once

#include <QtGlobal>

// What the player is asked to play. The values are stored in play list
// entries and compared with the numbers the engine options are chosen by.
enum class SourceKind : qint32 {
    File = 0,
    Dvd = 1,
    BluRay = 2,
};

inline qint32 toInt(SourceKind kind) {
    return static_cast<qint32>(kind);
}

// Unknown numbers read as a file: that is what the player started with.
inline SourceKind sourceKindFromInt(qint32 value) {
    return value == 1 ? SourceKind::Dvd : value == 2 ? SourceKind::BluRay : SourceKind::File;
}
