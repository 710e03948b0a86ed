// The batch probe without a window: results in list order equal to probing one
// file after another, at most K probes at once, the time limit, and no probe
// left running once the batch is cancelled or destroyed. A fake probe logs
// when it starts and ends, and waits for a gate file the test creates, so the
// order in which probes finish is the test's choice, never the clock's.
#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <unistd.h>

#include "common/Files.h"
#include "common/TestEnv.h"
#include "common/Wait.h"
#include "media/ProbeBatch.h"

using kzp::test::writeBytes;

namespace {

// "start PID NICENESS FILE" when it runs, "end PID - FILE" before it exits. A file whose
// contents start with "GATE" is probed once FILE.go exists, "HANG" never ends,
// "KILL" dies of a signal after writing its contents; the contents go to
// standard error as ffmpeg's header would.
bool writeLoggingProbe(const QString& path, const QString& log) {
    const QByteArray logFile = "'" + QFile::encodeName(log) + "'";
    return writeBytes(path,
                      "#!/bin/sh\n"
                      "printf 'start %s %s %s\\n' $$ \"$(nice)\" \"$2\" >> " +
                          logFile +
                          "\n"
                          "case \"$(head -c 4 < \"$2\")\" in\n"
                          "HANG) exec sleep 60;;\n"
                          "GATE) while [ ! -e \"$2.go\" ]; do sleep 0.02; done;;\n"
                          "KILL) cat < \"$2\" >&2; kill -9 $$;;\n"
                          "esac\n"
                          "printf 'end %s - %s\\n' $$ \"$2\" >> " +
                          logFile +
                          "\n"
                          "cat < \"$2\" >&2\nexit 1\n",
                      true);
}

struct Run {
    bool start;
    qint64 pid;
    int niceness;
    QString file;
};

QList<Run> readRuns(const QString& log) {
    QList<Run> runs;
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return runs;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 4)
            runs << Run{parts[0] == "start", parts[1].toLongLong(), parts[2].toInt(),
                        QFile::decodeName(line.mid(parts[0].size() + parts[1].size() + parts[2].size() + 3))};
    }
    return runs;
}

int mostAtOnce(const QList<Run>& runs) {
    int now = 0, most = 0;
    for (const Run& run : runs) {
        now += run.start ? 1 : -1;
        most = qMax(most, now);
    }
    return most;
}

QStringList filesIn(const QList<Run>& runs, bool starts) {
    QStringList files;
    for (const Run& run : runs)
        if (run.start == starts)
            files << run.file;
    return files;
}

