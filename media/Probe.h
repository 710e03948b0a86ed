#pragma once

#include <QByteArray>
#include <QString>

// How long a probe may run before it is killed and counts as "no duration".
inline constexpr int kProbeTimeoutMs = 20000;

// The length text a probe wrote to its standard error: the first 8
// characters after "Duration: " (e.g. "01:23:45") on ffmpeg's header line, or
// empty when there is none. Only a line that starts with exactly two blanks
// and "Duration: " is that header line: tags, file names and Matroska
// "DURATION" lines print the same text elsewhere.
//
// `file` is the name the probe was given. ffmpeg prints it verbatim, line
// breaks included, so a name could forge a header line of its own; when it
// could (it holds a line break or starts like that line), every place it is
// printed is blotted out before the lines are read.
QString durationFromProbeOutput(const QByteArray& standardError, const QString& file = QString());

// Runs `program -i file` (the file name is passed as one argument, never
// through a shell), waits at most `timeoutMs` for it to end and returns
// durationFromProbeOutput() of its standard error. A probe that cannot be
// started or runs too long (it is killed) gives an empty text. Blocks the
// calling thread without busy waiting (ProbeBatch runs many without blocking).
QString runProbe(const QString& program, const QString& file, int timeoutMs = kProbeTimeoutMs);
