// The one writer of files into the user's folders: new files (snapshots)
// and atomic replacements (side files), against planted links, full disks
// and a wide-open umask.

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

#include "common/Files.h"
#include "common/FullDisk.h"
#include "util/SafeWrite.h"

namespace {

// Sets the umask for one scope.
struct Umask {
    explicit Umask(int value) : saved(value < 0 ? -1 : int(::umask(mode_t(value)))) {}
    ~Umask() {
        if (saved >= 0)
            ::umask(mode_t(saved));
    }
    int saved;
};

// Steps relative to `root`: "file PATH" (holding "old PATH"), "link TARGET PATH".
bool build(const QString& root, const QString& setup) {
    for (const QString& step : setup.split(u';', Qt::SkipEmptyParts)) {
        const bool file = step.startsWith(QLatin1String("file "));
        const QString name = step.section(u' ', file ? 1 : 2);
        const bool made = file ? kzp::test::writeBytes(root + u'/' + name, "old " + name.toUtf8())
                               : QFile::link(step.section(u' ', 1, 1), root + u'/' + name);
        if (!made)
            return false;
    }
    return true;
}

// Every name below `root` with what it is and holds ("l>target", "f:bytes").
QStringList listing(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = info.filePath().mid(root.size() + 1);
        if (name == QLatin1String(".filler"))
            continue;
        out << name + (info.isSymLink() ? u'>' + info.symLinkTarget().mid(root.size() + 1)
                       : info.isFile()  ? u':' + QString::fromUtf8(kzp::test::readBytes(info.filePath()))
                                        : QString());
    }
    out.sort();
    return out;
}

} // namespace

class TestSafeWrite : public QObject {
    Q_OBJECT

private slots:
    void writes_data();
    void writes();
};

void TestSafeWrite::writes_data() {
    // What lies in the scratch folder before (the files go into "f/"), the
    // call ("new NAME" or "replace NAME"), the name that then holds the new
    // bytes (empty: the call fails and nothing changes), and its modes.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("modes"); // -1: not checked

    QTest::newRow("new: free name") << ""
                                    << "new shot.JPG"
                                    << "shot.JPG" << false << -1 << -1;
    QTest::newRow("new: taken names are numbered before the extension")
        << "file f/shot.JPG;file f/shot (2).JPG"
        << "new shot.JPG"
        << "shot (3).JPG" << false << -1 << -1;
    QTest::newRow("new: no extension") << "file f/noext"
                                       << "new noext"
                                       << "noext (2)" << false << -1 << -1;
    QTest::newRow("new: a leading dot starts no extension") << "file f/.hidden"
                                                            << "new .hidden"
                                                            << ".hidden (2)" << false << -1 << -1;
    QTest::newRow("new: dangling link planted at the name") << "link ../profile f/shot.JPG"
                                                            << "new shot.JPG"
                                                            << "shot (2).JPG" << false << -1 << -1;
    QTest::newRow("new: full disk") << ""
                                    << "new shot.JPG"
                                    << "" << true << -1 << -1;

    QTest::newRow("replace: link at the name is replaced, not followed")
        << "file victim;link ../victim f/side.txt"
        << "replace side.txt"
        << "side.txt" << false << -1 << 0600;
    QTest::newRow("replace: dangling link at the name") << "link ../profile f/side.txt"
                                                        << "replace side.txt"
                                                        << "side.txt" << false << -1 << 0600;
    QTest::newRow("replace: umask 000") << ""
                                        << "replace side.txt"
                                        << "side.txt" << false << 0 << 0600;
}

void TestSafeWrite::writes() {
    QFETCH(QString, setup);
    QFETCH(QString, call);
    QFETCH(QString, written);
    QFETCH(bool, fullDisk);
    QFETCH(int, umask);
    QFETCH(int, modes);
    const auto prepare = [&](const QString& root) {
        QVERIFY(QDir(root).mkpath("f"));
        QVERIFY(build(root, setup));
    };
    QTemporaryDir scratch;
    std::unique_ptr<kzp::test::FullDisk> full;
    QString root = scratch.path();
    if (fullDisk) {
        full = std::make_unique<kzp::test::FullDisk>(prepare);
        root = full->path();
    } else {
        prepare(root);
    }
    const QStringList before = listing(root);
    const QByteArray bytes(1000, 'n');
    const QString name = call.section(u' ', 1);
    QString result;
    {
        const Umask mask(umask);
        if (call.startsWith(QLatin1String("new ")))
            result = writeNewFile(root + "/f", name, bytes);
        else
            result =
                replaceFile(root + "/f/" + name, bytes, modes < 0 ? kKeepModes : modes) ? name : QString();
    }
    if (written.isEmpty()) {
        QCOMPARE(result, QString());
        QCOMPARE(listing(root), before); // no part of a file left, nothing replaced
        return;
    }
    QCOMPARE(QFileInfo(result).fileName(), written);
    // Only that name changed, and it is a regular file with the new bytes:
    // whatever a link pointed at is untouched or was never created.
    QStringList expected =
        before.filter(QRegularExpression("^(?!f/" + QRegularExpression::escape(written) + "[:>])"));
    expected << "f/" + written + u':' + QString::fromUtf8(bytes);
    expected.sort();
    QCOMPARE(listing(root), expected);
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(root + "/f/" + written).constData(), &info), 0);
    QVERIFY(S_ISREG(info.st_mode));
    if (modes >= 0)
        QCOMPARE(int(info.st_mode & 07777), modes);
}

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
