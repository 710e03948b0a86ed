#pragma once

// Test helpers for the scripted fake engine (tests/fakeengine): sets its
// environment for the engines started while an instance lives, and reads back
// what they recorded. Header-only.
//
//   FakeEngine fake;                        // before the engine is started
//   fake.setScript({"Playing x.", "VIDEO:  [H264]  320x240"});
//   window.setEnginePath(FakeEngine::program());
//   window.VideoPlay();
//   QVERIFY(fake.waitForCommand("volume 50 2"));
//   QCOMPARE(fake.arguments().value(0), "-demuxer");

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "common/Files.h"
#include "common/Wait.h"

class FakeEngine {
public:
    FakeEngine() {
        logPath = dir.filePath(QStringLiteral("commands.log"));
        argsPath = dir.filePath(QStringLiteral("args.txt"));
        scriptPath = dir.filePath(QStringLiteral("script.txt"));
        setScript({});
        qputenv("FAKE_ENGINE_LOG", QFile::encodeName(logPath));
        qputenv("FAKE_ENGINE_ARGS", QFile::encodeName(argsPath));
        qputenv("FAKE_ENGINE_SCRIPT", QFile::encodeName(scriptPath));
        qunsetenv("FAKE_ENGINE_LENGTH");
    }
    ~FakeEngine() {
        qunsetenv("FAKE_ENGINE_LOG");
        qunsetenv("FAKE_ENGINE_ARGS");
        qunsetenv("FAKE_ENGINE_SCRIPT");
        qunsetenv("FAKE_ENGINE_LENGTH");
    }
    FakeEngine(const FakeEngine&) = delete;
    FakeEngine& operator=(const FakeEngine&) = delete;

    // The fake engine beside the test executables.
    static QString program() {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/fake-engine");
    }

    // Script for engines started from now on (see tests/fakeengine/README.md).
    void setScript(const QList<QByteArray>& lines) {
        QFile file(scriptPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            for (const QByteArray& line : lines)
                file.write(line + '\n');
    }
    void setLength(qint64 seconds) { qputenv("FAKE_ENGINE_LENGTH", QByteArray::number(seconds)); }

    // Every command received so far by every engine started with this instance.
    QList<QByteArray> commands() const { return readLines(logPath); }
    // Arguments of the engine started last.
    QStringList arguments() const {
        QStringList list;
        for (const QByteArray& line : readLines(argsPath))
            list.append(QString::fromLocal8Bit(line));
        return list;
    }
    bool hasStarted() const { return QFile::exists(argsPath); }
    int count(const QByteArray& command) const { return int(commands().count(command)); }
    void clearCommands() { QFile::remove(logPath); }
    void clearArguments() { QFile::remove(argsPath); }

    // Runs the event loop until the engine has received `command` `times` times in
    // all (exact match), or the deadline passes. No fixed sleeps.
    bool waitForCommand(const QByteArray& command, int times = 1, int timeoutMs = 5000) const {
        return waitUntil([&] { return count(command) >= times; }, timeoutMs);
    }
    bool waitForStart(int timeoutMs = 5000) const {
        return waitUntil([&] { return hasStarted(); }, timeoutMs);
    }

    template <typename Predicate> static bool waitUntil(Predicate done, int timeoutMs = 5000) {
        return kzp::test::waitUntil(done, timeoutMs);
    }

    QTemporaryDir dir;
    QString logPath;
    QString argsPath;
    QString scriptPath;

private:
    static QList<QByteArray> readLines(const QString& path) { return kzp::test::readParts(path); }
};
