// The per-user data folder, the probe copy, OutputPath.txt and RecentConfig.txt.

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "TestFiles.h"
#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "config/RecentFiles.h"

using kzp::test::writeBytes;
using kzp::test::config::readBytes;

class TestDataFolder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void locations();
    void firstStartCreatesFolderAndProbe();
    void existingProbeIsKept();
    void missingProbeSource();
    void danglingProbeLinkIsReplaced();
    void unusableDataFolder();
    void dataFolderGate_data();
    void dataFolderGate();
    void outputPathRoundTrip_data();
    void outputPathRoundTrip();
    void outputPathReadAsStored();
    void outputPathWriteFailureKeepsFile();
    void readRecent_data();
    void readRecent();
    void recentRoundTrip();
    void addRecent_data();
    void addRecent();
    void recentListKeepsItsFile();

private:
    QString home;
    QString data; // XDG_DATA_HOME of the current test function (not yet created)
    QString app;  // application folder holding "tool"
    QScopedPointer<QTemporaryDir> scratch;
};

void TestDataFolder::initTestCase() {
    home = kzp::test::useTemporaryHome();
}

void TestDataFolder::init() {
    scratch.reset(new QTemporaryDir);
    data = scratch->path() + "/deep/er/share";
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    app = scratch->path() + "/app";
    QVERIFY(writeBytes(app + "/tool", "#!/bin/sh\necho probe v1\n"));
    QVERIFY(QFile::setPermissions(app + "/tool", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                     QFile::ReadOther | QFile::ExeOther));
}

void TestDataFolder::locations() {
    QCOMPARE(dataFolderPath(), data + "/Kestrune Zyl Player/");
    QCOMPARE(defaultSnapshotFolder(), home + "/Documents/Kestrune Zyl Player/");
    QVERIFY(!QFileInfo::exists(data)); // asking creates nothing
}

void TestDataFolder::firstStartCreatesFolderAndProbe() {
    const QString folder = prepareDataFolder(app);
    QCOMPARE(folder, data + "/Kestrune Zyl Player/");
    QVERIFY(QFileInfo(folder).isDir());
    const QFileInfo probe(folder + "tool.exe");
    QVERIFY(probe.isFile());
    QVERIFY(probe.isExecutable());
    QCOMPARE(readBytes(probe.filePath()), readBytes(app + "/tool"));
    // The folder holds nothing else (no temporary leftovers of the copy).
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"tool.exe"});

    QProcess run;
    run.start(probe.filePath(), {});
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.readAllStandardOutput(), QByteArray("probe v1\n"));
}

void TestDataFolder::existingProbeIsKept() {
    prepareDataFolder(app);
    QVERIFY(writeBytes(app + "/tool", "#!/bin/sh\necho probe v2, newer\n"));
    const QString folder = prepareDataFolder(app);
    QCOMPARE(readBytes(folder + "tool.exe"), QByteArray("#!/bin/sh\necho probe v1\n"));
}

void TestDataFolder::missingProbeSource() {
    QVERIFY(QFile::remove(app + "/tool"));
    const QString folder = prepareDataFolder(app);
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(!QFileInfo::exists(folder + "tool.exe"));
    // A later start with the probe in place copies it.
    QVERIFY(writeBytes(app + "/tool", "late"));
    prepareDataFolder(app);
    QCOMPARE(readBytes(folder + "tool.exe"), QByteArray("late"));
}

void TestDataFolder::danglingProbeLinkIsReplaced() {
    const QString folder = dataFolderPath();
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::link(scratch->path() + "/gone", folder + "tool.exe"));
    prepareDataFolder(app);
    const QFileInfo probe(folder + "tool.exe");
    QVERIFY(!probe.isSymLink());
    QCOMPARE(readBytes(probe.filePath()), readBytes(app + "/tool"));
}

