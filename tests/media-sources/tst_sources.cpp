// Folder listing, the length probe, opening files and disc folders, and the
// play list, against a fake probe and the fake engine.
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <fcntl.h>
#include <unistd.h>

#include "SourcesTestSupport.h"
#include "config/LanguageManager.h"
#include "dialogs/CMessageBox.h"
#include "media/FolderList.h"
#include "media/Probe.h"

namespace {

enum Outcome { Refused, Dvd, Bluray };

QByteArray be16(quint16 v) {
    v = qToBigEndian(v);
    return QByteArray(reinterpret_cast<const char*>(&v), 2);
}
QByteArray be32(quint32 v) {
    v = qToBigEndian(v);
    return QByteArray(reinterpret_cast<const char*>(&v), 4);
}

// A one-clip movie playlist with one chapter, as a disc carries it.
QByteArray minimalPlaylist(quint32 seconds) {
    QByteArray item = "00000M2TS" + QByteArray(3, 0) + be32(0) + be32(seconds * 45000) + QByteArray(12, 0);
    item += be16(14) + QByteArray(12, 0); // STN table without streams, up to its entries
    QByteArray list = be32(0) + be16(0) + be16(1) + be16(0) + be16(quint16(item.size())) + item;
    const quint32 a = 40, b = a + quint32(list.size());
    QByteArray mark = QByteArray(1, 0) + QByteArray(1, 1) + be16(0) + be32(0) + QByteArray(6, 0);
    return "MPLS0200" + be32(a) + be32(b) + QByteArray(24, 0) + list + be32(0) + be16(1) + mark;
}

// "d:" folders, "f:" files, "l:name>target" symbolic links, "bluray" a whole disc.
void buildLayout(const QString& root, const QStringList& layout) {
    QDir().mkpath(root);
    for (const QString& spec : layout) {
        const QString path = root + "/" + spec.mid(2);
        if (spec == "bluray") {
            QDir().mkpath(root + "/BDMV/STREAM");
            writeFile(root + "/BDMV/PLAYLIST/00000.mpls", minimalPlaylist(10));
            writeFile(root + "/BDMV/META/DL/bdmt_eng.xml", "<di:name>Test Disc</di:name>\n");
        } else if (spec.startsWith("d:")) {
            QDir().mkpath(path);
        } else if (spec.startsWith("f:")) {
            writeFile(path, "x");
        } else if (spec.startsWith("l:")) {
            const QStringList parts = spec.mid(2).split('>');
            QFile::link(parts[1], root + "/" + parts[0]);
        }
    }
}

QByteArray engineLog(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSources : public QObject {
    Q_OBJECT
    PrivateHome home;
    QString probeLog;
    QString engineLogPath;
    int folderCount = 0;

    QString freshFolder() { return home.path(QStringLiteral("case%1").arg(++folderCount)); }

    // A media file whose fake-probe output is `probeText`.
    QString media(const QString& name, const QByteArray& probeText) {
        const QString path = home.path("media/" + name);
        writeFile(path, probeText);
        return path;
    }

private slots:
    void initTestCase() {
        probeLog = home.path("probe.log");
        engineLogPath = home.path("engine.log");
        qputenv("FAKE_ENGINE_LOG", engineLogPath.toLocal8Bit());
        ScriptedWindow window; // creates the data folder
        QVERIFY(writeFakeProbe(window.probePath(), probeLog));
        QVERIFY(window.probePath().endsWith("/Kestrune Zyl Player/tool.exe"));
    }

    void init() { QFile::remove(probeLog); }

    // ---- folder listing ----

    void listingOrderKindsAndLinks() {
        const QString root = freshFolder();
        buildLayout(root, {"f:b.txt", "d:c", "f:.hidden", "d:..x", "d:Z", "l:a_link>c", "l:loop>loop",
                           "l:dangling>nowhere"});
        writeFile(root + "/A.txt", "12345");
        const QByteArray odd = QFile::encodeName(root) + "/\xff\xfe.bin"; // not valid UTF-8
        ::close(::open(odd.constData(), O_CREAT | O_WRONLY, 0644));

        QList<FolderEntry> entries{FolderEntry{1, 7, "kept"}};
        QVERIFY(listFolder(root + "/", entries));
        QByteArrayList names;
        for (const FolderEntry& e : entries.mid(1))
            names << e.fullPath.mid(QFile::encodeName(root).size() + 1);
        QCOMPARE(names,
                 (QByteArrayList{"A.txt", "a_link", "b.txt", "c", "dangling", "loop", "Z", "\xff\xfe.bin"}));
        QCOMPARE(entries[0].fullPath, QByteArray("kept"));
        QCOMPARE(entries[1].fullPath, QFile::encodeName(root) + "/A.txt");
        const QList<qint32> dirs{0, 1, 0, 1, 0, 0, 1, 0};
        for (int i = 0; i < dirs.size(); ++i)
            QCOMPARE(entries[i + 1].isDirectory, dirs[i]);
        QCOMPARE(entries[1].size, quint64(5));
        QCOMPARE(entries[3].size, quint64(1));
        ::unlink(odd.constData()); // a name QTemporaryDir could not remove
    }

    void unlistableFolders() {
        const QString root = freshFolder();
        buildLayout(root, {"f:plain", "d:locked/inner"});
        QList<FolderEntry> entries;
        QVERIFY(!listFolder(root + "/missing", entries));
        QVERIFY(!listFolder(root + "/plain", entries));
        QVERIFY(!listFolder(QString(), entries));
        QVERIFY(entries.isEmpty());
        QFile::setPermissions(root + "/locked", QFileDevice::Permissions());
        if (::access(QFile::encodeName(root + "/locked").constData(), R_OK) != 0)
            QVERIFY(!listFolder(root + "/locked", entries));
        QFile::setPermissions(root + "/locked",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void hundredThousandEntries() {
        const QString root = freshFolder();
        QDir().mkpath(root);
        const QByteArray base = QFile::encodeName(root) + "/";
        for (int i = 99999; i >= 0; --i)
            ::close(::open((base + QByteArray::number(i).rightJustified(6, '0')).constData(),
                           O_CREAT | O_WRONLY, 0644));
        QList<FolderEntry> entries;
        QVERIFY(listFolder(root, entries));
        QCOMPARE(entries.size(), 100000);
        for (int i = 0; i < entries.size(); i += 9999)
            QCOMPARE(entries[i].fullPath, base + QByteArray::number(i).rightJustified(6, '0'));
    }

    // ---- the probe ----

    void probeOutputParsing_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("duration");
        QTest::newRow("real line") << QByteArray("Input #0\n  Duration: 01:23:45.67, start: 0.0\n")
                                   << "01:23:45";
        QTest::newRow("unknown") << QByteArray("  Duration: N/A, bitrate: N/A\n") << "N/A, bit";
        QTest::newRow("none") << QByteArray("Invalid data found\n") << "";
        QTest::newRow("metadata first")
            << QByteArray("DURATION        : 00:09:00\n  Duration: 00:00:03.00\n") << "00:00:03";
        QTest::newRow("cut short") << QByteArray("Duration: 00:0") << "00:0";
    }
    void probeOutputParsing() {
        QFETCH(QByteArray, output);
        QFETCH(QString, duration);
        QCOMPARE(durationFromProbeOutput(output), duration);
    }

    void probeOutcomes_data() {
        QTest::addColumn<QByteArray>("probeText");
        QTest::addColumn<bool>("probeRuns");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<qint64>("length");
        QTest::newRow("duration") << QByteArray("  Duration: 00:02:05.02, start: 0\n") << true << "00:02:05"
                                  << 125LL;
        QTest::newRow("N/A") << QByteArray("  Duration: N/A, bitrate: N/A\n") << true << "N/A, bit" << 0LL;
        QTest::newRow("no line") << QByteArray("garbage\n") << true << "" << 0LL;
        QTest::newRow("hangs") << QByteArray("HANG") << true << "" << 0LL;
        QTest::newRow("not executable") << QByteArray("  Duration: 00:00:09.00\n") << false << "" << 0LL;
    }
    void probeOutcomes() {
        QFETCH(QByteArray, probeText);
        QFETCH(bool, probeRuns);
        QFETCH(QString, duration);
        QFETCH(qint64, length);
        ScriptedWindow window;
        window.probeTimeoutMs = 500;
        if (!probeRuns)
            QFile::setPermissions(window.probePath(), QFile::ReadOwner | QFile::WriteOwner);
        const QString file = media(QTest::currentDataTag() + QStringLiteral(".mp4"), probeText);
        QElapsedTimer clock;
        clock.start();
        window.addFiles({file});
        QVERIFY(clock.elapsed() < 15000); // a hanging probe was killed, not waited for
        if (!probeRuns)
            writeFakeProbe(window.probePath(), probeLog);
        QCOMPARE(window.playList.size(), 1);
        QCOMPARE(window.playList[0].duration, duration);
        QCOMPARE(window.mediaLength, length);
        QCOMPARE(window.currentSource, file); // added and played all the same
        QCOMPARE(window.playingSource, file);
    }

    void namesReachProbeUnchanged() {
        const QStringList names{
            "with space.mp4", "quote\"d.mp4", "$HOME.mp4", "-leading.mp4", QString::fromUtf8("é中文.mp4"),
            "new\nline.mp4",  "a;b`c'd.mp4"};
        const QString folder = home.path("media");
        QStringList paths;
        for (int i = 0; i < names.size(); ++i)
            paths << media(names[i], "  Duration: 00:00:0" + QByteArray::number(i) + ".00\n");
        paths[3] = "-leading.mp4"; // relative: the argument itself starts with "-"
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder);
        ScriptedWindow window;
        window.addFiles(paths);
        QDir::setCurrent(previous);
        QList<QStringList> expected;
        for (const QString& path : paths)
            expected << QStringList{"-i", path};
        QCOMPARE(probeCalls(probeLog), expected);
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(window.playList[i].duration, QStringLiteral("00:00:0%1").arg(i));
    }

    // ---- opening folders ----

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
        QTest::newRow("empty") << QStringList{} << int(Refused);
        QTest::newRow("missing") << QStringList{"missing"} << int(Refused);
    }
    void folderDetection() {
        QFETCH(QStringList, layout);
        QFETCH(int, outcome);
        QString folder = freshFolder();
        buildLayout(folder, layout);
        if (layout == QStringList{"missing"})
            folder += "/not-there";
        ScriptedWindow window;
        window.folderAnswer = folder;
        window.btnLoadBDPath();
        QCOMPARE(window.refusals,
                 outcome == Refused ? QStringList{caption("Messages/MSG0102")} : QStringList{});
        QCOMPARE(window.playList.size(), outcome == Dvd ? 1 : 0);
        if (outcome == Dvd) {
            QCOMPARE(window.playList[0].kind, 1);
            QCOMPARE(window.playList[0].path, folder);
            QCOMPARE(window.currentSource, folder);
            QCOMPARE(window.sourceKind, 1);
            QCOMPARE(window.mediaLength, 0LL);
        }
        if (outcome == Bluray) { // the disc loader got the chosen folder itself
            QCOMPARE(window.discNameLabel->text(), QStringLiteral("Test Disc"));
            QCOMPARE(window.pageStack->currentIndex(), 1);
            QCOMPARE(window.discFolderTable.value(window.sourceKey), folder);
        }
    }

    void refusalStopsPlaybackCancelDoesNot() {
        ScriptedWindow window;
        const QString file = media("playing.mp4", "  Duration: 00:01:00.00\n");
        window.filesAnswer = {file};
        window.btnOpenFile();
        QVERIFY(window.engineProcess);
        QCOMPARE(window.playingSource, file);

        window.folderAnswer = QString(); // cancelled
        window.btnLoadBDPath();
        QCOMPARE(window.playingSource, file);
        QVERIFY(!window.isStopped);

        window.folderAnswer = freshFolder(); // holds nothing playable
        QDir().mkpath(window.folderAnswer);
        window.btnLoadBDPath();
        QCOMPARE(window.refusals.size(), 1);
        QVERIFY(window.playingSource.isEmpty());
        QVERIFY(window.isStopped);

        window.filesAnswer.clear(); // cancelled file dialog
        window.btnOpenFile();
        QCOMPARE(window.playList.size(), 1);
    }

    void refusalBoxPlacement() {
        ScriptedWindow window;
        window.realRefusal = true;
        window.move(40, 30);
        QRect seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<CMessageBox*>(QApplication::activeModalWidget())) {
                seen = box->geometry();
                box->btnSlotOK();
            }
        });
        poll.start(20);
        window.loadDiscFolder(home.path("no-such-folder"));
        QCOMPARE(seen, QRect(window.x() + window.width() / 3, window.y() + window.height() / 3, 400, 180));
    }

    // ---- the play list ----

    void tableAndRows() {
        ScriptedWindow window;
        QTableWidget* table = window.playListTable;
        QCOMPARE(table->columnCount(), 1);
        QCOMPARE(table->horizontalHeader()->maximumHeight(), 0);
        QVERIFY(table->verticalHeader()->isHidden());
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);

        const QString a = media("first clip.mkv", "  Duration: 00:00:12.00\n");
        window.addFiles({a});
        window.appendPlayListRows({PLAY_LIST_INFO{1, "/", ""}, PLAY_LIST_INFO{2, "/mnt", "01:00:00"},
                                   PLAY_LIST_INFO{1, "/media/x/DVD", ""}});
        const QStringList texts{"    first clip.mkv", "    /", "    /mnt", "    DVD"};
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(window.playList.size(), 4);
        for (int row = 0; row < 4; ++row) {
            const QTableWidgetItem* item = table->item(row, 0);
            QCOMPARE(item->text(), texts[row]);
            const auto entry = item->data(Qt::UserRole).value<PLAY_LIST_INFO>();
            QCOMPARE(entry.path, window.playList[row].path);
            QCOMPARE(entry.kind, window.playList[row].kind);
            QCOMPARE(item->font().family(), QStringLiteral("Calibri"));
            QCOMPARE(item->font().pointSize(), 10);
            QCOMPARE(item->foreground().color(), QColor(Qt::white));
            QCOMPARE(table->rowHeight(row), 20);
        }
        QCOMPARE(window.playList[0].duration, QStringLiteral("00:00:12"));

        window.playingSource = "/mnt";
        window.markPlayingRow();
        for (int row = 0; row < 4; ++row)
            QCOMPARE(table->item(row, 0)->icon().isNull(), row != 2);
        QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 2);
    }

    void alreadyPresentRule() {
        ScriptedWindow window;
        const QString a = media("a.mp4", "  Duration: 00:00:01.00\n"),
                      b = media("b.mp4", "  Duration: 00:00:02.00\n"),
                      c = media("c.mp4", "  Duration: 00:00:03.00\n");
        window.addFiles({b});
        window.addFiles({a, b, c});
        QCOMPARE(window.playListTable->rowCount(), 3);
        QCOMPARE(window.playList[1].path, a);
        QCOMPARE(window.playList[2].path, c);
        QCOMPARE(window.currentSource, a);
        QCOMPARE(window.playingSource, a);
        QCOMPARE(window.mediaLength, 1LL);
        window.addFiles({b}); // listed already: plays again, no row
        QCOMPARE(window.playList.size(), 3);
        QCOMPARE(window.playingSource, b);
        QCOMPARE(window.mediaLength, 2LL);
        QCOMPARE(probeCalls(probeLog).size(), 5);
    }

    void previousNextEntries() {
        ScriptedWindow window;
        const QString a = media("a.mp4", ""), b = media("b.mp4", ""), dvd = freshFolder();
        buildLayout(dvd, {"d:VIDEO_TS"});
        window.addFiles({a, b});
        window.addDvdFolder(dvd);
        window.addFiles({a});
        window.PlayPre(); // first entry: nothing, keeps playing
        QCOMPARE(window.playingSource, a);
        QVERIFY(!window.isStopped);
        window.PlayNext();
        QCOMPARE(window.playingSource, b);
        window.PlayNext(); // into the DVD entry, reopened as a folder
        QCOMPARE(window.currentSource, dvd);
        QCOMPARE(window.sourceKind, 1);
        window.PlayNext(); // last entry: nothing
        QCOMPARE(window.currentSource, dvd);
        QVERIFY(!window.isStopped);
        window.PlayPre();
        QCOMPARE(window.playingSource, b);
        QCOMPARE(window.sourceKind, 0);

        window.PlayListItemDoubleClick(7, 0); // no such cell: nothing, not even a stop
        QVERIFY(!window.isStopped);
        window.PlayListItemDoubleClick(0, 0);
        QCOMPARE(window.playingSource, a);
        QCOMPARE(window.playList.size(), 3);
    }

    void chapterSteps_data() {
        QTest::addColumn<QString>("position");
        QTest::addColumn<bool>("next");
        QTest::addColumn<int>("target"); // -1: nothing happens
        QTest::newRow("450 next") << "450.4" << true << 600;
        QTest::newRow("450 previous") << "450" << false << 0;
        QTest::newRow("250 previous") << "250" << false << -1;
        QTest::newRow("700 next") << "700" << true << -1;
        QTest::newRow("0 next") << "" << true << 300;
    }
    void chapterSteps() {
        QFETCH(QString, position);
        QFETCH(bool, next);
        QFETCH(int, target);
        QFile::remove(engineLogPath);
        ScriptedWindow window;
        window.addFiles({media("title.m2ts", "")});
        QVERIFY(window.engineProcess);
        window.sourceKind = 2;
        window.sourceKey = "/disc/BDMV/PLAYLIST/00000.mpls";
        window.chapterTable[window.sourceKey] = {0, 300000, 600000};
        window.positionText = position;
        window.playClock = 123;
        next ? window.PlayNext() : window.PlayPre();
        window.writeEngine("marker\n");
        QTRY_VERIFY(engineLog(engineLogPath).contains("marker"));
        const QByteArray log = engineLog(engineLogPath);
        if (target < 0) {
            QVERIFY(!log.contains("seek"));
            QCOMPARE(window.playClock, 123LL);
        } else {
            QVERIFY(log.contains("\nseek " + QByteArray::number(target) + " 2\n"));
            QCOMPARE(window.playClock, target * 1000LL);
        }
    }

    void blurayTitleEntry() {
        ScriptedWindow window;
        const QString disc = freshFolder();
        buildLayout(disc, {"bluray"});
        const QString key = disc + "/BDMV/PLAYLIST/00000.mpls";
        const QString previous = QDir::currentPath();
        window.addBluRayTitle(); // no title chosen: nothing
        QVERIFY(window.playList.isEmpty());
        window.sourceKey = key;
        window.discFolderTable[key] = disc;
        ClipInfo first, second;
        first.clipDuration = 1500;
        second.clipDuration = 2999;
        window.clipTable[key] = {first, second};
        window.addBluRayTitle();
        window.addBluRayTitle();
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(previous);
        QCOMPARE(window.playList.size(), 1);
        QCOMPARE(window.playList[0].kind, 2);
        QCOMPARE(window.playList[0].path, disc);
        QCOMPARE(window.playList[0].duration, QStringLiteral("00:00:03")); // whole seconds per clip
        QCOMPARE(window.mediaLength, 3LL);
        QCOMPARE(window.sourceKind, 2);
        QCOMPARE(QFileInfo(cwd).canonicalFilePath(), QFileInfo(disc + "/BDMV/STREAM").canonicalFilePath());

        window.clipTable.clear();
        window.sourceKey = disc + "/other";
        window.addBluRayTitle(); // unknown to the tables: the key itself, length 0
        QCOMPARE(window.playList.size(), 2);
        QCOMPARE(window.playList[1].duration, QStringLiteral("00:00:00"));
        QDir::setCurrent(previous);
    }
};

QTEST_MAIN(TestSources)
#include "tst_sources.moc"
