#pragma once

// Test clips made with ffmpeg from its generated sources: a test picture (or
// another source filter) and sine tones, optionally a subtitle file. Header-only.
//
//   kzp::test::ClipOptions options;
//   options.seconds = 30;
//   options.encoding = {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"};
//   QVERIFY(kzp::test::makeClip(dir.filePath("clip.mkv"), options).succeeded());

#include <QList>
#include <QString>
#include <QStringList>

#include "common/Processes.h"

namespace kzp::test {

struct ClipOptions {
    QString picture = QStringLiteral("testsrc"); // ffmpeg's source filter, e.g. "color=c=0x3080c0"
    QString size = QStringLiteral("320x240");
    int rate = 25; // frames per second
    int seconds = 8;
    QList<int> tones{440}; // one audio input (a sine of that frequency in Hz) each
    int sampleRate = 0;    // 0: ffmpeg's default
    QString subtitles;     // an .srt file added after the tones
    QStringList encoding;  // codec and format arguments, placed before the output
    bool quiet = true;     // only errors printed
    QString program = QStringLiteral("ffmpeg");
    int timeoutMs = 60000;
    Channels channels = Channels::Merged;
};

// The ffmpeg arguments making `path`. With more than one audio input or a
// subtitle file every input is mapped, so that all of them end up in the clip.
inline QStringList clipArguments(const QString& path, const ClipOptions& options) {
    const QString seconds = QString::number(options.seconds);
    QStringList arguments{QStringLiteral("-hide_banner")};
    if (options.quiet)
        arguments << QStringLiteral("-loglevel") << QStringLiteral("error");
    arguments << QStringLiteral("-nostdin") << QStringLiteral("-y");
    arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
              << QStringLiteral("%1%2size=%3:rate=%4:duration=%5")
                     .arg(options.picture, options.picture.contains(QLatin1Char('=')) ? ":" : "=")
                     .arg(options.size)
                     .arg(options.rate)
                     .arg(seconds);
    for (const int frequency : options.tones) {
        QString sine = QStringLiteral("sine=frequency=%1").arg(frequency);
        if (options.sampleRate > 0)
            sine += QStringLiteral(":sample_rate=%1").arg(options.sampleRate);
        arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                  << sine + QStringLiteral(":duration=") + seconds;
    }
    int inputs = 1 + int(options.tones.size());
    if (!options.subtitles.isEmpty()) {
        arguments << QStringLiteral("-i") << options.subtitles;
        ++inputs;
    }
    if (options.tones.size() > 1 || !options.subtitles.isEmpty())
        for (int i = 0; i < inputs; ++i)
            arguments << QStringLiteral("-map") << QString::number(i);
    return arguments << options.encoding << path;
}

inline ProgramRun makeClip(const QString& path, const ClipOptions& options) {
    return runProgram(options.program, clipArguments(path, options), options.timeoutMs, options.channels);
}

} // namespace kzp::test
