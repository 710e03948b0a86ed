#pragma once
// Shared by the source tests: a private home, a window whose dialogs the test
// answers, and a probe stand-in.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ui/DRUI.h"

// Must exist before anything uses QStandardPaths.
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

inline bool writeFile(const QString& path, const QByteArray& content, bool executable = false) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    const bool ok =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    file.close();
    return ok && (!executable || file.setPermissions(file.permissions() | QFile::ExeOwner));
}

// Logs its arguments (each NUL-terminated, an empty one ending the call), then
// writes the probed file's contents to standard error, or hangs on "HANG".
inline bool writeFakeProbe(const QString& path, const QString& log) {
    return writeFile(
        path,
        "#!/bin/sh\n{ printf '%s\\0' \"$@\"; printf '\\0'; } >> '" + QFile::encodeName(log) +
            "'\ncase \"$(head -c 4 < \"$2\")\" in HANG) exec sleep 60;; esac\ncat < \"$2\" >&2\nexit 1\n",
        true);
}

inline QList<QStringList> probeCalls(const QString& log) {
    QFile file(log);
    QList<QStringList> calls{{}};
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& part : file.readAll().split('\0'))
            part.isEmpty() ? void(calls << QStringList()) : void(calls.last() << QFile::decodeName(part));
    }
    calls.removeAll(QStringList());
    return calls;
}
