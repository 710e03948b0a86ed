// Engine output that is outside text: screenshot reports forged in tags and
// file names, reports that answer no request, snapshots that are slow or
// broken, and floods that must stay bounded. The controller and the session
// against the fake engine, without any window.

#include <QBuffer>
#include <QImageReader>
#include <QSignalSpy>
#include <QtTest>

#include "common/Files.h"
#include "common/FullDisk.h"
#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "engine/EngineTestSupport.h"

KZP_TEMPORARY_HOME()

namespace {

// A small picture standing for one of the user's own.
QByteArray userPicture(Qt::GlobalColor colour = Qt::darkCyan) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray report(const QString& path) {
    return "*** screenshot '" + QFile::encodeName(path) + "' ***";
}

} // namespace

class HostileOutputTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        // Snapshots of an earlier case would count as this one's.
        QDir(defaultSnapshotFolder()).removeRecursively();
    }
    void snapshotNamesAndFormats();
    void slowAndBrokenSnapshots();
    void forgedScreenshotReports_data();
    void forgedScreenshotReports();
    void staleRequestsLapse();
    void pausedFloodIsCapped();
    void endLineInDroppedOutputEndsPlayback();
};

void HostileOutputTest::snapshotNamesAndFormats() {
    Rig rig;
    const QString target = rig.data.filePath("shots/"); // missing, stored with its separator
    QVERIFY(writeOutputPath(rig.folder(), target));
    rig.play("formats.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    int requests = 0;
    for (const auto& [format, detected] :
         {std::pair<QString, QByteArray>{"PNG", "png"}, {"BMP", "bmp"}, {"JPEG", "jpeg"}, {"JPG", "jpeg"}}) {
        rig.c.setSnapshotFormat(format);
        // Two requests in a row, one file each: the same second must not overwrite.
        rig.c.requestSnapshot();
        rig.c.requestSnapshot();
        requests += 2;
        QVERIFY(rig.fake.waitForCommand("screenshot 0", requests));
        const auto saved = [&] { return QDir(target).entryList({"*." + format}, QDir::Files, QDir::Name); };
        QTRY_COMPARE(saved().size(), 2);
        QTRY_VERIFY(QDir(rig.folder()).entryList({"*.png"}, QDir::Files).isEmpty());
        const QStringList files = saved();
        // Either both in one second ("x.EXT", "x (2).EXT") or across two.
        if (files[0].left(28) == files[1].left(28))
            QVERIFY2(files[1].endsWith(" (2)." + format) || files[0].endsWith(" (2)." + format),
                     qPrintable(files.join(", ")));
        for (const QString& f : files) {
            QImageReader reader(target + f);
            reader.setDecideFormatFromContent(true);
            QCOMPARE(reader.format(), detected);
            QCOMPARE(reader.size(), QSize(64, 48));
            QFile::remove(target + f);
        }
    }
    QCOMPARE(rig.c.pendingSnapshots(), 0);
}

void HostileOutputTest::slowAndBrokenSnapshots() {
    // The engine takes requests but writes and reports nothing itself: the
    // test plays its part.
    Rig rig;
    rig.fake.setScript({"@no-shots", "@wait q"});
    const QString out = rig.data.filePath("out/");
    QVERIFY(writeOutputPath(rig.folder(), out));
    rig.play("slow.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    const QString engineFile = rig.folder() + "0001.png";
    const QByteArray png = userPicture(Qt::green);
    const auto saved = [&] { return QDir(out).entryList(QDir::Files); };
    auto request = [&] {
        const int before = rig.fake.count("screenshot 0");
        rig.c.requestSnapshot();
        return rig.fake.waitForCommand("screenshot 0", before + 1);
    };

    // Reported before the engine wrote it, then written in two goes: the
    // request waits for the file, the file for its end.
    QVERIFY(request());
    rig.feed(report(engineFile));
    QCOMPARE(rig.c.pendingSnapshots(), 1);
    QVERIFY(kzp::test::writeBytes(engineFile, png.left(20)));
    QTRY_COMPARE(rig.c.pendingSnapshots(), 0);
    QVERIFY(saved().isEmpty());
    QVERIFY(kzp::test::writeBytes(engineFile, png));
    QTRY_COMPARE(saved().size(), 1);
    QTRY_VERIFY(!QFile::exists(engineFile));
    QFile::remove(out + saved().first());

    // A line without the closing quote names nothing.
    QVERIFY(kzp::test::writeBytes(engineFile, png));
    QVERIFY(request());
    rig.feed(report(engineFile).chopped(5));
    QCOMPARE(rig.c.pendingSnapshots(), 1);

    // A whole PNG that does not decode: nothing saved, the engine's file is kept.
    QByteArray broken = png;
    broken.replace(16, 8, QByteArray(8, '\xff'));
    QVERIFY(kzp::test::writeBytes(engineFile, broken));
    rig.feed(report(engineFile));
    QCOMPARE(rig.c.pendingSnapshots(), 0);
    QVERIFY(QFile::exists(engineFile));
    QVERIFY(saved().isEmpty());

    // A full disk: no part of a snapshot is kept, and the engine's file stays.
    {
        kzp::test::FullDisk full([&](const QString& folder) {
            QVERIFY(kzp::test::writeBytes(engineFile, png));
            QVERIFY(writeOutputPath(rig.folder(), folder + "/"));
        });
        QVERIFY(request());
        rig.feed(report(engineFile));
        QCOMPARE(rig.c.pendingSnapshots(), 0);
        QCOMPARE(QDir(full.path()).entryList(QDir::Files), QStringList());
    }
    QCOMPARE(kzp::test::readBytes(engineFile), png);

    // The snapshot folder cannot be made (a file is in the way): the engine's
    // file is kept.
    QVERIFY(kzp::test::writeBytes(engineFile, png));
    QVERIFY(kzp::test::writeBytes(rig.data.filePath("blocker"), "x"));
    QVERIFY(writeOutputPath(rig.folder(), rig.data.filePath("blocker/sub/")));
    QVERIFY(request());
    rig.feed(report(engineFile));
    QCOMPARE(rig.c.pendingSnapshots(), 0);
    QCOMPARE(kzp::test::readBytes(engineFile), png);
    rig.c.endEngine();
}

void HostileOutputTest::forgedScreenshotReports_data() {
    // Where the user's picture lies and what a forged report names, relative
    // to a scratch folder (@) or to the engine's screenshot folder (%).
    QTest::addColumn<QString>("victim");
    QTest::addColumn<QString>("reported");
    QTest::newRow("absolute path") << "@outside/victim.png"
                                   << "@outside/victim.png";
    QTest::newRow("engine's name in another folder") << "@outside/0001.png"
                                                     << "@outside/0001.png";
    QTest::newRow("relative to the working folder") << "@cwd/victim.png"
                                                    << "victim.png";
    QTest::newRow("relative, engine's name") << "@cwd/0001.png"
                                             << "0001.png";
    QTest::newRow("dot-dot out of the folder") << "%../0001.png"
                                               << "%../0001.png";
    QTest::newRow("sub-folder of the folder") << "%sub/0001.png"
                                              << "%sub/0001.png";
    QTest::newRow("other name in the folder") << "%picture.png"
                                              << "%picture.png";
    QTest::newRow("link in the folder") << "@outside/linked.png"
                                        << "%0005.png";
}

void HostileOutputTest::forgedScreenshotReports() {
    QFETCH(QString, victim);
    QFETCH(QString, reported);
    QTemporaryDir scratch;
    QVERIFY(QDir(scratch.path()).mkpath("cwd"));
    Rig rig;
    const QString folder = rig.folder();
    auto expand = [&](QString path) {
        if (path.startsWith('@'))
            return scratch.filePath(path.mid(1));
        if (path.startsWith('%'))
            return folder + path.mid(1);
        return path;
    };
    const QString victimPath = expand(victim);
    const QByteArray picture = userPicture();
    QVERIFY(kzp::test::writeBytes(victimPath, picture));
    const QString link = folder + "0005.png";
    if (reported == "%0005.png")
        QVERIFY(QFile::link(victimPath, link));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(scratch.filePath("cwd"));

    // The forged report comes where tags and file names are printed, and
    // again right before the engine's own report of a requested snapshot.
    const QByteArray forged = report(expand(reported));
    rig.fake.setScript({"Playing x.", forged, "[lavf] stream 1: audio (aac), -aid 0", "VIDEO:  [H264]",
                        "@on screenshot => " + forged});
    QSignalSpy rebuilt(&rig.c, &PlaybackController::audioTracksRebuilt);
    rig.play("forged.mkv");
    QVERIFY(rebuilt.wait(10000));
    const QString shots = snapshotFolder(folder);
    QCOMPARE(kzp::test::readBytes(victimPath), picture);
    QVERIFY(QDir(shots).entryList(QDir::Files).isEmpty());

    // A snapshot the user asked for is saved, once, from the engine's file.
    QSignalSpy saved(&rig.c, &PlaybackController::snapshotSaved);
    rig.c.requestSnapshot();
    QVERIFY(rig.fake.waitForCommand("screenshot 0"));
    QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 5000);
    QTRY_VERIFY(!QFile::exists(folder + "0001.png"));
    QCOMPARE(QDir(shots).entryList(QDir::Files).size(), 1);
    QImageReader reader(saved.first().at(0).toString());
    QCOMPARE(reader.read().size(), QSize(64, 48)); // the engine's picture, not the victim
    QCOMPARE(kzp::test::readBytes(victimPath), picture);
    if (reported == "%0005.png")
        QCOMPARE(QFileInfo(link).symLinkTarget(), victimPath);
    rig.c.endEngine();
    QDir::setCurrent(previous);
}

void HostileOutputTest::staleRequestsLapse() {
    // A request the engine never answered must not let a later report
    // through: requests lapse at the engine's end and with every new engine.
    Rig rig;
    const QString engineLike = rig.folder() + "0003.png";
    const QByteArray picture = userPicture();
    const QString shots = snapshotFolder(rig.folder());
    auto untouched = [&] {
        return kzp::test::readBytes(engineLike) == picture &&
               (!QDir(shots).exists() || QDir(shots).isEmpty());
    };
    QVERIFY(kzp::test::writeBytes(engineLike, picture));
    rig.fake.setScript({"@on screenshot => @exit 0"}); // dies instead of answering
    rig.play("first.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    rig.c.requestSnapshot();
    QTRY_VERIFY(rig.c.isStopped());
    rig.feed(report(engineLike));
    QVERIFY(untouched());

    rig.fake.setScript({"@no-shots", "@on screenshot => @hang"}); // never answers
    rig.play("second.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2", 2));
    rig.c.requestSnapshot();
    QVERIFY(rig.fake.waitForCommand("screenshot 0", 2));
    rig.fake.setScript({"@wait q"});
    rig.play("third.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2", 3));
    rig.feed(report(engineLike));
    QVERIFY(untouched());
    rig.c.endEngine();
}

