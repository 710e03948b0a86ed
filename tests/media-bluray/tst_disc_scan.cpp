// Reading a disc folder: title numbering, duplicates, order, metadata,
// hostile disc files, the thumbnail, digests, and the two dump tools.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "BlurayTestSupport.h"
#include "media/DiscFile.h"
#include "media/DiscPicture.h"
#include "media/DiscScan.h"
#include "media/DiscScanJob.h"

using namespace bdtest;

namespace {

genbd::Playlist lasting(qint64 seconds, const QByteArray& clip = "00001") {
    genbd::Playlist p;
    p.items = {playItem(clip, 0, quint32(seconds))};
    return p;
}

QStringList names(const DiscInfo& disc) {
    QStringList out;
    for (const DiscTitle& t : disc.titles)
        out << QFileInfo(t.playlist).fileName();
    return out;
}

// Everything a scan gives, as one text.
QString summary(const DiscInfo& disc) {
    QString out = disc.folder + '|' + disc.name + '|' + disc.thumbnailPath;
    for (const DiscTitle& t : disc.titles) {
        out += QStringLiteral("|%1 %2 %3 %4 %5 %6 %7")
                   .arg(t.number)
                   .arg(t.playlist, t.duration)
                   .arg(t.clips.size())
                   .arg(t.audio.size())
                   .arg(t.subtitles.size())
                   .arg(t.chapters.size());
    }
    return out;
}

// Lines logged under the disc scan's category.
QStringList scanLines;
void keepScanLines(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (context.category && QByteArray(context.category) == "kzp.gate.discscan")
        scanLines << text;
}

} // namespace

class DiscScanTest : public QObject {
    Q_OBJECT

private slots:
    void numberingAndDuplicates();
    void longestFirst_data();
    void longestFirst();
    void whatCountsAsAPlaylist();
    void twoThousandPlaylists();
    void playlistLimit_data();
    void playlistLimit();
    void scanBesideTheCaller_data();
    void scanBesideTheCaller();
    void metadata_data();
    void metadata();
    void metadataFiles();
    void hostileMetadata_data();
    void hostileMetadata();
    void thumbnailNames_data();
    void thumbnailNames();
    void thumbnailPictures_data();
    void thumbnailPictures();
    void pictureChunksAreNotInflated();
    void linksLeadingOutOfTheDisc();
    void digests();
    void mplsDump();
    void discDump();
    void discDumpWithPipes();

private:
    QString makeDisc(const QList<QPair<QString, QByteArray>>& files);
    QTemporaryDir dir;
    int discs = 0;
};

QString DiscScanTest::makeDisc(const QList<QPair<QString, QByteArray>>& files) {
    const QString folder = dir.filePath(QStringLiteral("disc%1").arg(++discs));
    QDir().mkpath(folder + "/BDMV/PLAYLIST");
    QDir().mkpath(folder + "/BDMV/STREAM");
    for (const auto& [name, bytes] : files)
        writeBytes(folder + "/BDMV/PLAYLIST/" + name, bytes);
    return folder;
}

void DiscScanTest::numberingAndDuplicates() {
    genbd::Playlist loop;
    loop.items = {playItem("00001", 0, 9), playItem("00002", 0, 5), playItem("00002", 5, 9)};
    const QByteArray first = genbd::mplsBytes(lasting(100));
    const QString folder = makeDisc({{"00000.mpls", first},
                                     {"00001.mpls", genbd::mplsBytes(genbd::Playlist{})},
                                     {"00002.mpls", first},
                                     {"00003.mpls", genbd::mplsBytes(loop)},
                                     {"00004.mpls", "not a playlist at all"},
                                     {"00005.mpls", genbd::mplsBytes(lasting(50, "00007"))}});
    const DiscInfo disc = scanDisc(folder);
    // 00001 (no clips), 00003 (loop) and 00004 (unreadable) use no number; the
    // duplicate 00002 uses one up.
    QCOMPARE(names(disc), (QStringList{"00000.mpls", "00005.mpls"}));
    QCOMPARE(disc.titles[0].number, 1);
    QCOMPARE(disc.titles[1].number, 3);
    QCOMPARE(disc.titles[0].duration, QString("00:01:40"));
    QCOMPARE(disc.sourceKey(), folder + "/BDMV/PLAYLIST/00000.mpls");
}