void TestDataFolder::unusableDataFolder() {
    // The data location lies below a plain file: nothing can be created there.
    QVERIFY(writeBytes(scratch->path() + "/blocker", "file"));
    data = scratch->path() + "/blocker/share";
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    const QString folder = prepareDataFolder(app);
    QCOMPARE(folder, data + "/Kestrune Zyl Player/");
    QVERIFY(!QFileInfo::exists(folder));
    QCOMPARE(readOutputPath(folder), QString());
    QVERIFY(!writeOutputPath(folder, "/x/"));
    QCOMPARE(snapshotFolder(folder), defaultSnapshotFolder());
    QVERIFY(!writeRecentFiles(folder + "RecentConfig.txt", {"/a.mkv"}));
    QCOMPARE(readRecentFiles(folder + "RecentConfig.txt"), QStringList());
}

namespace {
int modesOf(const QString& path) {
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}
} // namespace

void TestDataFolder::dataFolderGate_data() {
    // Steps before the start ("umask 000", "relative XDG_DATA_HOME", "folder
    // MODES", "copy MODES": a copy holding "planted", "copy link": a link to
    // one, "chown folder|copy": give it to another user), then the data
    // folder's modes, what its copy holds, and which probe runs.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("folderModes");
    QTest::addColumn<QByteArray>("copy");
    QTest::addColumn<QString>("probe");
    const QByteArray tool = "#!/bin/sh\necho probe v1\n";
    QTest::newRow("umask 000") << "umask 000" << 0700 << tool << "copy";
    QTest::newRow("relative XDG_DATA_HOME") << "relative XDG_DATA_HOME" << 0700 << tool << "copy";
    QTest::newRow("folder others can write")
        << "folder 0777;copy 0755" << 0700 << QByteArray("planted") << "copy";
    QTest::newRow("copy others can write") << "folder 0700;copy 0777" << 0700 << tool << "copy";
    QTest::newRow("copy is a link") << "folder 0700;copy link" << 0700 << tool << "copy";
    QTest::newRow("copy of another user") << "folder 0700;copy 0755;chown copy" << 0700 << tool << "copy";
    QTest::newRow("folder of another user")
        << "folder 0777;copy 0755;chown folder" << 0777 << QByteArray("planted") << "program";
}

void TestDataFolder::dataFolderGate() {
    QFETCH(QString, setup);
    QFETCH(int, folderModes);
    QFETCH(QByteArray, copy);
    QFETCH(QString, probe);
    if (setup.contains("chown") && !kzp::test::runningAsRoot())
        QSKIP("giving a file to another user needs root");
    const QString folder = data + "/Kestrune Zyl Player/";
    const QString planted = scratch->path() + "/planted";
    QVERIFY(writeBytes(planted, "planted"));
    const mode_t savedMask = ::umask(022);
    const QString savedFolder = QDir::currentPath();
    const auto restore = qScopeGuard([&] {
        ::umask(savedMask);
        QDir::setCurrent(savedFolder);
    });
    QString expectedFolder = folder;
    for (const QString& step : setup.split(';')) {
        const QString what = step.section(' ', 0, 0), how = step.section(' ', 1);
        const QString path = (what == "folder" || how == "folder") ? folder : folder + "tool.exe";
        if (step == "umask 000") {
            ::umask(0);
        } else if (step == "relative XDG_DATA_HOME") {
            // Started from a folder others share: the data folder stays at home.
            QVERIFY(QDir(scratch->path()).mkpath("shared"));
            QVERIFY(QDir::setCurrent(scratch->path() + "/shared"));
            qputenv("XDG_DATA_HOME", "share");
            expectedFolder = home + "/.local/share/Kestrune Zyl Player/";
            QDir(expectedFolder).removeRecursively();
        } else if (what == "chown") {
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        } else if (how == "link") {
            QVERIFY(QFile::link(planted, path));
        } else {
            QVERIFY(what == "folder" ? QDir().mkpath(folder) : writeBytes(path, "planted"));
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(how.toUInt(nullptr, 8))), 0);
        }
    }
    const QString made = prepareDataFolder(app);
    const bool written =
        writeRecentFiles(made + "RecentConfig.txt", {"/a.mkv"}) && writeOutputPath(made, "/s/");
    const QString runs = probeProgram(made, app);

    QCOMPARE(made, expectedFolder);
    QVERIFY(!QFileInfo::exists(scratch->path() + "/shared/share"));
    QCOMPARE(modesOf(made), folderModes);
    QCOMPARE(readBytes(made + "tool.exe"), copy);
    QCOMPARE(runs, probe == "copy" ? made + "tool.exe" : app + "/tool");
    QCOMPARE(readBytes(planted), QByteArray("planted"));
    if (probe == "copy") {
        QVERIFY(written);
        if (copy != "planted") // made afresh
            QCOMPARE(modesOf(made + "tool.exe"), 0700);
        QCOMPARE(modesOf(made + "RecentConfig.txt"), 0600);
        QCOMPARE(modesOf(made + "OutputPath.txt"), 0600);
    }
    if (setup.contains("relative"))
        QDir(expectedFolder).removeRecursively();
}

