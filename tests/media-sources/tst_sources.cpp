// Folder listing, the length probe, opening folders and the play list,
// against a fake probe and the fake engine.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include "SourcesTestSupport.h"
#include "config/LanguageManager.h"
#include "dialogs/CMessageBox.h"
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

} // namespace

class TestSources : public QObject {
    Q_OBJECT
    PrivateHome home;
    QString probeLog = home.path("probe.log"), engineLog = home.path("engine.log");
    int folders = 0;

    QString freshFolder() { return home.path(QStringLiteral("case%1").arg(++folders)); }
    QString media(const QString& name, const QByteArray& probeText = "") {
        writeBytes(home.path("media/" + name), probeText);
        return home.path("media/" + name);
    }
    QByteArray readEngineLog() {
        QFile file(engineLog);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase() {
        qputenv("FAKE_ENGINE_LOG", engineLog.toLocal8Bit());
        ScriptedWindow window;
        QVERIFY(window.probePath().endsWith("/Kestrune Zyl Player/tool.exe"));
        QVERIFY(writeFakeProbe(window.probePath(), probeLog));
    }
    void init() { QFile::remove(probeLog); }

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

    void hundredThousandEntries() {
        const QByteArray base = QFile::encodeName(freshFolder()) + "/";
        QDir().mkpath(QFile::decodeName(base));
        for (int i = 99999; i >= 0; --i)
            ::close(::open(base + QByteArray::number(i).rightJustified(6, '0'), O_CREAT | O_WRONLY, 0644));
        QList<FolderEntry> entries;
        QVERIFY(listFolder(QFile::decodeName(base), entries));
        QCOMPARE(entries.size(), 100000);
        for (int i = 0; i < entries.size(); i += 9999)
            QCOMPARE(entries[i].fullPath, base + QByteArray::number(i).rightJustified(6, '0'));
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
        window.probeTimeoutMs = 500;
        const bool runnable = QTest::currentDataTag() != QByteArray("not executable");
        if (!runnable)
            QFile::setPermissions(window.probePath(), QFile::ReadOwner | QFile::WriteOwner);
        const QString file = media(QStringLiteral("%1.mp4").arg(qHash(probeText)), probeText);
        QElapsedTimer clock;
        clock.start();
        window.addFiles({file});
        QVERIFY(clock.elapsed() < 15000); // a hanging probe is killed, not waited for
        QVERIFY(writeFakeProbe(window.probePath(), probeLog));
        QCOMPARE(window.playList.value(0).duration, duration);
        QCOMPARE(window.mediaLength, length);
        QCOMPARE(window.playingSource, file); // added and played all the same
    }

    // Only ffmpeg's header line, two blanks then "Duration: ", gives the
    // length: tags, file names and Matroska lines print the same text.
    void probeHeaderLine_data() {
        QTest::addColumn<QByteArray>("probeText");
        QTest::addColumn<QString>("duration");
        const QByteArray header = "  Duration: 00:00:01.00, start: 0.000000, bitrate: 31 kb/s\n";
        QTest::newRow("title tag") << "Input #0, mov, from 'a.mp4':\n  Metadata:\n"
                                      "    title           : Duration: 99:59:59\n" +
                                          header
                                   << "00:00:01";
        QTest::newRow("file name") << "Input #0, mov, from '/m/Duration: 99:59:59.mp4':\n" + header
                                   << "00:00:01";
        QTest::newRow("Matroska lines") << "    DURATION        : 99:59:59.000000000\n" + header +
                                               "      DURATION        : 00:00:05.000000000\n"
                                        << "00:00:01";
        QTest::newRow("first header line wins") << header + "  Duration: 99:59:59.00\n"
                                                << "00:00:01";
        QTest::newRow("N/A") << QByteArray("  Duration: N/A, bitrate: N/A\n") << "N/A, bit";
        QTest::newRow("at the very start, no line end")
            << QByteArray("  Duration: 00:00:02.00") << "00:00:02";
        QTest::newRow("value ends with its line") << QByteArray("  Duration: 1\n  Stream #0:0\n") << "1";
        QTest::newRow("one blank") << QByteArray(" Duration: 99:59:59.00\n") << "";
        QTest::newRow("three blanks") << QByteArray("   Duration: 99:59:59.00\n") << "";
        QTest::newRow("tab") << QByteArray("\t Duration: 99:59:59.00\n") << "";
        QTest::newRow("other case") << QByteArray("  DURATION: 99:59:59.00\n") << "";
        QTest::newRow("none") << QByteArray("Invalid data found when processing input\n") << "";
    }
    void probeHeaderLine() {
        QFETCH(QByteArray, probeText);
        QFETCH(QString, duration);
        QCOMPARE(durationFromProbeOutput(probeText), duration);
    }

    // ffmpeg prints the probed name verbatim, line breaks included, so a name
    // can print a header line of its own.
    void probedNameCannotForgeHeader_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("duration");
        QTest::newRow("line break") << home.path("x\n  Duration: 99:59:59.00, start: 0\n.mp4") << "00:00:01";
        QTest::newRow("control byte shown as ?")
            << home.path("\x01\n  Duration: 99:59:59.00, start: 0\n.mp4") << "00:00:01";
        QTest::newRow("missing, name starts the error line") << "  Duration: 99:59:59.00"
                                                             << "";
        QTest::newRow("plain name") << home.path("Duration: 99:59:59.mp4") << "00:00:01";
    }
    void probedNameCannotForgeHeader() {
        QFETCH(QString, name);
        QFETCH(QString, duration);
        // Prints like ffmpeg: the input line with the name, then the header;
        // for a missing file the name starts the error line.
        const QString probe = home.path("name-probe");
        QVERIFY(
            writeBytes(probe,
                       "#!/bin/sh\nif [ -e \"$2\" ]; then printf \"Input #0, mov, from '%s':\\n  Duration: "
                       "00:00:01.00, start: 0.000000\\n\" \"$2\"; else printf '%s: No such file or "
                       "directory\\n' \"$2\"; fi >&2\nexit 1\n",
                       true));
        if (name.startsWith('/'))
            QVERIFY(writeBytes(name, "x"));
        QCOMPARE(runProbe(probe, name, 10000), duration);
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
        QCOMPARE(probeCalls(probeLog).size(), paths.size());
        for (int i = 0; i < paths.size(); ++i) {
            QCOMPARE(probeCalls(probeLog)[i], (QStringList{"-i", paths[i]}));
            QCOMPARE(window.playList[i].duration, QStringLiteral("00:00:0%1").arg(i));
        }
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
        QCOMPARE(window.playList.size(), outcome == Dvd ? 1 : 0);
        if (outcome == Dvd) {
            QCOMPARE(window.playList[0].kind, 1);
            QCOMPARE(window.playList[0].path, window.folderAnswer);
            QCOMPARE(window.playingSource, window.folderAnswer);
            QCOMPARE(window.sourceKind, 1);
        } else if (outcome == Bluray) { // the disc loader got the chosen folder itself
            QCOMPARE(window.discNameLabel->text(), QStringLiteral("Test Disc"));
        }
    }