void DiscScanTest::longestFirst_data() {
    QTest::addColumn<QList<qint64>>("lengths");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("1:50:00, 0:02:10, 1:50:00")
        << QList<qint64>{6600, 130, 6600} << QStringList{"00000.mpls", "00002.mpls", "00001.mpls"};
    QTest::newRow("100 hours sort above 99")
        << QList<qint64>{99 * 3600 + 3599, 100 * 3600} << QStringList{"00001.mpls", "00000.mpls"};
}

void DiscScanTest::longestFirst() {
    QFETCH(QList<qint64>, lengths);
    QFETCH(QStringList, order);
    QList<QPair<QString, QByteArray>> files;
    for (qsizetype i = 0; i < lengths.size(); ++i) {
        // Different clips keep equal lengths from being duplicates. Lengths
        // over 26 hours need several items (45 kHz times are 32-bit).
        genbd::Playlist p;
        int part = 0;
        for (qint64 left = lengths[i]; left > 0; left -= 20 * 3600)
            p.items.append(playItem(QByteArray::number(100 * i + part++).rightJustified(5, '0'), 0,
                                    quint32(qMin<qint64>(left, 20 * 3600))));
        files.append({QStringLiteral("%1.mpls").arg(i, 5, 10, QLatin1Char('0')), genbd::mplsBytes(p)});
    }
    const DiscInfo disc = scanDisc(makeDisc(files));
    QCOMPARE(names(disc), order);
    for (qsizetype i = 1; i < disc.titles.size(); ++i)
        QVERIFY(disc.titles[i - 1].seconds >= disc.titles[i].seconds);
}

void DiscScanTest::whatCountsAsAPlaylist() {
    const QString folder = makeDisc({{"readme.txt", genbd::mplsBytes(lasting(10))}});
    // A folder named like a playlist is not read; any file name is.
    QVERIFY(QDir().mkpath(folder + "/BDMV/PLAYLIST/00000.mpls"));
    writeBytes(folder + "/BDMV/PLAYLIST/00000.mpls/inner.mpls", genbd::mplsBytes(lasting(20)));
    writeBytes(folder + "/BDMV/PLAYLIST/.hidden.mpls", genbd::mplsBytes(lasting(30)));
    const DiscInfo disc = scanDisc(folder);
    QCOMPARE(names(disc), QStringList{"readme.txt"});

    const DiscInfo nothing = scanDisc(dir.filePath("no-such-disc"));
    QVERIFY(nothing.titles.isEmpty());
    QVERIFY(nothing.sourceKey().isEmpty());
    QVERIFY(nothing.name.isEmpty());
}

void DiscScanTest::twoThousandPlaylists() {
    const QString folder = dir.filePath("many");
    QVERIFY(genbd::writeDisc(folder, genbd::manyPlaylistsDisc(2000)));
    const DiscInfo disc = scanDisc(folder);
    QCOMPARE(disc.titles.size(), 25); // the distinct ones
    // Each distinct playlist keeps the number of its first copy: 00000..00024.
    QList<qint32> numbers;
    for (const DiscTitle& t : disc.titles)
        numbers << t.number;
    std::sort(numbers.begin(), numbers.end());
    for (qint32 i = 0; i < 25; ++i)
        QCOMPARE(numbers[i], i + 1);
    QCOMPARE(disc.name, QByteArray("Many Playlists"));
}

// A folder holding more playlist files than any disc (copies of one) is read
// only as far as the limit, in name order, with one line under a category
// that is off by default.
void DiscScanTest::playlistLimit_data() {
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("folders");  // sorted before the longest playlist
    QTest::addColumn<bool>("refused"); // the longest playlist, named last
    const int limit = int(kDiscPlaylistLimit);
    QTest::newRow("one past the limit") << limit << 0 << true;
    QTest::newRow("at the limit") << limit - 1 << 0 << false;
    QTest::newRow("folders do not count") << limit - 1 << 3 << false;
}

