// Folder listing, the length probe, opening folders and the play list in the
// window, against a fake probe and the fake engine. The duplicate rule,
// neighbours, chapter targets and title lengths are tested with the models.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

#include "SourcesTestSupport.h"
#include "common/Wait.h"
#include "config/LanguageManager.h"
#include "dialogs/CMessageBox.h"
#include "media/DiscScan.h"
#include "media/FolderList.h"
#include "media/Probe.h"

namespace {

enum Outcome { Refused, Dvd, Bluray };

// "d:" folders, "f:" files, "l:name>target" links, "bluray" a whole disc.
void buildLayout(const QString& root, const QStringList& layout) {
    QDir().mkpath(root);
    for (const QString& entry : layout) {
        const QString path = root + "/" + entry.mid(2);
        if (entry == "bluray") {
            QDir().mkpath(root + "/BDMV/STREAM");
            writeBytes(root + "/BDMV/META/DL/bdmt_eng.xml", "<di:name>Test Disc</di:name>\n");
        } else if (entry.startsWith("d:")) {
            QDir().mkpath(path);
        } else if (entry.startsWith("f:")) {
            writeBytes(path, "x");
        } else if (entry.startsWith("l:")) {
            QFile::link(entry.mid(2).section('>', 1), root + "/" + entry.mid(2).section('>', 0, 0));
        }
    }
}

bool processGone(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

int startedProbes(const QList<qint64>& runs) {
    return int(std::count_if(runs.begin(), runs.end(), [](qint64 run) { return run > 0; }));
}

int mostProbesAtOnce(const QList<qint64>& runs) {
    int now = 0, most = 0;
    for (qint64 run : runs)
        most = qMax(most, now += run > 0 ? 1 : -1);
    return most;
}

// Counts the window's paints while it is adding files.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(DRUI* window) : window(window) { window->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window && event->type() == QEvent::Paint && window->isAddingFiles())
            ++paints;
        return false;
    }

private:
    DRUI* window;
};

} // namespace

class TestSources : public QObject {
    Q_OBJECT
    PrivateHome home;
    QString probeLog = home.path("probe.log");
    int folders = 0;

    QString freshFolder() { return home.path(QStringLiteral("case%1").arg(++folders)); }
    QString media(const QString& name, const QByteArray& probeText = "") {
        writeBytes(home.path("media/" + name), probeText);
        return home.path("media/" + name);
    }

    // Clips whose probes end only when the test lets them go (FILE.go).
    QStringList gatedClips(const QString& stem, int count) {
        QStringList clips;
        for (int i = 0; i < count; ++i)
            clips << media(QStringLiteral("%1 %2.mp4").arg(stem).arg(i),
                           "GATE\n  Duration: 00:00:1" + QByteArray::number(i) + ".00\n");
        return clips;
    }

    // Runs `step` on every turn of the window thread's event loop (a 0 ms
    // timer) while window.addFiles(files) waits for its probes.
    void addWhileTicking(DRUI& window, const QStringList& files, const std::function<void()>& step) {
        QTimer ticker;
        const QPointer<DRUI> alive(&window); // the step may destroy it
        connect(&ticker, &QTimer::timeout, this, [&] {
            if (alive && alive->isAddingFiles())
                step();
        });
        ticker.start(0);
        window.addFiles(files);
    }

private slots:
    void initTestCase() {
        ScriptedWindow window;
        QVERIFY(window.probePath().endsWith("/Kestrune Zyl Player/tool.exe"));
        QVERIFY(writeFakeProbe(window.probePath(), probeLog));
    }
    void init() {
        QFile::remove(probeLog);
        QFile::remove(probeLog + ".runs");
    }

    void listing() {
        const QString root = freshFolder();
        buildLayout(root, {"f:b.txt", "d:c", "f:.hidden", "d:..x", "d:Z", "l:a_link>c", "l:loop>loop",
                           "l:dangling>x"});
        writeBytes(root + "/A.txt", "12345");
        const QByteArray odd = QFile::encodeName(root) + "/\xff\xfe"; // not UTF-8: bytes kept as they are
        ::close(::open(odd.constData(), O_CREAT | O_WRONLY, 0644));
        QList<FolderEntry> entries{FolderEntry{1, 7, "kept"}};
        QVERIFY(listFolder(root + "/", entries));
        ::unlink(odd.constData());
        QByteArrayList names;
        QList<qint32> dirs;
        for (const FolderEntry& e : entries.mid(1)) {
            names << e.fullPath.mid(QFile::encodeName(root).size() + 1);
            dirs << e.isDirectory;
        }
        QCOMPARE(names,
                 (QByteArrayList{"A.txt", "a_link", "b.txt", "c", "dangling", "loop", "Z", "\xff\xfe"}));
        QCOMPARE(dirs, (QList<qint32>{0, 1, 0, 1, 0, 0, 1, 0}));
        QCOMPARE(entries[0].fullPath, QByteArray("kept"));
        QCOMPARE(entries[1].fullPath, QFile::encodeName(root) + "/A.txt");
        QCOMPARE(entries[1].size, quint64(5));

        for (const QString& bad : {root + "/missing", root + "/b.txt", QString()})
            QVERIFY(!listFolder(bad, entries));
        QCOMPARE(entries.size(), 9);
    }

