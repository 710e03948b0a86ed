// The probe's output gate: the one reader of what a probe prints, on every
// path that runs a probe. Rows feed the reader directly, or run a fake ffmpeg
// that prints the way the real one does (the probed name verbatim, line
// breaks included) through the one-file probe and through the batch.
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

#include "common/Files.h"
#include "common/TestEnv.h"
#include "media/ProbeBatch.h"

using kzp::test::writeBytes;

namespace {

enum class Path { Reader, OneFile, Batch };

// Prints like ffmpeg: for a missing file the name starts the error line;
// otherwise the input line with the name, the file's contents as its tags,
// the header line and, for a file starting with "FLOOD", 64 MiB of stream lines.
const QByteArray kFakeFfmpeg =
    "#!/bin/sh\n"
    "if [ ! -e \"$2\" ]; then printf '%s: No such file or directory\\n' \"$2\" >&2; "
    "exit 1; fi\n"
    "{ printf \"Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '%s':\\n  Metadata:\\n\" \"$2\"\n"
    "cat < \"$2\"\n"
    "printf '  Duration: 00:00:01.00, start: 0.000000, bitrate: 31 kb/s\\n'\n"
    "if [ \"$(head -c 5 < \"$2\")\" = FLOOD ]; then\n"
    "  s='    Stream #0:0(und): Video: h264 (High), yuv420p, 320x240, 25 fps\n'\n"
    "  i=0; while [ $i -lt 10 ]; do s=\"$s$s\"; i=$((i + 1)); done\n"
    "  i=0; while [ $i -lt 1024 ]; do printf '%s' \"$s\"; i=$((i + 1)); done\n"
    "fi; } >&2\n"
    "exit 1\n";

QStringList diagnostics;
QtMessageHandler testHandler = nullptr;

void keepDiagnostics(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (QByteArrayView(context.category) == "kzp.gate.probe")
        diagnostics << message;
    else
        testHandler(type, context, message);
}

// The process's peak memory, in KiB, since the last resetPeak().
long peakKiB() {
    const QByteArray status = kzp::test::readBytes(QStringLiteral("/proc/self/status"));
    const qsizetype at = status.indexOf("VmHWM:");
    return at < 0
               ? 0
               : status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLong();
}

void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace

class ProbeOutputTest : public QObject {
    Q_OBJECT
    kzp::test::PrivateHome home;
    QString probe = home.path("ffmpeg.sh");

    // The same hostile case through both paths that run a probe; a name
    // starting with "/" is made inside the test's folder with `tags` in it.
    void onEveryPath(const char* tag, const QString& name, const QByteArray& tags, const QString& duration,
                     bool refused) {
        const QString path = name.startsWith('/') ? home.path("media") + name : name;
        for (const auto& [label, way] :
             {std::pair{"one file: ", Path::OneFile}, std::pair{"batch: ", Path::Batch}})
            QTest::newRow(QByteArray(label + QByteArray(tag)).constData())
                << way << path << tags << duration << refused;
    }

private slots:
    void initTestCase() {
        QVERIFY(writeBytes(probe, kFakeFfmpeg, true));
        testHandler = qInstallMessageHandler(keepDiagnostics);
        QLoggingCategory::setFilterRules(QStringLiteral("kzp.gate.probe.info=true"));
    }

