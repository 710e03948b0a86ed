// The two launchers beside the player: "Player.exe" (rewrites the outputs,
// becomes the engine, dies with the player) and "tool" (becomes ffmpeg -i).

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>

#include "common/FakeEngine.h"
#include "tools/launcher/BarKeeper.h"
#include "tools/launcher/EngineArguments.h"
#include "tools/launcher/SideFiles.h"
#include "tools/launcher/VideoOutput.h"

using Box = BarKeeper::Box;
Q_DECLARE_METATYPE(Box)

char* toString(const Box& b) {
    return qstrdup(qPrintable(QStringLiteral("%1x%2+%3+%4").arg(b.w).arg(b.h).arg(b.x).arg(b.y)));
}

namespace {

// One picture as the engine puts it: in strips of `strip` rows (no shared
// memory), or whole (strip 0). Returns what the keeper painted meanwhile.
QList<Box> drawPicture(BarKeeper& keeper, const Box& picture, int strip = 0) {
    QList<Box> painted;
    const int step = strip > 0 ? strip : picture.h;
    for (int y = 0; y < picture.h; y += step)
        painted += keeper.drawn({picture.x, picture.y + y, picture.w, qMin(step, picture.h - y)});
    return painted;
}

QString bin(const char* name) {
    return QCoreApplication::applicationDirPath() + '/' + QLatin1String(name);
}

// Environment for Player.exe with the fake engine behind it.
QProcessEnvironment launcherEnvironment(const QByteArray& vo = {}, const QByteArray& ao = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KZP_ENGINE", bin("fake-engine"));
    env.remove("DISPLAY"); // the outputs then do not depend on the caller's display
    env.remove("KZP_VO");
    env.remove("KZP_AO");
    if (!vo.isEmpty())
        env.insert("KZP_VO", QString::fromLatin1(vo));
    if (!ao.isEmpty())
        env.insert("KZP_AO", QString::fromLatin1(ao));
    return env;
}

// Running, not merely an unreaped zombie.
bool alive(qint64 pid) {
    if (::kill(pid_t(pid), 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) != "Z";
}

} // namespace

class LaunchersTest : public QObject {
    Q_OBJECT

private slots:
    void launcherRewritesAndExecs_data();
    void launcherRewritesAndExecs();
    void videoOutputForDisplay_data();
    void videoOutputForDisplay();
    void displayFactsTextRefused_data();
    void displayFactsTextRefused();
    void hardwareOpenGlFromServer_data();
    void hardwareOpenGlFromServer();
    void videoOptionsFollowOutput();
    void barsPaintedAfterPicture();
    void barsAfterResizeIgnoreStalePicture();
    void barsWatchedAgainWhenDrawnBeyond();
    void filterValueEscaping_data();
    void filterValueEscaping();
    void launcherEscapesScreenshotPrefix();
    void launcherIsTheEngine();
    void launcherPassesExitCodes();
    void launcherWithoutEngine();
    void engineDiesWithPlayer();
    void probeRunsFfmpeg_data();
    void probeRunsFfmpeg();
    void sideFilesThatBlock_data();
    void sideFilesThatBlock();
};

void LaunchersTest::launcherRewritesAndExecs_data() {
    QTest::addColumn<QByteArray>("vo");
    QTest::addColumn<QByteArray>("ao");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected");
    const QString odd = QString::fromUtf8("/m/it's a \"film\" $x `y` Zürich.mkv");
    // ASS/SSA subtitles are drawn only through libass ("-ass"), with video.
    QTest::newRow("default outputs, subtitles through libass")
        << QByteArray() << QByteArray() << QStringList{"-slave", "-vo", "direct3d", "-af", "a", odd}
        << QStringList{"-slave", "-vo", "xv,gl,x11", "-ass", "-af", "a", odd};
    QTest::newRow("null outputs") << QByteArray("null") << QByteArray("null")
                                  << QStringList{"-slave", "-vo", "direct3d", "-af", "a", "-x.mkv"}
                                  << QStringList{"-ao",  "null", "-slave", "-vo",   "null",
                                                 "-ass", "-af",  "a",      "-x.mkv"};
    QTest::newRow("no video asked: no subtitle renderer")
        << QByteArray() << QByteArray() << QStringList{"-slave", "./-ass"} << QStringList{"-slave", "./-ass"};
}

void LaunchersTest::launcherRewritesAndExecs() {
    QFETCH(QByteArray, vo);
    QFETCH(QByteArray, ao);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);
    FakeEngine fake;
    fake.setScript({"@exit 0"});
    QProcess launcher;
    launcher.setProcessEnvironment(launcherEnvironment(vo, ao));
    launcher.start(bin("Player.exe"), arguments);
    QVERIFY(launcher.waitForFinished(5000));
    QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
    QCOMPARE(fake.arguments(), expected);
}