    void refusalStopsPlaybackCancelDoesNot() {
        ScriptedWindow window;
        window.filesAnswer = {media("playing.mp4")};
        window.btnOpenFile();
        window.btnLoadBDPath(); // cancelled: keeps playing
        QCOMPARE(window.playingSource, window.filesAnswer[0]);
        QVERIFY(!window.isStopped);
        window.folderAnswer = freshFolder();
        QDir().mkpath(window.folderAnswer);
        window.btnLoadBDPath();
        QCOMPARE(window.refusals.size(), 1);
        QVERIFY(window.playingSource.isEmpty() && window.isStopped);

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
        window.addFiles({a, b, c}); // b is listed already
        QCOMPARE(window.mediaLength, 1LL);
        window.appendPlayListRows({PLAY_LIST_INFO{1, "/", ""}, PLAY_LIST_INFO{2, "/mnt", ""}});
        window.addFiles({b}); // plays again, no row
        QCOMPARE(window.mediaLength, 2LL);
        QCOMPARE(probeCalls(probeLog).size(), 5);
        const QStringList texts{"    b.mp4", "    a clip.mkv", "    c.mp4", "    /", "    /mnt"};
        QCOMPARE(window.playListTable->rowCount(), texts.size());
        QCOMPARE(window.playList.size(), texts.size());
        for (int row = 0; row < texts.size(); ++row) {
            const QTableWidgetItem* item = window.playListTable->item(row, 0);
            QCOMPARE(item->text(), texts[row]);
            QCOMPARE(item->data(Qt::UserRole).value<PLAY_LIST_INFO>().path, window.playList[row].path);
            QCOMPARE(item->icon().isNull(), row != 0); // b plays
        }
        QCOMPARE(window.playListTable->selectionModel()->selectedRows().value(0).row(), 0);
        window.playingSource = "/mnt";
        window.markPlayingRow();
        QVERIFY(window.playListTable->item(0, 0)->icon().isNull());
        QVERIFY(!window.playListTable->item(4, 0)->icon().isNull());
    }