void TestDataFolder::outputPathRoundTrip_data() {
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "/home/user/Pictures/";
    QTest::newRow("non-ascii") << QString::fromUtf8("/tmp/Ordner äöü/写真 スナップ/");
    QTest::newRow("blanks kept") << "  /media/disk/shots  ";
    QTest::newRow("quotes and dollar") << "/tmp/a \"b\" $HOME/";
    QTest::newRow("no trailing separator") << "/srv/shots";
}

void TestDataFolder::outputPathRoundTrip() {
    QFETCH(QString, folder);
    const QString dataFolder = prepareDataFolder(app);
    QVERIFY(writeOutputPath(dataFolder, folder));
    QCOMPARE(readBytes(dataFolder + "OutputPath.txt"), folder.toUtf8()); // no line end, no mark
    QCOMPARE(readOutputPath(dataFolder), folder);
    QCOMPARE(snapshotFolder(dataFolder), folder);
}

void TestDataFolder::outputPathReadAsStored() {
    const QString dataFolder = prepareDataFolder(app);
    QCOMPARE(readOutputPath(dataFolder), QString()); // missing
    QCOMPARE(snapshotFolder(dataFolder), defaultSnapshotFolder());
    QVERIFY(writeBytes(dataFolder + "OutputPath.txt", ""));
    QCOMPARE(snapshotFolder(dataFolder), defaultSnapshotFolder());
    QVERIFY(writeBytes(dataFolder + "OutputPath.txt", "/hand/edited/\r\n"));
    QCOMPARE(readOutputPath(dataFolder), QStringLiteral("/hand/edited/\r\n"));
    // Shorter text replaces longer text completely.
    QVERIFY(writeOutputPath(dataFolder, "/s/"));
    QCOMPARE(readBytes(dataFolder + "OutputPath.txt"), QByteArray("/s/"));
}

void TestDataFolder::outputPathWriteFailureKeepsFile() {
    const QString dataFolder = prepareDataFolder(app);
    QVERIFY(writeOutputPath(dataFolder, "/old/"));
    bool written = true;
    {
        kzp::test::WriteFailure failure;
        written = writeOutputPath(dataFolder, "/a/much/longer/new/folder/");
    }
    QVERIFY(!written);
    QCOMPARE(readOutputPath(dataFolder), QStringLiteral("/old/"));

    QVERIFY(writeRecentFiles(dataFolder + "RecentConfig.txt", {"/one.mkv", "/two.mkv"}));
    {
        kzp::test::WriteFailure failure;
        written = writeRecentFiles(dataFolder + "RecentConfig.txt", {"/three.mkv", "/one.mkv", "/two.mkv"});
    }
    QVERIFY(!written);
    QCOMPARE(readRecentFiles(dataFolder + "RecentConfig.txt"), QStringList({"/one.mkv", "/two.mkv"}));
}