void LaunchersTest::videoOutputForDisplay_data() {
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<bool>("xv");
    QTest::addColumn<bool>("glx");
    QTest::addColumn<bool>("hardware");
    QTest::addColumn<QString>("outputs");
    QTest::addColumn<QStringList>("options");
    const QStringList cheap{"-zoom", "-fs"};
    QTest::newRow("Xv: the usual list") << true << true << true << false << "xv,gl,x11" << QStringList();
    QTest::newRow("Xv and hardware GL") << true << true << true << true << "xv,gl,x11" << QStringList();
    QTest::newRow("no Xv, hardware GL: gl is fine")
        << true << false << true << true << "xv,gl,x11" << QStringList();
    QTest::newRow("no Xv, software GL: x11 fitted") << true << false << true << false << "x11" << cheap;
    QTest::newRow("no Xv, no GLX: x11 fitted") << true << false << false << false << "x11" << cheap;
    QTest::newRow("no display: the engine finds out")
        << false << false << false << false << "xv,gl,x11" << QStringList();
}

void LaunchersTest::videoOutputForDisplay() {
    QFETCH(bool, reachable);
    QFETCH(bool, xv);
    QFETCH(bool, glx);
    QFETCH(bool, hardware);
    QFETCH(QString, outputs);
    QFETCH(QStringList, options);
    DisplayFacts facts;
    facts.reachable = reachable;
    facts.xvImagePort = xv;
    facts.glx = glx;
    facts.hardwareGl = hardware;
    const VideoOutputChoice choice = chooseVideoOutput(facts);
    QCOMPARE(choice.outputs, outputs);
    QCOMPARE(choice.options, options);
    // Only the output that leaves the bars unpainted needs them kept black.
    QCOMPARE(choice.blackBars, !options.isEmpty());
    // Facts handed over in the launcher's variable choose the same.
    const std::optional<DisplayFacts> told = displayFactsFromText(displayFactsText(":7", facts), ":7");
    QVERIFY(told);
    QCOMPARE(chooseVideoOutput(*told).outputs, outputs);
}

// The variable is trusted only in its exact shape and for the display the
// engine will use; anything else makes the launcher ask the display itself.
void LaunchersTest::displayFactsTextRefused_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("display");
    const QByteArray good = "reachable=1 xv=0 glx=1 hwgl=0 display=:7";
    QTest::newRow("another display") << good << QByteArray(":8");
    QTest::newRow("no display") << QByteArray("reachable=1 xv=0 glx=1 hwgl=0 display=") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray(":7");
    QTest::newRow("a field more") << good + " xv=1" << QByteArray(":7");
    QTest::newRow("a field missing") << QByteArray("reachable=1 xv=0 glx=1 display=:7") << QByteArray(":7");
    QTest::newRow("fields swapped") << QByteArray("xv=0 reachable=1 glx=1 hwgl=0 display=:7")
                                    << QByteArray(":7");
    QTest::newRow("not a flag") << QByteArray("reachable=1 xv=2 glx=1 hwgl=0 display=:7") << QByteArray(":7");
    QTest::newRow("long flag") << QByteArray("reachable=11 xv=0 glx=1 hwgl=0 display=:7") << QByteArray(":7");
    QTest::newRow("line break") << good + "\n" << QByteArray(":7");
}

void LaunchersTest::displayFactsTextRefused() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, display);
    QVERIFY(!displayFactsFromText(text, display));
}

