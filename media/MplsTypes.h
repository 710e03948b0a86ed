#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// One play item of a Blu-ray playlist. Times are milliseconds: the disc's
// 45 kHz ticks divided by 45.
struct ClipInfo {
    quint32 inTime = 0;      // IN_time / 45
    qint32 startTime = 0;    // sum of the durations of the earlier play items
    qint32 clipDuration = 0; // OUT_time / 45 - IN_time / 45
    QByteArray clipName;     // "00055.M2TS": clip file name, ".", codec identifier
};

// One audio or subtitle stream of a playlist.
struct StreamInfo {
    qint32 pid = 0; // referenced stream PID; 0 for entry types other than 1, 2, 3
    QString label;  // language name, for audio followed by the codec: "English AC3", "Japanese"
};
