// The one writer of files into the user's folders: new files (snapshots) and
// atomic replacements (side files), against planted links, full disks and a
// wide-open umask.

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

#include "common/Files.h"
#include "common/FullDisk.h"
#include "util/SafeWrite.h"

namespace {
// Every name below `root` with what it is and holds ("name>target", "name:bytes").
QStringList listing(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.fileName() != QLatin1String(".filler"))
            out << info.filePath().mid(root.size() + 1) +
                       (info.isSymLink() ? u'>' + info.symLinkTarget().mid(root.size() + 1)
                                         : u':' + QString::fromUtf8(kzp::test::readBytes(info.filePath())));
    }
    out.sort();
    return out;
}

void row(const char* name, const char* setup, const char* call, const char* written) {
    QTest::newRow(name) << QString::fromUtf8(setup) << QString::fromUtf8(call) << QString::fromUtf8(written);
}
} // namespace

class TestSafeWrite : public QObject {
    Q_OBJECT

private slots:
    void writes_data();
    void writes();
};

void TestSafeWrite::writes_data() {
    // Steps before the call ("file PATH" holding "old", "link TARGET PATH",
    // "full": the folder on a full disk, "umask 000"; files go into "f/"),
    // the call ("new NAME" or "replace NAME" with modes 0600), and the name
    // that then holds the new bytes (empty: the call fails, nothing changes).
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("written");
    row("new: free name", "", "new shot.JPG", "shot.JPG");
    row("new: taken names numbered before the extension", "file f/shot.JPG;file f/shot (2).JPG",
        "new shot.JPG", "shot (3).JPG");
    row("new: no extension", "file f/noext", "new noext", "noext (2)");
    row("new: a leading dot starts no extension", "file f/.hidden", "new .hidden", ".hidden (2)");
    row("new: dangling link planted at the name", "link ../profile f/shot.JPG", "new shot.JPG",
        "shot (2).JPG");
    row("new: full disk", "full", "new shot.JPG", "");
    row("replace: link at the name is replaced, not followed", "file victim;link ../victim f/side.txt",
        "replace side.txt", "side.txt");
    row("replace: dangling link at the name", "link ../profile f/side.txt", "replace side.txt", "side.txt");
    row("replace: umask 000", "umask 000", "replace side.txt", "side.txt");
    row("append: new file", "", "append Log.txt", "Log.txt");
    row("append: link at the name is not followed", "file victim;link ../victim f/Log.txt", "append Log.txt",
        "");
}

void TestSafeWrite::writes() {
    QFETCH(QString, setup);
    QFETCH(QString, call);
    QFETCH(QString, written);
    const auto prepare = [&](const QString& root) {
        QVERIFY(QDir(root).mkpath("f"));
        for (const QString& step : setup.split(u';', Qt::SkipEmptyParts)) {
            const QString path = root + u'/' + step.section(u' ', step.startsWith("link") ? 2 : 1);
            if (step.startsWith("file"))
                QVERIFY(kzp::test::writeBytes(path, "old"));
            else if (step.startsWith("link"))
                QVERIFY(QFile::link(step.section(u' ', 1, 1), path));
        }
    };
    QTemporaryDir scratch;
    QString root = scratch.path();
    std::unique_ptr<kzp::test::FullDisk> full;
    if (setup == "full") {
        full = std::make_unique<kzp::test::FullDisk>(prepare);
        root = full->path();
    } else {
        prepare(root);
    }
    const QStringList before = listing(root);
    const QByteArray bytes(1000, 'n');
    const QString name = call.section(u' ', 1);
    const mode_t mask = ::umask(setup == "umask 000" ? 0 : 022);
    const QString path = root + "/f/" + name;
    const QString result = call.startsWith("new")           ? writeNewFile(root + "/f", name, bytes)
                           : call.startsWith("append")      ? (appendToFile(path, bytes) ? name : QString())
                           : replaceFile(path, bytes, 0600) ? name
                                                            : QString();
    ::umask(mask);
    if (written.isEmpty()) {
        QCOMPARE(result, QString());
        QCOMPARE(listing(root), before); // no part of a file left, nothing replaced
        return;
    }
    QCOMPARE(QFileInfo(result).fileName(), written);
    // Only that name changed, to a regular file with the new bytes: whatever a
    // link pointed at is untouched, or was never created.
    QStringList expected =
        before.filter(QRegularExpression("^(?!f/" + QRegularExpression::escape(written) + "[:>])"));
    expected << "f/" + written + u':' + QString::fromUtf8(bytes);
    expected.sort();
    QCOMPARE(listing(root), expected);
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(root + "/f/" + written).constData(), &info), 0);
    QVERIFY(S_ISREG(info.st_mode));
    if (call.startsWith("replace"))
        QCOMPARE(int(info.st_mode & 07777), 0600);
}

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