void LaunchersTest::hardwareOpenGlFromServer_data() {
    QTest::addColumn<QStringList>("extensions");
    QTest::addColumn<QByteArray>("software");
    QTest::addColumn<QByteArray>("indirect");
    QTest::addColumn<QByteArray>("gallium");
    QTest::addColumn<bool>("hardware");
    QTest::newRow("DRI3") << QStringList{"GLX", "DRI3", "XVideo"} << QByteArray() << QByteArray()
                          << QByteArray() << true;
    QTest::newRow("DRI2") << QStringList{"DRI2", "GLX"} << QByteArray() << QByteArray() << QByteArray()
                          << true;
    QTest::newRow("vendor GLX") << QStringList{"GLX", "NV-GLX"} << QByteArray() << QByteArray()
                                << QByteArray() << true;
    // Xvfb, VNC servers, remote displays: GLX without DRI is Mesa's software rasteriser.
    QTest::newRow("GLX alone") << QStringList{"GLX", "XVideo", "MIT-SHM"} << QByteArray() << QByteArray()
                               << QByteArray() << false;
    QTest::newRow("no GLX") << QStringList{"DRI3"} << QByteArray() << QByteArray() << QByteArray() << false;
    QTest::newRow("software forced") << QStringList{"GLX", "DRI3"} << QByteArray("1") << QByteArray()
                                     << QByteArray() << false;
    QTest::newRow("software not forced")
        << QStringList{"GLX", "DRI3"} << QByteArray("0") << QByteArray("no") << QByteArray() << true;
    QTest::newRow("indirect forced") << QStringList{"GLX", "DRI3"} << QByteArray() << QByteArray("true")
                                     << QByteArray() << false;
    QTest::newRow("llvmpipe forced") << QStringList{"GLX", "DRI3"} << QByteArray() << QByteArray()
                                     << QByteArray("llvmpipe") << false;
    QTest::newRow("hardware gallium driver")
        << QStringList{"GLX", "DRI3"} << QByteArray() << QByteArray() << QByteArray("radeonsi") << true;
}

void LaunchersTest::hardwareOpenGlFromServer() {
    QFETCH(QStringList, extensions);
    QFETCH(QByteArray, software);
    QFETCH(QByteArray, indirect);
    QFETCH(QByteArray, gallium);
    QFETCH(bool, hardware);
    QCOMPARE(hardwareOpenGl(extensions, {software, indirect, gallium}), hardware);
}

void LaunchersTest::videoOptionsFollowOutput() {
    // The options sit right after the output list; a source named like an
    // option is not taken for one.
    QStringList arguments{"-wid", "77", "-vo", "direct3d", "-lavdopts", "threads=4", "./-vo"};
    adaptEngineArguments(arguments, "x11", {}, {"-zoom", "-fs"});
    QCOMPARE(arguments, (QStringList{"-wid", "77", "-vo", "x11", "-zoom", "-fs", "-ass", "-lavdopts",
                                     "threads=4", "./-vo"}));
    QCOMPARE(windowIdArgument(arguments), 77UL);

    QStringList noOutput{"-wid", "x", "a.mkv"};
    adaptEngineArguments(noOutput, "x11", {}, {"-zoom"});
    QCOMPARE(noOutput, (QStringList{"-wid", "x", "a.mkv"}));
    QCOMPARE(windowIdArgument(noOutput), 0UL);
    QCOMPARE(windowIdArgument({"-wid"}), 0UL);
    QCOMPARE(windowIdArgument({"-wid", "-5"}), 0UL);
    QCOMPARE(windowIdArgument({"-wid", "99999999999"}), 0UL);
}

static void BarKeeperCompare(const QList<Box>& got, const QList<Box>& expected) {
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got[i], expected[i]);
}

void LaunchersTest::barsPaintedAfterPicture() {
    // 4:3 in 600x700: a 600x450 picture at y 125, drawn in strips of 449
    // rows and one (the picture less its last row looks centred too).
    BarKeeper keeper(600, 700);
    QVERIFY(keeper.drawn({0, 0, 600, 700}).isEmpty()); // the report's start: the window as it stood
    const Box picture{0, 125, 600, 450};
    QVERIFY2(drawPicture(keeper, picture, 449).isEmpty(), "painted before the picture was complete");
    // The next picture shows it complete: the bars beside it, one request each.
    const QList<Box> bars{{0, 0, 600, 125}, {0, 575, 600, 125}};
    BarKeeperCompare(drawPicture(keeper, picture, 449), bars);
    // Our own painting comes back as drawing in the bars: nothing more.
    QVERIFY(keeper.drawn(bars[0]).isEmpty());
    QVERIFY(keeper.drawn(bars[1]).isEmpty());
    // Three more of the same picture: only growth is reported from then on.
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(keeper.reports(), BarKeeper::Reports::Every);
        QVERIFY(drawPicture(keeper, picture, 449).isEmpty());
    }
    QVERIFY(drawPicture(keeper, picture).isEmpty());
    QCOMPARE(keeper.reports(), BarKeeper::Reports::Growth);
    keeper.resized(600, 700); // moved only
    QCOMPARE(keeper.reports(), BarKeeper::Reports::Growth);
}