void TestDataFolder::readRecent_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("two lines") << QByteArray("/a.mkv\n/b.mkv\n") << QStringList{"/a.mkv", "/b.mkv"};
    QTest::newRow("empty lines skipped")
        << QByteArray("\n/a.mkv\n\n\n/b.mkv\n\n") << QStringList{"/a.mkv", "/b.mkv"};
    QTest::newRow("crlf") << QByteArray("/a.mkv\r\n\r\n/b.mkv\r\n") << QStringList{"/a.mkv", "/b.mkv"};
    QTest::newRow("blanks make an entry") << QByteArray("   \n/a.mkv\n") << QStringList{"   ", "/a.mkv"};
    QTest::newRow("no final line end") << QByteArray("/a.mkv\n/b.mkv") << QStringList{"/a.mkv", "/b.mkv"};
    QTest::newRow("non-ascii") << QByteArray("/v/Été 夏.mkv\n")
                               << QStringList{QString::fromUtf8("/v/Été 夏.mkv")};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("twelve lines: the ten the list keeps")
        << QByteArray("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n")
        << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
}

void TestDataFolder::readRecent() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, entries);
    const QString file = scratch->path() + "/RecentConfig.txt";
    QVERIFY(writeBytes(file, bytes));
    QCOMPARE(readRecentFiles(file), entries);
}

void TestDataFolder::recentRoundTrip() {
    const QString file = prepareDataFolder(app) + "RecentConfig.txt";
    QCOMPARE(readRecentFiles(file), QStringList()); // missing

    const QStringList few = {QString::fromUtf8("/Filme/Ärger – 第一.mkv"), "  ",
                             "/media/BD/BDMV/PLAYLIST/00001.mpls"};
    QVERIFY(writeRecentFiles(file, few));
    QCOMPARE(readBytes(file), (few.join('\n') + '\n').toUtf8());
    QCOMPARE(readRecentFiles(file), few);

    QStringList many;
    for (int i = 0; i < 1000; ++i)
        many << QStringLiteral("/videos/clip %1 ü.mp4").arg(i);
    QVERIFY(writeRecentFiles(file, many));
    QCOMPARE(readRecentFiles(file), many.mid(0, 10));

    QVERIFY(writeRecentFiles(file, {}));
    QCOMPARE(readBytes(file), QByteArray());
}

void TestDataFolder::addRecent_data() {
    QTest::addColumn<int>("before"); // entries "0".."before-1"
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("after");
    QTest::newRow("new into empty") << 0 << "/new" << true << 1;
    QTest::newRow("present: no reordering") << 5 << "3" << false << 5;
    QTest::newRow("case differs: new") << 1 << "/A" << true << 2;
    QTest::newRow("tenth entry") << 9 << "/new" << true << 10;
    QTest::newRow("eleventh drops the oldest") << 10 << "/new" << true << 10;
    QTest::newRow("long hand-edited list drops one") << 15 << "/new" << true << 15;
}

void TestDataFolder::addRecent() {
    QFETCH(int, before);
    QFETCH(QString, path);
    QFETCH(bool, changed);
    QFETCH(int, after);
    QStringList entries;
    for (int i = 0; i < before; ++i)
        entries << QString::number(i);
    if (before == 1)
        entries = QStringList{"/a"};
    const QStringList original = entries;
    QCOMPARE(addRecentFile(entries, path), changed);
    QCOMPARE(entries.size(), after);
    if (!changed) {
        QCOMPARE(entries, original);
        return;
    }
    QCOMPARE(entries.first(), path);
    QCOMPARE(entries.mid(1), original.mid(0, after - 1));
}

void TestDataFolder::recentListKeepsItsFile() {
    const QString file = scratch->path() + "/RecentConfig.txt";
    QVERIFY(writeBytes(file, "/old.mkv\n"));
    RecentFileList list;
    list.load(file);
    QVERIFY(list.add("/new.mkv"));
    QCOMPARE(readBytes(file), QByteArray("/new.mkv\n/old.mkv\n"));
    QVERIFY(QFile::remove(file));
    QVERIFY(!list.add("/old.mkv"));             // unchanged: the file is not written again
    QVERIFY(!list.add("/x.mkv\n/home/secret")); // would come back as two other paths
    QVERIFY(!list.add("/x.mkv\r"));
    QVERIFY(!QFile::exists(file));
    QVERIFY(list.add("/third.mkv"));
    list.clear();
    QVERIFY(list.entries().isEmpty());
    QVERIFY(!QFile::exists(file));
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
