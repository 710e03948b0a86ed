#pragma once

#include <QByteArray>
#include <QString>

// How long a probe may run before it is killed and counts as "no duration".
inline constexpr int kProbeTimeoutMs = 20000;

// The length text a probe wrote to its standard error: the 8 characters after
// the first "Duration: " (e.g. "01:23:45"), or empty when there is none.
QString durationFromProbeOutput(const QByteArray& standardError);

// Runs `program -i file` (the file name is passed as one argument, never
// through a shell), waits at most `timeoutMs` for it to end and returns
// durationFromProbeOutput() of its standard error. A probe that cannot be
// started or runs too long (it is killed) gives an empty text. Blocks the
// calling thread without busy waiting (ProbeBatch runs many without blocking).
QString runProbe(const QString& program, const QString& file, int timeoutMs = kProbeTimeoutMs);
