// The side-file gate: every reader of the player's small side files
// (RecentConfig.txt, OutputPath.txt, the INI files) against what can stand
// at their names: pipes, devices, files of any size, names of any bytes.

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "TestFiles.h"
#include "config/DataFolder.h"
#include "config/IniFile.h"
#include "config/RecentFiles.h"
#include "config/SideFile.h"

using kzp::test::writeBytes;

namespace {
QByteArray manyLines(int count) {
    QByteArray bytes;
    bytes.reserve(count * 20);
    for (int i = 0; i < count; ++i)
        bytes += "/v/clip " + QByteArray::number(i) + ".mkv\n";
    return bytes;
}

QStringList firstClips(int count) {
    QStringList clips;
    for (int i = 0; i < count; ++i)
        clips << QStringLiteral("/v/clip %1.mkv").arg(i);
    return clips;
}

QString fileFor(const QString& reader) {
    if (reader == QLatin1String("recent"))
        return QStringLiteral("RecentConfig.txt");
    return reader == QLatin1String("output") ? QStringLiteral("OutputPath.txt")
                                             : QStringLiteral("config.ini");
}
} // namespace

class TestSideFiles : public QObject {
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
};

void TestSideFiles::readers_data() {
    // Which reader, what stands at its file's name ("fifo", "zero": a link to
    // /dev/zero, "bytes": a file holding `content`), and what the reader
    // gives: the recent entries, the stored folder text, the INI value of
    // [S] K, or whether an INI write went ahead.
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    const QByteArray iniOverBound = "[S]\nK=v\n" + QByteArray(kIniFileLimit, ';');

    QTest::newRow("recent: fifo") << "recent"
                                  << "fifo" << QByteArray() << QStringList();
    QTest::newRow("recent: link to /dev/zero") << "recent"
                                               << "zero" << QByteArray() << QStringList();
    QTest::newRow("recent: 1,000,000 lines") << "recent"
                                             << "bytes" << manyLines(1000000) << firstClips(10);
    QTest::newRow("recent: a line longer than the bound")
        << "recent"
        << "bytes" << QByteArray(kRecentFilesReadLimit, 'a') + "\n/b.mkv\n"
        << QStringList();
    QTest::newRow("recent: an entry that is not UTF-8")
        << "recent"
        << "bytes" << QByteArray("/v/\xff\xfe.mkv\n/a.mkv\n") << QStringList{"/a.mkv"};
    QTest::newRow("output: fifo") << "output"
                                  << "fifo" << QByteArray() << QStringList{""};
    QTest::newRow("output: link to /dev/zero") << "output"
                                               << "zero" << QByteArray() << QStringList{""};
    QTest::newRow("output: longer than a path") << "output"
                                                << "bytes"
                                                << "/" + QByteArray(kOutputPathLimit, 'd') << QStringList{""};
    QTest::newRow("ini: fifo") << "ini"
                               << "fifo" << QByteArray() << QStringList();
    QTest::newRow("ini: link to /dev/zero") << "ini"
                                            << "zero" << QByteArray() << QStringList();
    QTest::newRow("ini: over the bound") << "ini"
                                         << "bytes" << iniOverBound << QStringList();
    QTest::newRow("ini write: fifo is left alone") << "ini write"
                                                   << "fifo" << QByteArray() << QStringList{"refused"};
    QTest::newRow("ini write: over the bound is left alone")
        << "ini write"
        << "bytes" << iniOverBound << QStringList{"refused"};
}

void TestSideFiles::readers() {
    QFETCH(QString, reader);
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileFor(reader));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("zero"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    else
        QVERIFY(writeBytes(path, content));

    QStringList got;
    if (reader == QLatin1String("recent")) {
        RecentFileList list;
        list.load(path);
        got = list.entries();
        // The next write keeps what was read, byte for byte, in a regular file.
        QVERIFY(list.add(QStringLiteral("/new.mkv")));
        const QStringList kept = (QStringList{QStringLiteral("/new.mkv")} + expected).mid(0, 10);
        QCOMPARE(kzp::test::config::readBytes(path), (kept.join(u'\n') + u'\n').toUtf8());
    } else if (reader == QLatin1String("output")) {
        got << readOutputPath(dir.path() + u'/');
    } else if (reader == QLatin1String("ini")) {
        IniFile ini;
        if (ini.load(path))
            got << ini.value(QStringLiteral("S"), QStringLiteral("K"));
    } else {
        struct stat before, after;
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &before), 0);
        got << (IniFile::writeValue(path, QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("w"))
                    ? QStringLiteral("written")
                    : QStringLiteral("refused"));
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino); // what could not be read is not replaced
    }
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestSideFiles)
#include "tst_sidefiles.moc"