    void gate_data() {
        QTest::addColumn<Path>("path");
        QTest::addColumn<QString>("name");
        // Reader: what the probe printed; a probe path: the file's contents.
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<bool>("refused"); // leaves one diagnostic line

        // Only ffmpeg's header line, two blanks then "Duration: ", gives the
        // length: tags, file names and Matroska lines print the same text.
        const QString plain = QStringLiteral("/m/a.mp4");
        const QByteArray header = "  Duration: 00:00:01.00, start: 0.000000, bitrate: 31 kb/s\n";
        const auto read = [&](const char* tag, const QByteArray& output, const QString& duration,
                              bool refused = false, const QString& name = QStringLiteral("/m/a.mp4")) {
            QTest::newRow(tag) << Path::Reader << name << output << duration << refused;
        };
        read("title tag",
             "Input #0, mov, from 'a.mp4':\n  Metadata:\n    title           : Duration: 99:59:59\n" + header,
             "00:00:01");
        read("name in the input line", "Input #0, mov, from '/m/Duration: 99:59:59.mp4':\n" + header,
             "00:00:01");
        read("Matroska lines",
             "    DURATION        : 99:59:59.000000000\n" + header +
                 "      DURATION        : 00:00:05.000000000\n",
             "00:00:01");
        read("first header line wins", header + "  Duration: 99:59:59.00\n", "00:00:01");
        read("N/A", "  Duration: N/A, bitrate: N/A\n", "N/A, bit");
        read("at the very start, no line end", "  Duration: 00:00:02.00", "00:00:02");
        read("value ends with its line", "  Duration: 1\n  Stream #0:0\n", "1");
        read("one blank", " Duration: 99:59:59.00\n", "");
        read("three blanks", "   Duration: 99:59:59.00\n", "");
        read("tab", "\t Duration: 99:59:59.00\n", "");
        read("other case", "  DURATION: 99:59:59.00\n", "");
        read("none", "Invalid data found when processing input\n", "");

        // The output is kept within a bound; what the bound cut off, or cut
        // short, gives nothing.
        const qsizetype bound = ProbeOutput::kBound;
        const QByteArray tagLine = "    comment         : " + QByteArray(41, 'x') + '\n';
        const auto filler = [&](qsizetype size) {
            return tagLine.repeated(size / tagLine.size() + 1).left(size);
        };
        read("header past the bound", filler(bound) + header, "", true);
        read("header before the bound, much after it", header + filler(3 * bound), "00:00:01", true);
        read("bound cuts the header line", filler(bound - 20) + '\n' + header, "", true);
        const QString forging = "/m/x\n  Duration: 99:59:59.00, start: 0\n" + QString(100, 'z') + ".mp4";
        const QByteArray printed = "    comment         : " + QFile::encodeName(forging) + '\n';
        read("bound splits a name that forges a header",
             filler(bound - printed.size() + 50) + printed + header, "", true, forging);

        // ffmpeg prints the probed name verbatim, line breaks included, so a
        // name can print a header line of its own; on every path.
        onEveryPath("line break", "/x\n  Duration: 99:59:59.00, start: 0\n.mp4", "", "00:00:01", true);
        onEveryPath("control byte shown as ?", "/\x01\n  Duration: 99:59:59.00, start: 0\n.mp4", "",
                    "00:00:01", true);
        onEveryPath("carriage returns", "/x\r\n  Duration: 99:59:59.00\r\n.mp4", "", "00:00:01", true);
        onEveryPath("missing, name starts the error line", "  Duration: 99:59:59.00", "", "", true);
        onEveryPath("plain name", "/Duration: 99:59:59.mp4", "", "00:00:01", false);
        onEveryPath("output floods after the header", "/flood.mp4", "FLOOD\n", "00:00:01", true);
        onEveryPath("tags past the bound", "/tags.mp4", filler(bound), "", true);
    }

    void gate() {
        QFETCH(Path, path);
        QFETCH(QString, name);
        QFETCH(QByteArray, output);
        QFETCH(QString, duration);
        QFETCH(bool, refused);
        diagnostics.clear();
        resetPeak();
        const long peakBefore = peakKiB();
        QString found;
        if (path == Path::Reader) {
            ProbeOutput reader(name);
            // In pieces, as a pipe delivers it.
            for (qsizetype at = 0; at < output.size(); at += 65536)
                reader.append(QByteArrayView(output).sliced(at, qMin<qsizetype>(65536, output.size() - at)));
            found = reader.duration();
        } else {
            if (name.startsWith('/'))
                QVERIFY(writeBytes(name, output));
            if (path == Path::OneFile) {
                found = runProbe(probe, name, 10000);
            } else {
                ProbeBatch batch;
                batch.setProgram(probe);
                batch.setTimeout(10000);
                QSignalSpy finished(&batch, &ProbeBatch::finished);
                batch.start({name});
                QVERIFY(finished.wait(15000));
                QVERIFY(batch.isComplete());
                found = batch.durations().value(0);
            }
            // What a probe prints is never held whole.
            QVERIFY2(peakKiB() - peakBefore < 16 * 1024, qPrintable(QString::number(peakKiB() - peakBefore)));
        }
        QCOMPARE(found, duration);
        QCOMPARE(diagnostics.size(), refused ? 1 : 0);
        for (const QString& line : std::as_const(diagnostics))
            QVERIFY(!line.contains('\n'));
    }
};

QTEST_GUILESS_MAIN(ProbeOutputTest)
#include "tst_probe_output.moc"