void LaunchersTest::barsAfterResizeIgnoreStalePicture() {
    // 4:3 at 1000x500 (667x500 at x 166), then the window becomes 600x700.
    BarKeeper keeper(1000, 500);
    keeper.restarted();
    keeper.drawn({0, 0, 1000, 500});
    drawPicture(keeper, {166, 0, 667, 500});
    QVERIFY(!drawPicture(keeper, {166, 0, 667, 500}).isEmpty());
    keeper.resized(600, 700);
    QCOMPARE(keeper.reports(), BarKeeper::Reports::Every);
    keeper.restarted();
    keeper.drawn({0, 0, 600, 700});
    // The engine still puts one picture placed for the old size (clipped),
    // then scales: the bars are painted beside the new picture only.
    QVERIFY(keeper.drawn({166, 0, 434, 500}).isEmpty());
    QVERIFY(drawPicture(keeper, {0, 125, 600, 450}).isEmpty());
    BarKeeperCompare(drawPicture(keeper, {0, 125, 600, 450}), {{0, 0, 600, 125}, {0, 575, 600, 125}});

    // A toolkit painting the whole window after that: the bars are painted
    // again after the engine's next picture. An exposure does the same.
    QVERIFY(keeper.drawn({0, 0, 600, 700}).isEmpty());
    QVERIFY(drawPicture(keeper, {0, 125, 600, 450}).isEmpty());
    BarKeeperCompare(drawPicture(keeper, {0, 125, 600, 450}), {{0, 0, 600, 125}, {0, 575, 600, 125}});
    keeper.exposed();
    QVERIFY(drawPicture(keeper, {0, 125, 600, 450}).isEmpty());
    BarKeeperCompare(drawPicture(keeper, {0, 125, 600, 450}), {{0, 0, 600, 125}, {0, 575, 600, 125}});
}

void LaunchersTest::barsWatchedAgainWhenDrawnBeyond() {
    BarKeeper keeper(1000, 400);
    keeper.drawn({0, 0, 1000, 400});
    for (int i = 0; i < 6; ++i)
        drawPicture(keeper, {144, 0, 712, 400});
    QCOMPARE(keeper.reports(), BarKeeper::Reports::Growth);
    // The new report starts with the whole window: not a drawing.
    keeper.restarted();
    QVERIFY(keeper.drawn({0, 0, 1000, 400}).isEmpty());
    QCOMPARE(keeper.reports(), BarKeeper::Reports::Growth);
    QVERIFY(keeper.drawn({144, 0, 712, 200}).isEmpty()); // within the picture
    QCOMPARE(keeper.reports(), BarKeeper::Reports::Growth);
    // The stream changes its aspect: the new picture is wider.
    keeper.drawn({100, 0, 800, 400});
    QCOMPARE(keeper.reports(), BarKeeper::Reports::Every);
    keeper.restarted();
    keeper.drawn({0, 0, 1000, 400});
    drawPicture(keeper, {100, 0, 800, 400});
    BarKeeperCompare(drawPicture(keeper, {100, 0, 800, 400}), {{0, 0, 100, 400}, {900, 0, 100, 400}});
}

void LaunchersTest::filterValueEscaping_data() {
    // What the engine reads back from a "-vf" value: "\," is a comma, a
    // backslash before anything else is itself.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("comma") << "/d/a,b,/"
                           << "/d/a\\,b\\,/";
    QTest::newRow("backslash-comma") << "/d/a\\,b/"
                                     << "/d/a\\\\,b/";
    QTest::newRow("no comma") << QString::fromUtf8("/d/a:b=c 'd' \"e\" [f] \\g Zü/")
                              << QString::fromUtf8("/d/a:b=c 'd' \"e\" [f] \\g Zü/");
    QTest::newRow("only commas") << ",,"
                                 << "\\,\\,";
}