void DiscScanTest::playlistLimit() {
    QFETCH(int, copies);
    QFETCH(int, folders);
    QFETCH(bool, refused);
    // A line break in the folder's name must not split the diagnostic.
    const QString folder = dir.filePath(QStringLiteral("limit %1\nx").arg(++discs));
    const QString list = folder + "/BDMV/PLAYLIST";
    const QString copy = dir.filePath(QStringLiteral("copy%1.mpls").arg(discs));
    QVERIFY(writeBytes(copy, genbd::mplsBytes(lasting(60))));
    QVERIFY(QDir().mkpath(list) && linkCopies(copy, list, copies));
    for (int n = 0; n < folders; ++n)
        QVERIFY(QDir().mkpath(list + QStringLiteral("/f%1").arg(n)));
    QVERIFY(writeBytes(list + "/zz.mpls", genbd::mplsBytes(lasting(600, "00002"))));

    scanLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepScanLines);
    const bool rulesFromOutside = qEnvironmentVariableIsSet("QT_LOGGING_RULES");
    const DiscInfo quiet = scanDisc(folder);
    const QStringList byDefault = scanLines;
    QLoggingCategory::setFilterRules(QStringLiteral("kzp.gate.discscan.info=true"));
    const DiscInfo disc = scanDisc(folder);
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);

    QCOMPARE(summary(quiet), summary(disc));
    QCOMPARE(names(disc), refused ? QStringList{"00000.mpls"} : (QStringList{"zz.mpls", "00000.mpls"}));
    QCOMPARE(disc.titles.first().number, refused ? 1 : copies + 1); // the copies use up numbers
    if (!rulesFromOutside)
        QCOMPARE(byDefault, QStringList());
    QCOMPARE(scanLines.size() - byDefault.size(), refused ? 1 : 0);
    if (refused) {
        QVERIFY2(scanLines.last().startsWith("refused 1 playlist files past the first 10000 in"),
                 qPrintable(scanLines.last()));
        QVERIFY(!scanLines.last().contains('\n'));
    }
}

// The scan beside the caller gives what scanDisc() and readDiscPicture() give
// on the caller's thread; a stopped one gives nothing, and the next runs anew.
void DiscScanTest::scanBesideTheCaller_data() {
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("to the end") << false;
    QTest::newRow("stopped, then again") << true;
}

void DiscScanTest::scanBesideTheCaller() {
    QFETCH(bool, stopFirst);
    const QString folder = dir.filePath(QStringLiteral("beside%1").arg(++discs));
    genbd::DiscLayout layout = genbd::sampleDisc();
    layout.clips.clear();
    QVERIFY(genbd::writeDisc(folder, layout));
    const DiscInfo expected = scanDisc(folder);
    const QImage picture = readDiscPicture(expected.thumbnailPath, DiscFolder(folder));
    QVERIFY(!picture.isNull());

    DiscScanJob job;
    QSignalSpy finished(&job, &DiscScanJob::finished);
    QSignalSpy progress(&job, &DiscScanJob::progress);
    job.start(folder);
    QVERIFY(job.isRunning());
    if (stopFirst) {
        job.cancel();
        QCOMPARE(finished.size(), 1);
        QVERIFY(!job.isRunning() && !job.isComplete());
        QVERIFY(job.disc().titles.isEmpty() && job.picture().isNull());
        job.start(folder);
    }
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.size(), stopFirst ? 2 : 1);
    QVERIFY(job.isComplete());
    QCOMPARE(summary(job.disc()), summary(expected));
    QCOMPARE(job.picture(), picture);
    const int files = int(QDir(folder + "/BDMV/PLAYLIST").entryList(QDir::Files).size());
    QCOMPARE(progress.last(), (QVariantList{files, files}));
}