    void previousNextEntries() {
        ScriptedWindow window;
        const QString a = media("a.mp4"), b = media("b.mp4"), dvd = freshFolder();
        buildLayout(dvd, {"d:VIDEO_TS"});
        window.addFiles({a, b});
        window.addDvdFolder(dvd);
        window.addFiles({a});
        window.PlayPre(); // first entry: nothing, keeps playing
        QVERIFY(window.playingSource == a && !window.isStopped);
        window.PlayNext();
        QCOMPARE(window.playingSource, b);
        window.PlayNext(); // into the DVD entry, reopened as a folder
        QVERIFY(window.playingSource == dvd && window.sourceKind == 1);
        window.PlayNext(); // last entry: nothing
        QVERIFY(window.playingSource == dvd && !window.isStopped);
        window.PlayPre();
        QVERIFY(window.playingSource == b && window.sourceKind == 0);
        window.PlayListItemDoubleClick(7, 0); // no such cell: not even a stop
        QVERIFY(!window.isStopped);
        window.PlayListItemDoubleClick(0, 0);
        QCOMPARE(window.playingSource, a);
        QCOMPARE(window.playList.size(), 3);
    }

    void chapterSteps_data() {
        QTest::addColumn<QString>("position");
        QTest::addColumn<bool>("next");
        QTest::addColumn<int>("target"); // -1: nothing happens
        QTest::newRow("450 next") << "450.7" << true << 600;
        QTest::newRow("450 previous") << "450" << false << 0;
        QTest::newRow("250 previous") << "250" << false << -1;
        QTest::newRow("700 next") << "700" << true << -1;
        QTest::newRow("start next") << "" << true << 300;
    }
    void chapterSteps() {
        QFETCH(QString, position);
        QFETCH(bool, next);
        QFETCH(int, target);
        QFile::remove(engineLog);
        ScriptedWindow window;
        window.addFiles({media("title.m2ts")});
        window.sourceKind = 2;
        window.sourceKey = "/disc/BDMV/PLAYLIST/00000.mpls";
        window.chapterTable[window.sourceKey] = {0, 300000, 600000};
        window.positionText = position;
        window.playClock = 123;
        next ? window.PlayNext() : window.PlayPre();
        window.writeEngine("marker\n");
        QTRY_VERIFY(readEngineLog().contains("marker"));
        QCOMPARE(readEngineLog().contains("\nseek " + QByteArray::number(target) + " 2\n"), target >= 0);
        QVERIFY(target >= 0 || !readEngineLog().contains("seek"));
        QCOMPARE(window.playClock, target < 0 ? 123LL : target * 1000LL);
    }

    void blurayTitleEntry() {
        ScriptedWindow window;
        const QString disc = freshFolder(), key = disc + "/BDMV/PLAYLIST/00000.mpls",
                      previous = QDir::currentPath();
        buildLayout(disc, {"bluray"});
        window.addBluRayTitle(); // no title chosen: nothing
        window.sourceKey = key;
        window.discFolderTable[key] = disc;
        ClipInfo first, second;
        first.clipDuration = 1500;
        second.clipDuration = 2999;
        window.clipTable[key] = {first, second};
        window.addBluRayTitle();
        window.addBluRayTitle();
        const QString cwd = QDir::currentPath();
        window.sourceKey = disc + "/unknown"; // in no table: the key itself, length 0
        window.addBluRayTitle();
        QDir::setCurrent(previous);
        QCOMPARE(window.playList.size(), 2);
        QCOMPARE(window.playList[0].kind, 2);
        QCOMPARE(window.playList[0].path, disc);
        QCOMPARE(window.playList[0].duration, QStringLiteral("00:00:03")); // whole seconds per clip
        QCOMPARE(window.playList[1].duration, QStringLiteral("00:00:00"));
        QCOMPARE(QFileInfo(cwd).canonicalFilePath(), QFileInfo(disc + "/BDMV/STREAM").canonicalFilePath());
    }
};

QTEST_MAIN(TestSources)
#include "tst_sources.moc"
