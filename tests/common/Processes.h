#pragma once

// Running helper programs (ffmpeg, xdotool, dvdauthor ...) from tests and
// benchmarks. Header-only.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kzp::test {

// Where a program's output goes.
enum class Channels {
    Merged,    // standard output and error kept together in ProgramRun::output
    Separate,  // only standard output kept
    Forwarded, // passed through to ours, nothing kept
};

// How a program run ended.
struct ProgramRun {
    QString program;
    QStringList arguments;
    bool finished = false; // ended before the timeout
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray output;

    bool succeeded() const { return finished && exitStatus == QProcess::NormalExit && exitCode == 0; }
};

// The environment for running the whole player from a test. Under the
// sanitizers its exit-time leak check is left off: that check stops every
// thread of a process with a tracer that now and then crashes on a busy
// multi-threaded exit (X11, D-Bus and pool threads ending), failing a run whose
// behaviour was right. Our code's leaks are caught by the in-process tests,
// which keep the check; memory errors still end the player with an error.
inline QProcessEnvironment playerEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
#if defined(__SANITIZE_ADDRESS__)
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
#endif
    return env;
}

// Runs `program` and waits up to `timeoutMs` for it to end (it is killed
// when it does not).
inline ProgramRun runProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                             Channels channels = Channels::Merged) {
    QProcess process;
    if (channels == Channels::Merged)
        process.setProcessChannelMode(QProcess::MergedChannels);
    else if (channels == Channels::Forwarded)
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    ProgramRun run;
    run.program = program;
    run.arguments = arguments;
    run.finished = process.waitForFinished(timeoutMs);
    run.exitStatus = process.exitStatus();
    run.exitCode = process.exitCode();
    if (channels == Channels::Merged)
        run.output = process.readAll();
    else if (channels == Channels::Separate)
        run.output = process.readAllStandardOutput();
    return run;
}

// What `program` printed on its standard output, trimmed.
inline QString outputOf(const QString& program, const QStringList& arguments, int timeoutMs = 15000) {
    return QString::fromLocal8Bit(runProgram(program, arguments, timeoutMs, Channels::Separate).output)
        .trimmed();
}

} // namespace kzp::test