void DiscScanTest::metadata_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("thumbnail");

    QTest::newRow("generated") << genbd::metadataXml("My Disc", "x.jpg") << QByteArray("My Disc")
                               << QByteArray("x.jpg");
    QTest::newRow("href followed by size") << QByteArray("<di:thumbnail href=\"t.jpg\" size=\"416x240\" />\n")
                                           << QByteArray("untouched") << QByteArray("t.jpg");
    QTest::newRow("single quotes give nothing") << QByteArray("<di:thumbnail href='t.jpg' />\n")
                                                << QByteArray("untouched") << QByteArray("untouched");
    QTest::newRow("no closing tags: rest of line")
        << QByteArray("<di:name>Open\n<di:thumbnail href=\"a.jpg\n") << QByteArray("Open\n")
        << QByteArray("a.jpg\n");
    QTest::newRow("CRLF reads as LF")
        << QByteArray("<di:name>Dos\r\n") << QByteArray("Dos\n") << QByteArray("untouched");
    QTest::newRow("later matches win") << QByteArray("<di:name>A</di:name>\n<di:name>B</di:name>\n")
                                       << QByteArray("B") << QByteArray("untouched");
    QTest::newRow("name wins over thumbnail on one line")
        << QByteArray("<di:name>N</di:name><di:thumbnail href=\"t.jpg\" />\n") << QByteArray("N")
        << QByteArray("untouched");
    QTest::newRow("non-UTF-8 bytes kept") << QByteArray("<di:name>\xE9t\xE9\xFF</di:name>\n")
                                          << QByteArray("\xE9t\xE9\xFF") << QByteArray("untouched");
    QTest::newRow("255 bytes fit") << "<di:name>" + QByteArray(255, 'n') + "</di:name>\n"
                                   << QByteArray(255, 'n') << QByteArray("untouched");
    QTest::newRow("256 bytes do not") << "<di:name>" + QByteArray(256, 'n') + "</di:name>\n"
                                      << QByteArray("untouched") << QByteArray("untouched");
    QTest::newRow("1 MB line, then a short one")
        << "<di:name>" + QByteArray(1000000, 'x') + "</di:name>\n<di:thumbnail href=\"s.jpg\" />\n"
        << QByteArray("untouched") << QByteArray("s.jpg");
    QTest::newRow("1 MB line with a name at its end") << QByteArray(1000000, ' ') + "<di:name>Far</di:name>\n"
                                                      << QByteArray("Far") << QByteArray("untouched");
}

void DiscScanTest::metadata() {
    QFETCH(QByteArray, xml);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, thumbnail);
    const QString file = dir.filePath("meta.xml");
    QVERIFY(writeBytes(file, xml));
    QByteArray gotName = "untouched", gotThumbnail = "untouched";
    readDiscMetadata(file, gotName, gotThumbnail);
    QCOMPARE(gotName, name);
    QCOMPARE(gotThumbnail, thumbnail);
    // The in-memory reader (fuzzed) agrees with the file reader.
    QByteArray memName = "untouched", memThumbnail = "untouched";
    readDiscMetadataText(xml, memName, memThumbnail);
    QCOMPARE(memName, name);
    QCOMPARE(memThumbnail, thumbnail);
}

void DiscScanTest::metadataFiles() {
    QByteArray name = "untouched", thumbnail = "untouched";
    readDiscMetadata(dir.filePath("missing.xml"), name, thumbnail);
    QCOMPARE(name, QByteArray("untouched"));
    QCOMPARE(thumbnail, QByteArray("untouched"));

    const QString folder = makeDisc({{"00000.mpls", genbd::mplsBytes(lasting(10))}});
    writeBytes(folder + "/BDMV/META/DL/bdmt_eng.xml", genbd::metadataXml("Disc Name", "pic.jpg"));
    const DiscInfo disc = scanDisc(folder);
    QCOMPARE(disc.name, QByteArray("Disc Name"));
    QCOMPARE(disc.thumbnail, QByteArray("pic.jpg"));
    QCOMPARE(disc.thumbnailPath, folder + "/BDMV/META/DL/pic.jpg");
}

// The process's peak resident memory in KiB, -1 when unknown.
qint64 peakKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// What a scan gives, read in a child so that a blocking or endless read fails
// the test instead of hanging it: name, thumbnail path and playlist count.
std::optional<QByteArray> scanInChild(const QString& folder) {
    return inChild([folder] {
        const DiscInfo disc = scanDisc(folder);
        return disc.name + '|' + disc.thumbnailPath.toUtf8() + '|' + QByteArray::number(disc.titles.size());
    });
}