bool processGone(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

class ProbeBatchTest : public QObject {
    Q_OBJECT
    kzp::test::PrivateHome home;
    QString probe = home.path("probe.sh");
    QString log = home.path("runs.log");
    int made = 0;

    QString media(const QByteArray& contents) {
        const QString path = home.path(QStringLiteral("media/%1.mp4").arg(++made));
        writeBytes(path, contents);
        return path;
    }
    QString gated(int seconds) {
        return media("GATE\n  Duration: 00:00:" + QByteArray::number(seconds).rightJustified(2, '0') +
                     ".50, start: 0\n");
    }
    std::unique_ptr<ProbeBatch> batch(int most, int timeoutMs = 10000) {
        auto made = std::make_unique<ProbeBatch>();
        made->setProgram(probe);
        made->setMaxRunning(most);
        made->setTimeout(timeoutMs);
        return made;
    }

private slots:
    void initTestCase() { QVERIFY(writeLoggingProbe(probe, log)); }
    void init() { QFile::remove(log); }

    // Probes finish in an order the test forces (each time the pool is full,
    // the newest probe is let go), yet the results come in list order and
    // equal those of one probe after another; never more than K run at once.
    void outOfOrderFinishKeepsListOrder() {
        const int most = 3;
        QStringList files;
        for (int i = 0; i < 7; ++i)
            files << gated(10 + i);
        auto probes = batch(most);
        QSignalSpy progress(probes.get(), &ProbeBatch::progress);
        QSignalSpy finished(probes.get(), &ProbeBatch::finished);
        probes->start(files);
        QStringList released;
        while (released.size() < files.size()) {
            const int full = qMin<int>(most + released.size(), files.size());
            QVERIFY(kzp::test::waitUntil([&] { return filesIn(readRuns(log), true).size() >= full; }));
            const QStringList started = filesIn(readRuns(log), true);
            for (auto it = started.crbegin(); it != started.crend(); ++it) {
                if (!released.contains(*it)) {
                    released << *it;
                    writeBytes(*it + ".go", "");
                    break;
                }
            }
        }
        QVERIFY(kzp::test::waitUntil([&] { return !finished.isEmpty(); }));
        QCOMPARE(finished.size(), 1);
        QVERIFY(probes->isComplete());

        const QList<Run> runs = readRuns(log);
        QStringList started = filesIn(runs, true), listed = files;
        std::sort(started.begin(), started.end());
        std::sort(listed.begin(), listed.end());
        QCOMPARE(started, listed);              // each once
        QVERIFY(filesIn(runs, false) != files); // ended in another order than the list's
        QCOMPARE(mostAtOnce(runs), most);
        for (const Run& run : runs) // at the caller's priority, as one by one
            QVERIFY(!run.start || run.niceness == ::nice(0));
        QStringList oneByOne;
        for (const QString& file : files) {
            writeBytes(file + ".go", "");
            oneByOne << runProbe(probe, file, 10000);
        }
        QCOMPARE(probes->durations(), oneByOne);
        QCOMPARE(oneByOne.first(), QStringLiteral("00:00:10"));
        QCOMPARE(progress.size(), files.size());
        for (int i = 0; i < progress.size(); ++i)
            QCOMPARE(progress[i], (QVariantList{i + 1, int(files.size())}));
    }

    // Every way a probe can end gives what runProbe() gives for it; hanging
    // probes are killed at the limit and nothing keeps running.
    void outcomesMatchOneByOne() {
        const QStringList files{media("Input #0\n  Duration: 01:02:05.02, start: 0\n"),
                                media("  Duration: N/A, bitrate: N/A\n"),
                                media("Invalid data\n"),
                                home.path("media/missing.mp4"),
                                media("HANG"),
                                media("DURATION   : 00:09:00\n  Duration: 00:00:03.00\n"),
                                media("KILL  Duration: 00:00:04.00\n"),
                                media("HANG")};
        auto probes = batch(2, 1500);
        QSignalSpy finished(probes.get(), &ProbeBatch::finished);
        probes->start(files);
        QVERIFY(kzp::test::waitUntil([&] { return !finished.isEmpty(); }, 20000));
        QVERIFY(probes->isComplete());
        for (const Run& run : readRuns(log))
            QVERIFY2(processGone(run.pid), qPrintable(run.file));
        QStringList oneByOne;
        for (const QString& file : files)
            oneByOne << runProbe(probe, file, 1500);
        QCOMPARE(probes->durations(), oneByOne);
        QCOMPARE(probes->durations(),
                 (QStringList{"01:02:05", "N/A, bit", "", "", "", "00:00:03", oneByOne[6], ""}));
    }

    // Cancelling or destroying a batch kills and reaps its probes at once.
    void cancelAndDestroyLeaveNothingRunning() {
        auto probes = batch(2);
        QSignalSpy finished(probes.get(), &ProbeBatch::finished);
        probes->start({gated(1), gated(2), gated(3)});
        QVERIFY(kzp::test::waitUntil([&] { return filesIn(readRuns(log), true).size() == 2; }));
        probes->cancel();
        QCOMPARE(finished.size(), 1);
        QVERIFY(!probes->isRunning() && !probes->isComplete());
        probes->cancel();
        QCOMPARE(finished.size(), 1);
        for (const Run& run : readRuns(log))
            QVERIFY(processGone(run.pid));
        QCOMPARE(filesIn(readRuns(log), true).size(), 2); // the third never started

        // A cancelled batch starts afresh: only the new files, from the first.
        const QString next = media("  Duration: 00:00:07.25, start: 0\n");
        probes->start({next});
        QVERIFY(kzp::test::waitUntil([&] { return finished.size() == 2; }));
        QVERIFY(probes->isComplete());
        QCOMPARE(probes->durations(), QStringList{runProbe(probe, next)});
        QVERIFY(!probes->durations().first().isEmpty());

        QFile::remove(log);
        probes = batch(2);
        probes->start({gated(4), gated(5)});
        QVERIFY(kzp::test::waitUntil([&] { return filesIn(readRuns(log), true).size() == 2; }));
        probes.reset();
        for (const Run& run : readRuns(log))
            QVERIFY(processGone(run.pid));
    }

    // Nothing to run ends the batch inside start(); many probes that cannot
    // start end one after another (not by recursion), each without a length.
    void batchesWithoutProcesses() {
        const QString notExecutable = home.path("not-executable");
        writeBytes(notExecutable, "#!/bin/sh\necho '  Duration: 00:00:09.00' >&2\n");
        const QStringList many(2000, QStringLiteral("/nowhere"));
        for (const auto& [program, files] :
             {std::pair{probe, QStringList{}}, std::pair{QString(), QStringList{"a", "b"}},
              std::pair{notExecutable, many}}) {
            ProbeBatch probes;
            probes.setProgram(program);
            QSignalSpy finished(&probes, &ProbeBatch::finished);
            probes.start(files);
            QVERIFY(kzp::test::waitUntil([&] { return !finished.isEmpty(); }, 30000));
            QCOMPARE(finished.size(), 1);
            QVERIFY(probes.isComplete());
            QCOMPARE(probes.durations(), QStringList(files.size(), QString()));
        }
    }
};

QTEST_GUILESS_MAIN(ProbeBatchTest)
#include "tst_probe_batch.moc"
