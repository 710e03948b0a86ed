#pragma once
// Shared by the source tests: a private home, a window whose dialogs the test
// answers, and a probe stand-in.

#include <QCoreApplication>
#include <QFile>

#include "common/Files.h"
#include "common/TestEnv.h"
#include "ui/DRUI.h"

using kzp::test::PrivateHome;
using kzp::test::writeBytes;

class ScriptedWindow : public DRUI {
public:
    QStringList filesAnswer;
    QString folderAnswer;
    QStringList refusals;
    bool realRefusal = false;

    ScriptedWindow() {
        setupWindow();
        setEnginePath(QCoreApplication::applicationDirPath() + "/fake-engine");
    }
    int fileQuestions = 0;
    QStringList askOpenFiles() override {
        ++fileQuestions;
        return filesAnswer;
    }
    QString askDiscFolder() override { return folderAnswer; }
    void showRefusal(const QString& message) override {
        refusals << message;
        if (realRefusal)
            DRUI::showRefusal(message);
    }
};

// Logs its arguments (each NUL-terminated, an empty one ending the call; one
// write, so probes running side by side never mix their records), and to
// `log`.runs "start PID" and, before it exits, "end PID". Then writes the
// probed file's contents to standard error; hangs on "HANG"; on "GATE" waits
// until FILE.go exists.
inline bool writeFakeProbe(const QString& path, const QString& log) {
    const QByteArray logFile = "'" + QFile::encodeName(log) + "'";
    const QByteArray runs = "'" + QFile::encodeName(log) + ".runs'";
    return writeBytes(path,
                      "#!/bin/sh\nprintf '%s\\0' \"$@\" '' >> " + logFile + "\nprintf 'start %s\\n' $$ >> " +
                          runs +
                          "\ncase \"$(head -c 4 < \"$2\")\" in HANG) exec sleep 60;;\n"
                          "GATE) while [ ! -e \"$2.go\" ]; do sleep 0.02; done;; esac\n"
                          "printf 'end %s\\n' $$ >> " +
                          runs + "\ncat < \"$2\" >&2\nexit 1\n",
                      true);
}

// The runs a fake probe logged: the process id of each start (+) and end (-).
inline QList<qint64> loggedRuns(const QString& log) {
    QFile file(log + QStringLiteral(".runs"));
    QList<qint64> runs;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("start "))
                runs << line.mid(6).toLongLong();
            else if (line.startsWith("end "))
                runs << -line.mid(4).toLongLong();
        }
    }
    return runs;
}

// An engine that logs the folder it runs in and its arguments (in the
// probe's log format, the folder first), then becomes `engine`.
inline bool writeRecordingEngine(const QString& path, const QString& log, const QString& engine) {
    return writeBytes(path,
                      "#!/bin/sh\n{ printf '%s\\0' \"$(pwd -P)\" \"$@\"; printf '\\0'; } >> '" +
                          QFile::encodeName(log) + "'\nexec '" + QFile::encodeName(engine) + "' \"$@\"\n",
                      true);
}

// The calls a fake probe or a recording engine logged, in order.
inline QList<QStringList> loggedCalls(const QString& log) {
    QFile file(log);
    QList<QStringList> calls{{}};
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& part : file.readAll().split('\0'))
            part.isEmpty() ? void(calls << QStringList()) : void(calls.last() << QFile::decodeName(part));
    }
    calls.removeAll(QStringList());
    return calls;
}