void DiscScanTest::hostileMetadata_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("pipe") << "pipe" << QByteArray();
    QTest::newRow("link to /dev/zero") << "zero" << QByteArray();
    QTest::newRow("folder") << "folder" << QByteArray();
    QTest::newRow("over 1 MiB") << "big" << QByteArray();
    QTest::newRow("exactly 1 MiB") << "fits" << QByteArray("Named");
}

void DiscScanTest::hostileMetadata() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, name);
    const QString folder = makeDisc({{"00000.mpls", genbd::mplsBytes(lasting(10))}});
    const QString xml = folder + "/BDMV/META/DL/bdmt_eng.xml";
    QVERIFY(QDir().mkpath(QFileInfo(xml).path()));
    const QByteArray named = genbd::metadataXml("Named", "pic.jpg");
    if (kind == "pipe")
        QVERIFY(makeFifo(xml));
    else if (kind == "zero")
        QVERIFY(QFile::link("/dev/zero", xml));
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(xml));
    else
        QVERIFY(writeBytes(xml, named + QByteArray((1 << 20) - named.size() + (kind == "big"), ' ')));
    const std::optional<QByteArray> got = scanInChild(folder);
    QVERIFY2(got, "the scan must return promptly");
    // The playlists are read all the same.
    const QByteArray thumbnail =
        name.isEmpty() ? QByteArray() : QFile::encodeName(QFileInfo(xml).path()) + "/pic.jpg";
    QCOMPARE(*got, name + '|' + thumbnail + "|1");
}

void DiscScanTest::thumbnailNames_data() {
    QTest::addColumn<QByteArray>("href");
    QTest::addColumn<bool>("kept");
    QTest::newRow("plain") << QByteArray("x.jpg") << true;
    QTest::newRow("dots inside a name") << QByteArray("x..jpg") << true;
    QTest::newRow("parent") << QByteArray("../x.jpg") << false;
    QTest::newRow("two up") << QByteArray("../../../../etc/hostname") << false;
    QTest::newRow("absolute") << QByteArray("/etc/hostname") << false;
    QTest::newRow("subfolder") << QByteArray("a/b.jpg") << false;
    QTest::newRow("backslash") << QByteArray("a\\b.jpg") << false;
    QTest::newRow("drive") << QByteArray("c:x.jpg") << false;
    QTest::newRow("..") << QByteArray("..") << false;
    QTest::newRow(".") << QByteArray(".") << false;
    QTest::newRow("empty") << QByteArray("") << false;
}

void DiscScanTest::thumbnailNames() {
    QFETCH(QByteArray, href);
    QFETCH(bool, kept);
    const QString folder = makeDisc({{"00000.mpls", genbd::mplsBytes(lasting(10))}});
    const QString meta = folder + "/BDMV/META/DL";
    QVERIFY(writeBytes(meta + "/bdmt_eng.xml", "<di:thumbnail href=\"" + href + "\" />\n"));
    const DiscInfo disc = scanDisc(folder);
    QCOMPARE(disc.thumbnail, href);
    QCOMPARE(disc.thumbnailPath, kept ? meta + '/' + QFile::decodeName(href) : QString());
}

void DiscScanTest::thumbnailPictures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::newRow("JPEG") << "file" << pictureBytes(QSize(416, 240), "JPEG") << QSize(416, 240);
    QTest::newRow("PNG 4096 wide") << "file" << pictureBytes(QSize(4096, 4), "PNG") << QSize(4096, 4);
    QTest::newRow("PNG 4097 wide") << "file" << pictureBytes(QSize(4097, 4), "PNG") << QSize();
    QTest::newRow("JPEG 4097 high") << "file" << pictureBytes(QSize(4, 4097), "JPEG") << QSize();
    QTest::newRow("PNG claiming 60000x60000") << "file" << claimingSize("PNG", 60000, 60000) << QSize();
    QTest::newRow("JPEG claiming 60000x60000") << "file" << claimingSize("JPEG", 60000, 60000) << QSize();
    const QByteArray png = pictureBytes(QSize(8, 6), "PNG");
    QTest::newRow("PNG with text and gamma chunks")
        << "file"
        << png.left(33) + pngChunk("tEXt", QByteArray("Title\0x", 7)) +
               pngChunk("gAMA", QByteArray("\0\0\xB1\x8F", 4)) + png.mid(33)
        << QSize(8, 6);
    QTest::newRow("PNG without its end") << "file" << png.left(png.size() - 12) << QSize();
    QTest::newRow("BMP is not decoded") << "file" << pictureBytes(QSize(8, 8), "BMP") << QSize();
    QTest::newRow("over 16 MiB") << "file"
                                 << pictureBytes(QSize(8, 8), "PNG") + QByteArray(kDiscThumbnailLimit, '\0')
                                 << QSize();
    QTest::newRow("pipe") << "pipe" << QByteArray() << QSize();
    QTest::newRow("link to /dev/zero") << "zero" << QByteArray() << QSize();
    QTest::newRow("missing") << "missing" << QByteArray() << QSize();
}