    void probeOutcomes_data() {
        QTest::addColumn<QByteArray>("probeText");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<qint64>("length");
        QTest::newRow("line") << QByteArray("Input #0\n  Duration: 01:02:05.02, start: 0\n") << "01:02:05"
                              << 3725LL;
        QTest::newRow("N/A") << QByteArray("  Duration: N/A, bitrate: N/A\n") << "N/A, bit" << 0LL;
        QTest::newRow("none") << QByteArray("Invalid data\n") << "" << 0LL;
        QTest::newRow("metadata") << QByteArray("DURATION   : 00:09:00\n  Duration: 00:00:03.00\n")
                                  << "00:00:03" << 3LL;
        QTest::newRow("hangs") << QByteArray("HANG") << "" << 0LL;
        QTest::newRow("not executable") << QByteArray("  Duration: 00:00:09.00\n") << "" << 0LL;
    }
    void probeOutcomes() {
        QFETCH(QByteArray, probeText);
        QFETCH(QString, duration);
        QFETCH(qint64, length);
        ScriptedWindow window;
        window.setProbeTimeout(500);
        const bool runnable = QTest::currentDataTag() != QByteArray("not executable");
        if (!runnable)
            QFile::setPermissions(window.probePath(), QFile::ReadOwner | QFile::WriteOwner);
        const QString file = media(QStringLiteral("%1.mp4").arg(qHash(probeText)), probeText);
        QElapsedTimer clock;
        clock.start();
        window.addFiles({file});
        QVERIFY(clock.elapsed() < 15000); // a hanging probe is killed, not waited for
        QVERIFY(writeFakeProbe(window.probePath(), probeLog));
        QCOMPARE(window.playListModel().entries().value(0).duration, duration);
        QCOMPARE(window.playback().currentSource().length, length);
        QCOMPARE(window.playback().playingSource().path, file); // added and played all the same
    }