void LaunchersTest::filterValueEscaping() {
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(escapeFilterValue(text), escaped);
}

void LaunchersTest::launcherEscapesScreenshotPrefix() {
    // The player's list keeps the folder as it is; the engine gets it escaped.
    // Other "-vf" values and a source path containing commas stay untouched.
    FakeEngine fake;
    fake.setScript({"@exit 0"});
    QProcess launcher;
    launcher.setProcessEnvironment(launcherEnvironment());
    launcher.start(bin("Player.exe"), {"-vo", "direct3d", "-vf", "screenshot=/d/a,b\\,c/", "/m/x,y.mkv"});
    QVERIFY(launcher.waitForFinished(5000));
    QCOMPARE(fake.arguments(),
             (QStringList{"-vo", "xv,gl,x11", "-ass", "-vf", "screenshot=/d/a\\,b\\\\,c/", "/m/x,y.mkv"}));

    launcher.start(bin("Player.exe"), {"-vf", "scale=1:2,eq", "-vf"});
    QVERIFY(launcher.waitForFinished(5000));
    QCOMPARE(fake.arguments(), (QStringList{"-vf", "scale=1:2,eq", "-vf"}));
}

void LaunchersTest::launcherIsTheEngine() {
    // The process the player holds must be the engine itself: its output,
    // its input and its pid.
    FakeEngine fake;
    fake.setScript({"Playing x."});
    QProcess launcher;
    launcher.setProcessEnvironment(launcherEnvironment());
    launcher.start(bin("Player.exe"), {"-vo", "direct3d", "x"});
    QVERIFY(launcher.waitForStarted());
    QVERIFY(launcher.waitForReadyRead(5000));
    QCOMPARE(launcher.readLine(), QByteArray("Playing x.\n"));
    launcher.write("get_time_length\n");
    QTRY_VERIFY(launcher.canReadLine());
    QCOMPARE(launcher.readLine(), QByteArray("ANS_LENGTH=100.00\n"));
    QFile status(QStringLiteral("/proc/%1/exe").arg(launcher.processId()));
    QCOMPARE(QFileInfo(status.symLinkTarget()).fileName(), QStringLiteral("fake-engine"));
    launcher.write("q\n");
    QVERIFY(launcher.waitForFinished(5000));
    QCOMPARE(launcher.exitCode(), 0);
}

void LaunchersTest::launcherPassesExitCodes() {
    FakeEngine fake;
    fake.setScript({"@exit 7"});
    QProcess launcher;
    launcher.setProcessEnvironment(launcherEnvironment());
    launcher.start(bin("Player.exe"), {"-vo", "direct3d", "x"});
    QVERIFY(launcher.waitForFinished(5000));
    QCOMPARE(launcher.exitCode(), 7);
}

void LaunchersTest::launcherWithoutEngine() {
    QProcess launcher;
    QProcessEnvironment env = launcherEnvironment();
    env.insert("KZP_ENGINE", "/nonexistent/engine");
    launcher.setProcessEnvironment(env);
    launcher.start(bin("Player.exe"), {"x"});
    QVERIFY(launcher.waitForFinished(5000));
    QCOMPARE(launcher.exitCode(), 127);
}

void LaunchersTest::engineDiesWithPlayer() {
    // A stand-in player (a shell) starts the launcher and is then killed
    // with SIGKILL: the engine must not play on.
    FakeEngine fake;
    fake.setScript({"@hang"});
    QProcess player;
    player.setProcessEnvironment(launcherEnvironment());
    player.start("/bin/sh",
                 {"-c", "\"$0\" -vo direct3d x </dev/null >/dev/null & echo $!; wait", bin("Player.exe")});
    QVERIFY(player.waitForReadyRead(5000));
    const qint64 engine = player.readLine().trimmed().toLongLong();
    QVERIFY(engine > 0);
    const auto cleanup = qScopeGuard([engine] {
        if (alive(engine))
            ::kill(pid_t(engine), SIGKILL);
    });
    QVERIFY(fake.waitForStart());
    QVERIFY(alive(engine));
    ::kill(pid_t(player.processId()), SIGKILL);
    QVERIFY(player.waitForFinished(5000));
    QVERIFY(FakeEngine::waitUntil([&] { return !alive(engine); }, 5000));
}