void DiscScanTest::thumbnailPictures() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    const QString file =
        dir.filePath(QStringLiteral("picture-%1").arg(QString(QTest::currentDataTag()).replace('/', '_')));
    if (kind == "pipe")
        QVERIFY(makeFifo(file));
    else if (kind == "zero")
        QVERIFY(QFile::link("/dev/zero", file));
    else if (kind == "file")
        QVERIFY(writeBytes(file, bytes));
    const std::optional<QByteArray> got = inChild([file] {
        const QImage image = readDiscPicture(file);
        return QByteArray::number(image.width()) + 'x' + QByteArray::number(image.height());
    });
    QVERIFY2(got, "reading the picture must return promptly");
    QCOMPARE(*got, QByteArray::number(size.isValid() ? size.width() : 0) + 'x' +
                       QByteArray::number(size.isValid() ? size.height() : 0));
}

void DiscScanTest::pictureChunksAreNotInflated() {
    // A valid PNG followed by a text chunk that declares 1.7 GB and ends with
    // the file (found by fuzzing): the decoder reserved and cleared what the
    // chunk declared. Only the picture's own, whole chunks may reach it.
    const QByteArray png = pictureBytes(QSize(8, 8), "PNG");
    QByteArray text = pngChunk("tEXt", QByteArray("date:create\0", 12) + QByteArray(64, '2')).left(80);
    qToBigEndian(quint32(1761607717), text.data());
    const QString file = dir.filePath("long-text.png");
    QVERIFY(writeBytes(file, png.left(png.size() - 12) + text));
    const std::optional<QByteArray> got = inChild(
        [file] {
            // The child starts with the parent's peak; measure from here.
            QFile reset("/proc/self/clear_refs");
            if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1)
                return QByteArray("cannot measure");
            reset.close();
            const qint64 before = peakKiB();
            const QImage image = readDiscPicture(file);
            return QByteArray::number(image.width()) + ' ' + QByteArray::number((peakKiB() - before) / 1024);
        },
        30000, false);
    QVERIFY(got);
    const QList<QByteArray> parts = got->split(' ');
    QCOMPARE(parts.value(0), QByteArray("0")); // the file runs short
    QVERIFY2(parts.value(1).toLongLong() < 64, "MiB more at the peak: " + parts.value(1));
}