    void namesReachProbeUnchanged() {
        QStringList paths;
        const QStringList names{"with space", "quote\"d",  "$HOME",  "-leading",
                                "é中文",      "new\nline", "a;b`c'd"};
        for (int i = 0; i < names.size(); ++i)
            paths << media(names[i], "  Duration: 00:00:0" + QByteArray::number(i) + ".00\n");
        paths[3] = "-leading"; // relative, so the argument itself starts with "-"
        const QString previous = QDir::currentPath();
        QDir::setCurrent(home.path("media"));
        ScriptedWindow window;
        window.addFiles(paths);
        QDir::setCurrent(previous);
        // Probes run side by side: each name reached one of them, in any order.
        QList<QStringList> calls = loggedCalls(probeLog), expected;
        for (const QString& path : paths)
            expected << QStringList{"-i", path};
        std::sort(calls.begin(), calls.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(calls, expected);
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(window.playListModel().entries()[i].duration, QStringLiteral("00:00:0%1").arg(i));
    }

    // While the probes run the window thread keeps turning: a 0 ms timer
    // fires, the window paints, the now-playing area counts the files read
    // and the cursor shows work; nothing else may start meanwhile. The probes
    // finish in another order than the list's (each time the pool is full the
    // newest is let go), yet rows, lengths and the file that plays are the
    // list's, and no more probes run at once than one per core and one more.
    void batchKeepsWindowLive() {
        ScriptedWindow window;
        window.setProbeTimeout(2000); // probes run one after another would each end here
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString first = media("first.mp4", "  Duration: 00:00:05.00\n");
        window.addFiles({first});
        QVERIFY(window.playback().isPlaying());
        QFile::remove(probeLog + ".runs");

        const QStringList files = gatedClips("gated", 4);
        const QString other = media("other.mp4", "  Duration: 00:00:09.00\n");
        const QString dvd = freshFolder();
        buildLayout(dvd, {"d:VIDEO_TS"});
        const int most = qMin(QThread::idealThreadCount() + 1, int(files.size()));
        auto* label = window.part<QLabel>("nowPlayingLabel");
        PaintCounter painted(&window);
        QStringList progress;
        int released = 0, ticks = 0;
        bool busyCursor = true, othersRefused = false;
        addWhileTicking(window, files, [&] {
            ++ticks;
            window.update();
            const QCursor* cursor = QGuiApplication::overrideCursor();
            busyCursor = busyCursor && cursor && cursor->shape() == Qt::BusyCursor;
            const int started = startedProbes(loggedRuns(probeLog));
            const QString shows = QStringLiteral("%1 of %2").arg(released).arg(files.size());
            if (released == files.size() || started < qMin(most + released, int(files.size())) ||
                label->text().trimmed() != shows)
                return;
            progress << shows;
            if (released == 1) {
                window.filesAnswer = {other};
                window.btnOpenFile();
                window.addFiles({other});
                window.PlayListItemDoubleClick(0, 0);
                window.PlayNext();
                window.VideoPlay();
                window.loadDiscFolder(dvd);
                QMimeData data;
                data.setUrls({QUrl::fromLocalFile(other)});
                QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(&window, &drop);
                othersRefused = !drop.isAccepted() && window.fileQuestions == 0 &&
                                window.playListModel().size() == 1 && window.playback().isPlaying() &&
                                window.playback().playingSource().path == files[0]; // plays while probed
            }
            // The batch starts probes in list order and a new one only when
            // one ended: with the pool full, the running ones are the first
            // `started` (their own logs may come in any order).
            for (int i = started - 1; i >= 0; --i) {
                if (!QFile::exists(files[i] + ".go")) {
                    writeBytes(files[i] + ".go", "");
                    break;
                }
            }
            ++released;
        });
        QVERIFY(ticks > 0);
        QVERIFY(painted.paints > 0);
        QVERIFY(busyCursor);
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(progress, (QStringList{"0 of 4", "1 of 4", "2 of 4", "3 of 4"}));
        QVERIFY(othersRefused);
        QCOMPARE(mostProbesAtOnce(loggedRuns(probeLog)), most);
        QCOMPARE(loggedCalls(probeLog).size(), 1 + files.size()); // none for the refused file

        QStringList paths, durations;
        for (const PLAY_LIST_INFO& entry : window.playListModel().entries()) {
            paths << entry.path;
            durations << entry.duration;
        }
        QCOMPARE(paths, QStringList{first} + files);
        QCOMPARE(durations, (QStringList{"00:00:05", "00:00:10", "00:00:11", "00:00:12", "00:00:13"}));
        QCOMPARE(window.playback().playingSource().path, files[0]);
        QCOMPARE(window.playback().currentSource().length, 10LL);
        // It started before its length was known: the slider takes it since.
        QCOMPARE(window.part<QSlider>("progressSlider")->maximum(), 10);
        QVERIFY(kzp::test::waitUntil([&] {
            window.update();
            return label->text().trimmed() == "gated 0.mp4";
        }));
    }

    // Closing the window, destroying it or the program quitting (a signal,
    // the session ending) while probes run: addFiles() returns, nothing is
    // added or played, no probe runs on.
    void endingDuringBatch_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("close") << "close";
        QTest::newRow("destroy") << "destroy";
        QTest::newRow("quit") << "quit";
    }
    void endingDuringBatch() {
        QFETCH(QString, how);
        auto* window = new ScriptedWindow;
        const QPointer<ScriptedWindow> alive(window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTimer::singleShot(0, this, [&] {
            addWhileTicking(*window, gatedClips(how, 3), [&] {
                if (startedProbes(loggedRuns(probeLog)) == 0)
                    return;
                if (how == "close")
                    window->close();
                else if (how == "destroy")
                    delete window;
                else
                    QCoreApplication::quit();
            });
            QCoreApplication::quit(); // destroyed: nothing else ends the loop
        });
        QCoreApplication::exec(); // as in the program, where quit() ends every loop
        QVERIFY(!QGuiApplication::overrideCursor());
        const QList<qint64> runs = loggedRuns(probeLog);
        QVERIFY(!runs.isEmpty());
        for (qint64 run : runs)
            QVERIFY(processGone(run));
        QCOMPARE(bool(alive), how != "destroy");
        if (alive) {
            QVERIFY(!window->isAddingFiles());
            QVERIFY(window->playListModel().isEmpty());
            QVERIFY(!window->playback().hasEngine());
        }
        delete alive.data();
    }

    void folderDetection_data() {
        QTest::addColumn<QStringList>("layout");
        QTest::addColumn<int>("outcome");
        QTest::newRow("Blu-ray") << QStringList{"bluray"} << int(Bluray);
        QTest::newRow("Blu-ray and DVD") << QStringList{"bluray", "d:VIDEO_TS"} << int(Bluray);
        QTest::newRow("BDMV without STREAM") << QStringList{"d:BDMV/PLAYLIST"} << int(Refused);
        QTest::newRow("DVD") << QStringList{"f:VIDEO_TS/VIDEO_TS.IFO"} << int(Dvd);
        QTest::newRow("file BDMV, DVD folder") << QStringList{"f:BDMV", "d:VIDEO_TS"} << int(Dvd);
        QTest::newRow("file VIDEO_TS") << QStringList{"f:VIDEO_TS"} << int(Refused);
        QTest::newRow("BDMV loop") << QStringList{"l:BDMV>BDMV"} << int(Refused);
        QTest::newRow("missing") << QStringList{"missing"} << int(Refused);
    }
    void folderDetection() {
        QFETCH(QStringList, layout);
        QFETCH(int, outcome);
        ScriptedWindow window;
        window.folderAnswer = freshFolder();
        buildLayout(window.folderAnswer, layout);
        if (layout == QStringList{"missing"})
            window.folderAnswer += "/not-there";
        window.btnLoadBDPath();
        QCOMPARE(window.refusals,
                 outcome == Refused ? QStringList{caption("Messages/MSG0102")} : QStringList{});
        const QList<PLAY_LIST_INFO>& entries = window.playListModel().entries();
        QCOMPARE(entries.size(), outcome == Dvd ? 1 : 0);
        if (outcome == Dvd) {
            QCOMPARE(entries[0].kind, 1);
            QCOMPARE(entries[0].path, window.folderAnswer);
            QCOMPARE(window.playback().playingSource().path, window.folderAnswer);
            QCOMPARE(window.playback().currentSource().kind, SourceKind::Dvd);
        } else if (outcome == Bluray) { // the disc loader got the chosen folder itself
            QCOMPARE(window.part<QLabel>("discNameLabel")->text(), QStringLiteral("Test Disc"));
        }
    }

    void refusalStopsPlaybackCancelDoesNot() {
        ScriptedWindow window;
        window.filesAnswer = {media("playing.mp4")};
        window.btnOpenFile();
        window.btnLoadBDPath(); // cancelled: keeps playing
        QCOMPARE(window.playback().playingSource().path, window.filesAnswer[0]);
        QVERIFY(!window.playback().isStopped());
        window.folderAnswer = freshFolder();
        QDir().mkpath(window.folderAnswer);
        window.btnLoadBDPath();
        QCOMPARE(window.refusals.size(), 1);
        QVERIFY(window.playback().playingSource().path.isEmpty() && window.playback().isStopped());

        // The real refusal box, placed a third into the window and dismissed here.
        window.realRefusal = true;
        window.move(40, 30);
        QRect seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
                box && seen.isNull()) {
                seen = box->geometry();
                box->btnSlotOK();
            }
        });
        poll.start(20);
        window.btnLoadBDPath();
        QCOMPARE(seen, QRect(40 + window.width() / 3, 30 + window.height() / 3, 400, 180));
    }

    void rowsAndPlayingMark() {
        ScriptedWindow window;
        const QString a = media("a clip.mkv", "  Duration: 00:00:01.00\n"),
                      b = media("b.mp4", "  Duration: 00:00:02.00\n"), c = media("c.mp4");
        window.filesAnswer = {b};
        window.btnOpenFile();
        window.addFiles({a, b, c}); // b is listed already; a, the first, plays
        QCOMPARE(window.playback().playingSource().path, a);
        QCOMPARE(window.playback().currentSource().length, 1LL);
        window.appendPlayListRows({PLAY_LIST_INFO{1, "/", ""}, PLAY_LIST_INFO{2, "/mnt", ""}});
        window.addFiles({b}); // plays again, no row
        QCOMPARE(window.playback().currentSource().length, 2LL);
        QCOMPARE(loggedCalls(probeLog).size(), 5);
        const QStringList texts{"    b.mp4", "    a clip.mkv", "    c.mp4", "    /", "    /mnt"};
        auto* table = window.part<QTableWidget>("playListTable");
        QCOMPARE(table->rowCount(), texts.size());
        QCOMPARE(window.playListModel().size(), texts.size());
        const auto marked = [table](int playing) {
            for (int row = 0; row < table->rowCount(); ++row)
                if (table->item(row, 0)->icon().isNull() == (row == playing))
                    return false;
            return table->selectionModel()->selectedRows().value(0).row() == playing;
        };
        for (int row = 0; row < texts.size(); ++row) {
            const QTableWidgetItem* item = table->item(row, 0);
            QCOMPARE(item->text(), texts[row]);
            QCOMPARE(item->data(Qt::UserRole).value<PLAY_LIST_INFO>().path,
                     window.playListModel().entries()[row].path);
        }
        QVERIFY(marked(0)); // b plays
        window.PlayListItemDoubleClick(2, 0);
        QCOMPARE(window.playback().playingSource().path, c);
        QVERIFY(marked(2));
    }

    void previousNextEntries() {
        ScriptedWindow window;
        const QString a = media("a.mp4"), b = media("b.mp4"), dvd = freshFolder();
        buildLayout(dvd, {"d:VIDEO_TS"});
        window.addFiles({a, b});
        window.addDvdFolder(dvd);
        window.addFiles({a});
        const PlaybackController& playback = window.playback();
        window.PlayPre(); // first entry: nothing, keeps playing
        QVERIFY(playback.playingSource().path == a && !playback.isStopped());
        window.PlayNext();
        QCOMPARE(playback.playingSource().path, b);
        window.PlayNext(); // into the DVD entry, reopened as a folder
        QVERIFY(playback.playingSource().path == dvd && playback.currentSource().kind == SourceKind::Dvd);
        window.PlayPre();
        QVERIFY(playback.playingSource().path == b && playback.currentSource().kind == SourceKind::File);
        window.PlayListItemDoubleClick(7, 0); // no such cell: not even a stop
        QVERIFY(!playback.isStopped());
        window.PlayListItemDoubleClick(0, 0);
        QCOMPARE(playback.playingSource().path, a);
        QCOMPARE(window.playListModel().size(), 3);
    }

    void blurayTitleEntry() {
        ScriptedWindow window;
        const QString disc = freshFolder(), key = disc + "/BDMV/PLAYLIST/00000.mpls",
                      engineLog = home.path("engine.log"), playerFolder = QDir::currentPath();
        buildLayout(disc, {"bluray"});
        QVERIFY(writeRecordingEngine(home.path("engine.sh"), engineLog, window.enginePath()));
        window.setEnginePath(home.path("engine.sh"));
        // The folders of the engines started so far, once the n-th has started.
        const auto engineFolders = [&](int started) {
            QStringList folders;
            kzp::test::waitUntil([&] { return loggedCalls(engineLog).size() >= started; });
            for (const QStringList& call : loggedCalls(engineLog))
                folders << call.value(0);
            return folders;
        };
        window.addBluRayTitle(); // no title chosen: nothing
        QVERIFY(window.playListModel().isEmpty());
        DiscInfo info;
        info.folder = disc;
        info.titles = {
            DiscTitle{1, key, 0, "", {ClipInfo{0, 0, 1500, ""}, ClipInfo{0, 0, 2999, ""}}, {}, {}, {}}};
        window.discModel().load(info);
        window.addBluRayTitle(key);
        QCOMPARE(engineFolders(1).size(), 1);
        window.addBluRayTitle();
        QCOMPARE(window.playback().playingSource().path, disc);
        QCOMPARE(engineFolders(2).size(), 2);
        // The engine runs in the disc's stream folder, and so do later engines
        // until another disc plays; the player itself stays where it was.
        window.addFiles({media("after.mp4")});
        const QString streams = QFileInfo(disc + "/BDMV/STREAM").canonicalFilePath();
        QCOMPARE(engineFolders(3), QStringList(3, streams));
        QCOMPARE(QDir::currentPath(), playerFolder);

        window.addBluRayTitle(disc + "/unknown"); // in no table: the key itself, length 0
        const QList<PLAY_LIST_INFO>& entries = window.playListModel().entries();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0].kind, 2);
        QCOMPARE(entries[0].path, disc);
        QCOMPARE(entries[0].duration, QStringLiteral("00:00:03"));
        QCOMPARE(entries[2].path, disc + "/unknown");
        QCOMPARE(entries[2].duration, QStringLiteral("00:00:00"));
    }
};

QTEST_MAIN(TestSources)
#include "tst_sources.moc"
