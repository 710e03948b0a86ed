#pragma once

#include <QString>
#include <cstdint>

// Times of one clip of a Blu-ray playlist, in milliseconds (45 kHz ticks / 45).
struct ClipInfo {
    uint32_t inTime = 0;
    uint32_t startTime = 0;
    uint32_t clipDuration = 0;
    char clipName[11] = {}; // "00055.M2TS" and a terminator
};

// One audio or subtitle stream of a playlist.
struct StreamInfo {
    uint16_t pid = 0;
    QString label; // e.g. "English AC3", "Japanese"
};