// Links on a disc may lead to the user's own files: those are not read, nor
// are files that are links themselves. The disc may be reached through a link.
void DiscScanTest::linksLeadingOutOfTheDisc() {
    const QByteArray playlist = genbd::mplsBytes(lasting(60));
    const QByteArray picture = pictureBytes(QSize(16, 16), "JPEG");
    const QString user = dir.filePath("user"); // the user's own files
    QVERIFY(writeBytes(user + "/secret.xml", genbd::metadataXml("Secret", "pic.jpg")));
    QVERIFY(writeBytes(user + "/pictures/bdmt_eng.xml", genbd::metadataXml("Secret", "pic.jpg")));
    QVERIFY(writeBytes(user + "/pictures/pic.jpg", picture));
    QVERIFY(writeBytes(user + "/playlists/00009.mpls", playlist));

    // Linked files: the metadata file and a playlist.
    QString folder = makeDisc({{"00000.mpls", genbd::mplsBytes(lasting(10))}});
    QVERIFY(QDir().mkpath(folder + "/BDMV/META/DL"));
    QVERIFY(QFile::link(user + "/secret.xml", folder + "/BDMV/META/DL/bdmt_eng.xml"));
    QVERIFY(QFile::link(user + "/playlists/00009.mpls", folder + "/BDMV/PLAYLIST/00009.mpls"));
    DiscInfo disc = scanDisc(folder);
    QCOMPARE(disc.name, QByteArray());
    QCOMPARE(names(disc), QStringList{"00000.mpls"});

    // Linked folders: the metadata folder with its picture, the playlists.
    folder = makeDisc({});
    QVERIFY(QDir().mkpath(folder + "/BDMV/META"));
    QVERIFY(QFile::link(user + "/pictures", folder + "/BDMV/META/DL"));
    QVERIFY(QDir(folder + "/BDMV/PLAYLIST").removeRecursively());
    QVERIFY(QFile::link(user + "/playlists", folder + "/BDMV/PLAYLIST"));
    disc = scanDisc(folder);
    QCOMPARE(disc.name, QByteArray());
    QVERIFY(disc.titles.isEmpty());
    const QString linkedPicture = folder + "/BDMV/META/DL/pic.jpg";
    QVERIFY(!readDiscPicture(linkedPicture).isNull()); // what an unbounded read would show
    QVERIFY(readDiscPicture(linkedPicture, DiscFolder(folder)).isNull());

    // The disc itself reached through a link: read as ever.
    const QString real = makeDisc({{"00000.mpls", playlist}});
    QVERIFY(writeBytes(real + "/BDMV/META/DL/bdmt_eng.xml", genbd::metadataXml("Mine", "pic.jpg")));
    QVERIFY(writeBytes(real + "/BDMV/META/DL/pic.jpg", picture));
    QVERIFY(QFile::link(real, dir.filePath("through-a-link")));
    disc = scanDisc(dir.filePath("through-a-link"));
    QCOMPARE(disc.name, QByteArray("Mine"));
    QCOMPARE(names(disc), QStringList{"00000.mpls"});
    QCOMPARE(readDiscPicture(disc.thumbnailPath, DiscFolder(disc.folder)).size(), QSize(16, 16));
}

void DiscScanTest::digests() {
    const QString abc = dir.filePath("abc.bin");
    QVERIFY(writeBytes(abc, "abc"));
    QByteArray hex;
    QCOMPARE(fileDigestHex(abc, hex), 0);
    QCOMPARE(hex, QByteArray("DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
                             "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F"));

    const QByteArray big(3 * 65536 + 17, 'q'); // read in several pieces
    const QString bigFile = dir.filePath("big.bin");
    QVERIFY(writeBytes(bigFile, big));
    QCOMPARE(fileDigestHex(bigFile, hex), 0);
    QCOMPARE(hex, QCryptographicHash::hash(big, QCryptographicHash::Sha512).toHex().toUpper());

    const QString empty = dir.filePath("empty.bin");
    QVERIFY(writeBytes(empty, QByteArray()));
    for (const QString& path : {empty, dir.filePath("missing.bin"), dir.path()}) {
        QByteArray untouched = "untouched";
        QCOMPARE(fileDigestHex(path, untouched), 87);
        QCOMPARE(untouched, QByteArray("untouched"));
    }
    // A pipe named like a playlist is refused without waiting for a writer.
    const QString pipe = dir.filePath("pipe.bin");
    QVERIFY(makeFifo(pipe));
    const std::optional<QByteArray> piped = inChild([pipe] {
        QByteArray untouched = "untouched";
        return QByteArray::number(fileDigestHex(pipe, untouched)) + ' ' + untouched;
    });
    QCOMPARE(piped, std::optional<QByteArray>("87 untouched"));
}

