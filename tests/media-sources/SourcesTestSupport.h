#pragma once
// Helpers shared by the source and play list tests: a private home, a window
// whose dialogs are answered by the test, and a probe stand-in.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ui/DRUI.h"

// Points HOME and XDG_DATA_HOME at a temporary folder; create it before any
// use of QStandardPaths.
struct PrivateHome {
    QTemporaryDir dir;
    PrivateHome() {
        qputenv("HOME", dir.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toLocal8Bit());
    }
    QString path(const QString& name) const { return dir.path() + "/" + name; }
};

class ScriptedWindow : public DRUI {
public:
    QStringList filesAnswer;
    QString folderAnswer;
    QStringList refusals;
    bool realRefusal = false; // run the real message box instead of recording

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

inline bool writeFile(const QString& path, const QByteArray& content, bool executable = false) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
    return true;
}

// A probe stand-in: records each invocation's arguments in `log` (every
// argument NUL-terminated, an empty one ending the invocation), then writes
// the probed file's contents to its standard error, or hangs when the file
// starts with "HANG".
inline bool writeFakeProbe(const QString& path, const QString& log) {
    QByteArray script = "#!/bin/sh\n"
                        "{ printf '%s\\0' \"$@\"; printf '\\0'; } >> '" +
                        QFile::encodeName(log) +
                        "'\n"
                        "case \"$(head -c 4 < \"$2\" 2>/dev/null)\" in HANG) exec sleep 60;; esac\n"
                        "cat < \"$2\" >&2 2>/dev/null\n"
                        "exit 1\n";
    return writeFile(path, script, true);
}

// The argument lists the fake probe received, oldest first.
inline QList<QStringList> probeCalls(const QString& log) {
    QFile file(log);
    QList<QStringList> calls;
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    QStringList current;
    for (const QByteArray& part : file.readAll().split('\0')) {
        if (part.isEmpty()) {
            if (!current.isEmpty())
                calls << current;
            current.clear();
        } else {
            current << QFile::decodeName(part);
        }
    }
    return calls;
}
