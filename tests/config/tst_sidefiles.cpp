// The side-file gate: every reader of the player's small side files
// (RecentConfig.txt, OutputPath.txt, the INI files) against what can stand at
// their names: pipes, devices, files of any size, lines of any bytes.

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "TestFiles.h"
#include "config/DataFolder.h"
#include "config/IniFile.h"
#include "config/RecentFiles.h"
#include "config/SideFile.h"

class TestSideFiles : public QObject {
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
};

void TestSideFiles::readers_data() {
    // Which reader, what stands at its file's name ("fifo", "zero": a link to
    // /dev/zero, else a file holding `content`), and what the reader gives:
    // the recent entries, the stored folder text, the INI value of [S] K, or
    // whether an INI write went ahead.
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    QByteArray million;
    QStringList firstTen;
    for (int i = 0; i < 1000000; ++i) {
        million += "/v/clip " + QByteArray::number(i) + ".mkv\n";
        if (i < 10)
            firstTen << QStringLiteral("/v/clip %1.mkv").arg(i);
    }
    const QByteArray iniOverBound = "[S]\nK=v\n" + QByteArray(kIniFileLimit, ';');
    const QByteArray none;
    QTest::newRow("recent: fifo") << "recent"
                                  << "fifo" << none << QStringList();
    QTest::newRow("recent: link to /dev/zero") << "recent"
                                               << "zero" << none << QStringList();
    QTest::newRow("recent: 1,000,000 lines") << "recent"
                                             << "file" << million << firstTen;
    QTest::newRow("recent: a line longer than the bound")
        << "recent"
        << "file" << QByteArray(kRecentFilesReadLimit, 'a') + "\n/b.mkv\n"
        << QStringList();
    QTest::newRow("recent: an entry that is not UTF-8")
        << "recent"
        << "file" << QByteArray("/v/\xff\xfe.mkv\n/a.mkv\n") << QStringList{"/a.mkv"};
    QTest::newRow("output: fifo") << "output"
                                  << "fifo" << none << QStringList{""};
    QTest::newRow("output: link to /dev/zero") << "output"
                                               << "zero" << none << QStringList{""};
    QTest::newRow("output: longer than a path") << "output"
                                                << "file"
                                                << "/" + QByteArray(kOutputPathLimit, 'd') << QStringList{""};
    QTest::newRow("ini: fifo") << "ini"
                               << "fifo" << none << QStringList();
    QTest::newRow("ini: link to /dev/zero") << "ini"
                                            << "zero" << none << QStringList();
    QTest::newRow("ini: over the bound") << "ini"
                                         << "file" << iniOverBound << QStringList();
    QTest::newRow("ini write: fifo left alone") << "write"
                                                << "fifo" << none << QStringList{"refused"};
    QTest::newRow("ini write: over the bound left alone") << "write"
                                                          << "file" << iniOverBound << QStringList{"refused"};
}

void TestSideFiles::readers() {
    QFETCH(QString, reader);
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(reader == "recent"   ? "RecentConfig.txt"
                                      : reader == "output" ? "OutputPath.txt"
                                                           : "config.ini");
    const QByteArray name = QFile::encodeName(path);
    if (kind == "fifo")
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    else
        QVERIFY(kind == "zero" ? QFile::link("/dev/zero", path) : kzp::test::writeBytes(path, content));

    QStringList got;
    IniFile ini;
    struct stat before, after;
    if (reader == "recent") {
        RecentFileList list;
        list.load(path);
        got = list.entries();
        // The next write keeps what was read, byte for byte, in a regular file.
        QVERIFY(list.add("/new.mkv"));
        const QStringList kept = (QStringList{"/new.mkv"} + expected).mid(0, 10);
        QCOMPARE(kzp::test::config::readBytes(path), (kept.join(u'\n') + u'\n').toUtf8());
    } else if (reader == "output") {
        got << readOutputPath(dir.path() + u'/');
    } else if (reader == "ini" && ini.load(path)) {
        got << ini.value("S", "K");
    } else if (reader == "write") {
        QCOMPARE(::lstat(name.constData(), &before), 0);
        got << (IniFile::writeValue(path, "S", "K", "w") ? "written" : "refused");
        QCOMPARE(::lstat(name.constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino); // what could not be read is not replaced
    }
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestSideFiles)
#include "tst_sidefiles.moc"