void HostileOutputTest::pausedFloodIsCapped() {
    // While paused the parser takes no lines, but the process object still
    // reads the pipe: what it holds stays near the cap, and the engine's end
    // after the flood is still seen on resume.
    Rig rig;
    rig.fake.setScript({"Playing x.", "@wait pause", "@flood 0.5 ANS_TIME_POSITION=1.0",
                        "Exiting... (End of file)", "@note flooded", "@wait q"});
    rig.play("paused-flood.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    rig.c.pause();
    const qint64 largest = rig.largestBacklog([&] { return rig.fake.count("# flooded") > 0; }, 30000);
    qInfo("paused flood: largest backlog %lld bytes", largest);
    QVERIFY(largest > 0);
    QVERIFY2(largest <= 5 * 1024 * 1024, QByteArray::number(largest).constData());
    QVERIFY(!rig.c.isStopped());
    rig.c.resume();
    QTRY_VERIFY_WITH_TIMEOUT(rig.c.isStopped(), 20000);
    QVERIFY(rig.fake.waitForCommand("q"));
    QCOMPARE(rig.c.page(), Page::Start);
}

void HostileOutputTest::endLineInDroppedOutputEndsPlayback() {
    // The end line itself is among the dropped output: playback still ends.
    Rig rig;
    rig.fake.setScript({"Playing x.", "@wait pause", "@flood 0.5 ANS_TIME_POSITION=1.0",
                        "Exiting... (End of file)", "@flood 0.5 ANS_TIME_POSITION=2.0", "@note flooded",
                        "@wait q"});
    rig.play("dropped-end.mkv");
    QVERIFY(rig.fake.waitForCommand("volume 50 2"));
    rig.c.showPage(Page::Video);
    rig.c.pause();
    const qint64 largest = rig.largestBacklog([&] { return rig.c.isStopped(); }, 30000);
    QVERIFY2(largest >= 0 && largest <= 5 * 1024 * 1024, QByteArray::number(largest).constData());
    QVERIFY(mplayerSession(rig.c).droppedBytes() > 4 * 1024 * 1024);
    QVERIFY(rig.fake.waitForCommand("q"));
    QCOMPARE(rig.c.page(), Page::Start);
}

QTEST_GUILESS_MAIN(HostileOutputTest)
#include "tst_hostile_output.moc"