void LaunchersTest::probeRunsFfmpeg_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    const QString odd = QString::fromUtf8("-a \"b\" 'c' $d\nü.mkv");
    QTest::newRow("-i FILE") << QStringList{"-i", odd} << odd;
    QTest::newRow("FILE") << QStringList{odd} << odd;
}

void LaunchersTest::probeRunsFfmpeg() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    // A stand-in ffmpeg that records its arguments and answers on stderr.
    QTemporaryDir dir;
    const QString record = dir.filePath("args");
    const QString script = dir.filePath("ffmpeg");
    QFile f(script);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$RECORD\"\n"
            "echo '  Duration: 00:00:12.02, start: 0.000000, bitrate: 191 kb/s' >&2\nexit 1\n");
    f.close();
    QVERIFY(f.setPermissions(f.permissions() | QFile::ExeOwner));
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KZP_FFMPEG", script);
    env.insert("RECORD", record);
    probe.setProcessEnvironment(env);
    probe.start(bin("tool"), arguments);
    QVERIFY(probe.waitForFinished(5000));
    QCOMPARE(probe.exitCode(), 1); // passed through
    QVERIFY(probe.readAllStandardError().contains("  Duration: 00:00:12.02,"));
    QFile recorded(record);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QList<QByteArray> got = recorded.readAll().split('\0');
    got.removeLast();
    QCOMPARE(got, (QList<QByteArray>{"-hide_banner", "-nostdin", "-i", file.toUtf8()}));

    // No file: a usage error, nothing run.
    QFile::remove(record);
    probe.start(bin("tool"), {});
    QVERIFY(probe.waitForFinished(5000));
    QVERIFY(probe.exitCode() != 0);
    QVERIFY(!QFile::exists(record));
}

void LaunchersTest::sideFilesThatBlock_data() {
    // Entries made beside the source ('|' a pipe, '>' a link to a pipe, else
    // a file); what the launcher then passes, or "-" for not starting at all.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("dvd");
    QTest::addColumn<QString>("added");
    QTest::newRow("subtitle file") << QStringList{"v.srt", "v.ass"} << false << "";
    QTest::newRow("pipe named like subtitles") << QStringList{"|v.srt"} << false << "-noautosub";
    QTest::newRow("pipe in the sub folder") << QStringList{"|sub/v.SSA"} << false << "-noautosub";
    QTest::newRow("link to a pipe") << QStringList{"|pipe", ">v.idx"} << false << "-noautosub";
    QTest::newRow("pipe of another kind") << QStringList{"|v.mkv.part", "|fifo"} << false << "";
    QTest::newRow("DVD") << QStringList{"VIDEO_TS/VIDEO_TS.IFO", "VIDEO_TS/VTS_01_1.VOB"} << true << "";
    QTest::newRow("DVD with a pipe") << QStringList{"|VIDEO_TS/VIDEO_TS.IFO"} << true << "-";
}

void LaunchersTest::sideFilesThatBlock() {
    QFETCH(QStringList, entries);
    QFETCH(bool, dvd);
    QFETCH(QString, added);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("sub") && QDir(dir.path()).mkpath("VIDEO_TS"));
    const QString video = dir.filePath("v.mkv");
    QVERIFY(QFile(video).open(QIODevice::WriteOnly));
    for (const QString& entry : entries) {
        const QString path = dir.filePath(entry.mid(entry.startsWith('|') || entry.startsWith('>') ? 1 : 0));
        if (entry.startsWith('|'))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (entry.startsWith('>'))
            QVERIFY(QFile::link(dir.filePath("pipe"), path));
        else
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    }
    const QStringList before =
        dvd ? QStringList{"-quiet", "dvd://1", "-dvd-device", dir.path()} : QStringList{"-quiet", video};
    QStringList arguments = before;
    const bool starts = avoidBlockingSideFiles(arguments);
    QCOMPARE(starts, added != "-");
    QStringList expected = before;
    if (added.startsWith("-no"))
        expected.insert(1, added);
    if (starts)
        QCOMPARE(arguments, expected);
}

QTEST_GUILESS_MAIN(LaunchersTest)
#include "tst_launchers.moc"
