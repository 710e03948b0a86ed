#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

class QProcess;

// How long a probe may run before it is killed and counts as "no duration".
inline constexpr int kProbeTimeoutMs = 20000;

// What a probe wrote to its standard error about one file, and the length
// read from it. Every probe's output is read here, and only with the name the
// probe was given: ffmpeg prints that name verbatim, line breaks included, so
// a name could forge a header line of its own.
class ProbeOutput {
public:
    // How much output is kept. ffmpeg prints its header line after the input
    // line (the name: at most a path's length) and the container's tags
    // (each printed line cut to 255 bytes): a few kilobytes; a file with 600
    // lines of lyrics printed 54 KB. Real media comes nowhere near a mebibyte
    // before that line, and what follows it (streams, chapters) is not needed.
    static constexpr qsizetype kBound = 1024 * 1024;

    // `file` is the name the probe is given, exactly.
    explicit ProbeOutput(const QString& file);

    const QString& file() const { return fileName; }

    // Keeps `bytes` as far as the bound reaches; false once the output has
    // passed it (the rest may be dropped and the probe ended).
    bool append(QByteArrayView bytes);

    // The length text: the first 8 characters after "Duration: " on ffmpeg's
    // header line (e.g. "01:23:45"), or empty when there is none. Only a line
    // that starts with exactly two blanks and "Duration: " is that header
    // line: tags, file names and Matroska "DURATION" lines print the same text
    // elsewhere. Wherever the name is printed it is blotted out first, when it
    // could forge such a line (it holds a line break or starts like one).
    QString duration() const;

private:
    QString fileName;
    QByteArray name; // as ffmpeg's log prints it
    QByteArray kept;
    bool cut = false;
};

// Starts `program -i FILE` on `probe`, FILE being the name `output` was made
// for (one argument, never through a shell), with its standard error read into
// `output` as it arrives. A probe whose output passes the bound is killed.
// Every probe is started here, so each path reads its output the same way.
void startProbe(QProcess& probe, const QString& program, const std::shared_ptr<ProbeOutput>& output);

// Runs one probe of `file`, waits at most `timeoutMs` for it to end and returns
// the length its output gives. A probe that cannot be started or runs too long
// (it is killed) gives an empty text. Blocks the calling thread without busy
// waiting (ProbeBatch runs many without blocking).
QString runProbe(const QString& program, const QString& file, int timeoutMs = kProbeTimeoutMs);
