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
    QStringList askOpenFiles() override { return filesAnswer; }
    QString askDiscFolder() override { return folderAnswer; }
    void showRefusal(const QString& message) override {
        refusals << message;
        if (realRefusal)
            DRUI::showRefusal(message);
    }
};

// Logs its arguments (each NUL-terminated, an empty one ending the call), then
// writes the probed file's contents to standard error, or hangs on "HANG".
inline bool writeFakeProbe(const QString& path, const QString& log) {
    return writeBytes(
        path,
        "#!/bin/sh\n{ printf '%s\\0' \"$@\"; printf '\\0'; } >> '" + QFile::encodeName(log) +
            "'\ncase \"$(head -c 4 < \"$2\")\" in HANG) exec sleep 60;; esac\ncat < \"$2\" >&2\nexit 1\n",
        true);
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