void DiscScanTest::mplsDump() {
    const QString folder = makeDisc({{"00000.mpls", genbd::mplsBytes(lasting(60))}});
    const QString playlist = folder + "/BDMV/PLAYLIST/00000.mpls";
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/mpls-dump", {playlist});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 0);
    const QByteArray out = tool.readAllStandardOutput();
    QJsonParseError error;
    const QJsonArray files = QJsonDocument::fromJson(out, &error).array();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(files.size(), 1);
    const QJsonObject file = files[0].toObject();
    QCOMPARE(file["file"].toString(), playlist);
    QCOMPARE(file["result"].toInt(), 0);
    const QJsonObject clip = file["clips"].toArray()[0].toObject();
    QCOMPARE(clip["clipDuration"].toInt(), 60000);
    QCOMPARE(clip["clipName"].toString(), QString("00001.M2TS"));
    QCOMPARE(file["audio"].toArray()[0].toObject()["label"].toString(), QString("English AC3"));
    QCOMPARE(file["audio"].toArray()[0].toObject()["pid"].toInt(), 0x1100);
    // Keys in the documented order.
    QVERIFY(out.indexOf("\"file\"") < out.indexOf("\"result\""));
    QVERIFY(out.indexOf("\"clips\"") < out.indexOf("\"chapters\""));
    QVERIFY(out.indexOf("\"inTime\"") < out.indexOf("\"clipName\""));

    QProcess missing;
    missing.start(QCoreApplication::applicationDirPath() + "/mpls-dump", {dir.filePath("nothing.mpls")});
    QVERIFY(missing.waitForFinished(10000));
    QVERIFY(missing.exitCode() != 0);
    QVERIFY(missing.readAllStandardError().contains("cannot read"));
}

void DiscScanTest::discDump() {
    const QString folder = dir.filePath("sample");
    genbd::DiscLayout layout = genbd::sampleDisc();
    layout.clips.clear(); // listing needs no streams
    QVERIFY(genbd::writeDisc(folder, layout));
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/disc-dump", {folder});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 0);
    const QByteArray out = tool.readAllStandardOutput();
    const QJsonObject disc = QJsonDocument::fromJson(out).object();
    QCOMPARE(disc["folder"].toString(), folder);
    QCOMPARE(disc["name"].toString(), QString("Generated Test Disc"));
    QCOMPARE(disc["thumbnail"].toString(), QString("disc_416.jpg"));
    QCOMPARE(disc["sourceKey"].toString(), folder + "/BDMV/PLAYLIST/00005.mpls");
    const QJsonArray titles = disc["titles"].toArray();
    QCOMPARE(titles.size(), 3);
    QStringList durations;
    QList<int> numbers;
    for (const QJsonValue& t : titles) {
        durations << t.toObject()["duration"].toString();
        numbers << t.toObject()["number"].toInt();
    }
    QCOMPARE(durations, (QStringList{"00:00:09", "00:00:06", "00:00:03"}));
    QCOMPARE(numbers, (QList<int>{4, 1, 2}));
    QCOMPARE(titles[0].toObject()["chapters"].toArray(), (QJsonArray{0, 3000, 5000}));
    QVERIFY(out.indexOf("\"folder\"") < out.indexOf("\"name\"") &&
            out.indexOf("\"sourceKey\"") < out.indexOf("\"titles\""));

    QProcess missing;
    missing.start(QCoreApplication::applicationDirPath() + "/disc-dump", {dir.filePath("no-disc")});
    QVERIFY(missing.waitForFinished(10000));
    QVERIFY(missing.exitCode() != 0);
    QVERIFY(missing.readAllStandardError().contains("cannot read"));
}

void DiscScanTest::discDumpWithPipes() {
    // A pipe as the metadata file and as a playlist: the tool lists the
    // other playlists and ends at once.
    const QString folder = makeDisc({{"00000.mpls", genbd::mplsBytes(lasting(60))}});
    QVERIFY(QDir().mkpath(folder + "/BDMV/META/DL"));
    QVERIFY(makeFifo(folder + "/BDMV/META/DL/bdmt_eng.xml"));
    QVERIFY(makeFifo(folder + "/BDMV/PLAYLIST/00001.mpls"));
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/disc-dump", {folder});
    const bool ended = tool.waitForFinished(10000);
    if (!ended) {
        tool.kill();
        tool.waitForFinished();
    }
    QVERIFY2(ended, "disc-dump must not wait on a pipe");
    QCOMPARE(tool.exitCode(), 0);
    const QJsonObject disc = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    QCOMPARE(disc["name"].toString(), QString());
    QCOMPARE(disc["titles"].toArray().size(), 1);
}

QTEST_GUILESS_MAIN(DiscScanTest)
#include "tst_disc_scan.moc"
