// The real program on a real X server, driven by real pointer and key input:
// menus opened by clicking their buttons, the recent list, the keys, full
// screen and the language switch.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>

#include <sys/resource.h>

#include "common/Files.h"
#include "common/MediaClips.h"
#include "common/Processes.h"
#include "common/Wait.h"
#include "e2e-x11/PlayerWindow.h"
#include "e2e-x11/WindowManager.h"

namespace {

using kzp::test::outputOf;
using kzp::test::readBytes;
using kzp::test::x11::nearColour;
using kzp::test::x11::text;
using kzp::test::x11::xdotool;

// Polls until done() holds; events keep flowing, no fixed sleeps.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    return kzp::test::waitUntil(done, timeoutMs, 30, 20);
}

bool copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QFileInfo& entry : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + "/" + entry.fileName();
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

// Caps the memory of the program `process` starts with `env`: a fault that
// eats memory ends it quickly instead of filling the machine.
void capMemory(QProcess& process, QProcessEnvironment& env, int megabytes) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer reserves far more address space than any cap allows: it watches instead.
    Q_UNUSED(process);
    env.insert("ASAN_OPTIONS",
               env.value("ASAN_OPTIONS") + QStringLiteral(":hard_rss_limit_mb=%1:max_allocation_size_mb=%2")
                                               .arg(megabytes)
                                               .arg(megabytes / 2));
#else
    Q_UNUSED(env);
    const rlim_t cap = rlim_t(megabytes) << 20;
    process.setChildProcessModifier([cap] {
        const rlimit limit{cap, cap};
        setrlimit(RLIMIT_AS, &limit);
    });
#endif
}

// The subtitle clips' picture: one flat colour, so that every pixel of the
// video area is picture, bar (black) or subtitle.
const QColor kPictureColour(0x30, 0x80, 0xc0);

// What is wrong with the subtitle in `window` ("" when nothing): above the
// control panel (whose blue buttons are near the picture's colour) the 16:9
// picture keeps its aspect, and below the menu strip (white too) the
// subtitle's colour shows, all of it inside the picture.
QString subtitleMisplaced(const QImage& window, const QColor& colour) {
    if (window.isNull())
        return QStringLiteral("no screenshot");
    QRect picture, subtitle;
    int shown = 0;
    for (int y = 0; y < window.height() - 90; ++y)
        for (int x = 0; x < window.width(); ++x) {
            const QRgb c = window.pixel(x, y);
            if (nearColour(c, kPictureColour, 16))
                picture |= QRect(x, y, 1, 1);
            else if (y >= 30 && y < window.height() - 100 && nearColour(c, colour, 40)) {
                subtitle |= QRect(x, y, 1, 1);
                ++shown;
            }
        }
    const QString where = QStringLiteral("picture %1, %2 subtitle pixels in %3")
                              .arg(text(picture))
                              .arg(shown)
                              .arg(text(subtitle));
    if (picture.height() < 100 || qAbs(double(picture.width()) / picture.height() - 16.0 / 9) > 0.03)
        return QStringLiteral("the picture is not shown with its aspect: ") + where;
    if (shown < 150)
        return QStringLiteral("no subtitle in its colour: ") + where;
    if (!picture.contains(subtitle))
        return QStringLiteral("the subtitle lies outside the picture: ") + where;
    return QString();
}

// A subtitle file ("ass" or "srt") with an event every half second for a
// minute: a track chosen while playing shows from its next event on. The ASS
// style asks for bold magenta without outline or shadow.
QByteArray subtitleFile(const QString& format) {
    const bool ass = format == QLatin1String("ass");
    auto at = [ass](int half) { // in half seconds, below a minute
        const QString seconds = QString::number(half / 2).rightJustified(2, QLatin1Char('0'));
        return (ass ? "0:00:" + seconds + (half % 2 ? ".50" : ".00")
                    : "00:00:" + seconds + (half % 2 ? ",500" : ",000"))
            .toLatin1();
    };
    QByteArray file;
    if (ass)
        file =
            "[Script Info]\nScriptType: v4.00+\nPlayResX: 640\nPlayResY: 360\n\n[V4+ Styles]\n"
            "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, "
            "Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, "
            "Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
            "Style: Default,DejaVu Sans,60,&H00FF00FF,&H00FF00FF,&H00000000,&H00000000,-1,0,0,0,100,100,0,0,"
            "1,0,0,2,10,10,20,1\n\n[Events]\n"
            "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    for (int i = 0; i < 118; ++i) {
        const QByteArray from = at(i), to = at(i + 1);
        file += ass ? "Dialogue: 0," + from + "," + to + ",Default,,0,0,0,,MMMM MMMM\n"
                    : QByteArray::number(i + 1) + "\n" + from + " --> " + to + "\nMMMM MMMM\n\n";
    }
    return file;
}

} // namespace

// One running player in a private copy of the program folder and a private home.
class Player : public kzp::test::x11::PlayerWindow {
public:
    QString app, home;
    int memoryCapMb = 0; // 0: no cap

    Player() : PlayerWindow(15000) {}

    bool start(const QString& clip, const QProcessEnvironment& extra = {}) {
        app = dir.path() + "/app";
        home = dir.path() + "/home";
        const QString bin = QCoreApplication::applicationDirPath();
        QDir().mkpath(app);
        for (const char* name : {"kestrune-zyl-player", "Player.exe", "tool", "fake-engine", "config.ini"})
            if (!QFile::copy(bin + "/" + name, app + "/" + name))
                return false;
        if (!copyFolder(bin + "/Languages", app + "/Languages"))
            return false;
        const QString data = home + "/data/Kestrune Zyl Player/";
        QDir().mkpath(data);
        QFile recent(data + "RecentConfig.txt");
        if (!recent.open(QIODevice::WriteOnly) || recent.write(clip.toLocal8Bit() + "\n") <= 0)
            return false;
        recent.close();

        QProcessEnvironment env = kzp::test::playerEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_RUNTIME_DIR", dir.path()); // a single-instance lock of its own (mode 0700)
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("KZP_AO", "null");
        for (const QString& key : extra.keys())
            env.insert(key, extra.value(key));
        if (memoryCapMb > 0)
            capMemory(process, env, memoryCapMb);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(app + "/kestrune-zyl-player", {});
        return process.waitForStarted() && findWindow();
    }

    // In an open menu: `steps` entries down, then into that entry's submenu,
    // waiting for it to show (keys sent before would be lost on a loaded machine).
    bool openSubmenu(int steps) {
        const int before = int(visibleWindows().size());
        QStringList names;
        for (int i = 0; i < steps; ++i)
            names << "Down";
        keys(names << "Right");
        return waitUntil([&] { return visibleWindows().size() > before; });
    }
    void keysToWindow(const QStringList& names) {
        xdotool({"windowfocus", "--sync", window});
        keys(names);
    }
    // The engine is the player's child named mplayer (the launcher replaced itself with it);
    // the length probe, also a child for a moment, is not it.
    QString engineChild() const {
        return outputOf("pgrep", {"-P", QString::number(process.processId()), "-x", "mplayer"})
            .section(QLatin1Char('\n'), 0, 0);
    }
    // Resident memory in MiB from /proc; -1 when the process is gone.
    qint64 residentMb() const {
        for (const QByteArray& line :
             readBytes(QStringLiteral("/proc/%1/status").arg(process.processId())).split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
        return -1;
    }
    QStringList snapshots() const {
        return QDir(home + "/Documents/Kestrune Zyl Player").entryList({"Snapshot-*"}, QDir::Files);
    }
    QString config() const { return QString::fromUtf8(readBytes(app + "/config.ini")); }
};

class TestPlayerX11 : public QObject {
    Q_OBJECT
    QTemporaryDir media;
    QString clip;

    // Plays the recent entry through the File menu: Recent Files is the third entry.
    void playFromRecent(Player& player) {
        QVERIFY(player.openMenu(1));
        QVERIFY(player.openSubmenu(3));
        player.keys({"Return"});
    }

private slots:
    void initTestCase() {
        for (const char* tool : {"xdotool", "import", "ffmpeg", "mplayer", "pgrep"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
        clip = media.path() + "/test clip.mkv";
        kzp::test::ClipOptions options;
        options.seconds = 30;
        options.encoding = {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"};
        options.channels = kzp::test::Channels::Separate;
        QVERIFY(kzp::test::makeClip(clip, options).finished);
        QVERIFY(QFileInfo(clip).size() > 0);
    }

    void recentPlaySnapshotFullScreenClose() {
        Player player;
        QVERIFY(player.start(clip));
        QVERIFY(player.stripShown());
        playFromRecent(player);
        QVERIFY2(waitUntil([&] { return !player.engineChild().isEmpty(); }), "no engine started");
        const QString engine = player.engineChild();

        player.keysToWindow({"s"});
        QVERIFY2(waitUntil([&] { return !player.snapshots().isEmpty(); }), "no snapshot saved");

        player.keysToWindow({"f"});
        QVERIFY2(waitUntil([&] { return !player.stripShown(); }), "F did not enter full screen");
        player.keysToWindow({"Up", "s"}); // entries do not act in full screen
        player.keysToWindow({"Escape"});
        QVERIFY2(waitUntil([&] { return player.stripShown(); }), "Escape did not leave full screen");
        QCOMPARE(player.snapshots().size(), 1);

        xdotool({"mousemove", "--window", player.window, "500", "300", "click", "--repeat", "2", "--delay",
                 "60", "1"});
        QVERIFY2(waitUntil([&] { return !player.stripShown(); }), "double click did not enter full screen");
        xdotool({"mousemove", "--window", player.window, "500", "300", "click", "--repeat", "2", "--delay",
                 "60", "1"});
        QVERIFY2(waitUntil([&] { return player.stripShown(); }), "double click did not leave full screen");

        // File menu, Close (fifth entry): the program and its engine end.
        QVERIFY(player.openMenu(1));
        player.keys({"Down", "Down", "Down", "Down", "Down", "Return"});
        QVERIFY(player.process.waitForFinished(15000));
        QCOMPARE(player.process.exitCode(), 0);
        // Ended means gone, or a zombie waiting for whoever inherited it to reap it.
        QByteArray stat;
        const bool ended = waitUntil(
            [&] {
                stat = readBytes("/proc/" + engine + "/stat");
                return stat.isEmpty() || stat.contains(") Z ");
            },
            10000);
        QVERIFY2(ended, stat.constData());
    }

    void spacePausesAndResumes() {
        // The fake engine behind the real launcher records what the player sends.
        Player player;
        const QString log = player.dir.path() + "/commands.log";
        QProcessEnvironment extra;
        extra.insert("KZP_ENGINE", QCoreApplication::applicationDirPath() + "/fake-engine");
        extra.insert("FAKE_ENGINE_LOG", log);
        QVERIFY(player.start(clip, extra));
        playFromRecent(player);
        auto lines = [&] { return readBytes(log).split('\n'); };
        QVERIFY(waitUntil([&] { return lines().contains("get_time_pos"); }));
        player.keysToWindow({"space"});
        QVERIFY2(waitUntil([&] { return lines().contains("pause"); }), "Space did not pause");
        player.keysToWindow({"space"});
        // Resuming sends nothing itself; the polls start again.
        QVERIFY2(waitUntil([&] {
                     const QList<QByteArray> all = lines();
                     return all.lastIndexOf("get_time_pos") > all.lastIndexOf("pause");
                 }),
                 "Space did not resume");
    }

    // A clip whose name and title tag hold markup naming /dev/zero (the name
    // spells its slashes as entities) plays, and the player stays alive,
    // answering and within bounded memory while it shows the name.
    void markupInNameOrTagPlaysWithBoundedMemory() {
        const QString hostile = media.path() + "/<img src=\"&#47;dev&#47;zero\">&<b>clip.mp4";
        kzp::test::ClipOptions options;
        options.seconds = 30;
        options.encoding = {"-c:v",      "libx264",   "-pix_fmt",
                            "yuv420p",   "-c:a",      "aac",
                            "-shortest", "-metadata", "title=<img src=\"/dev/zero\">&<b>title"};
        options.channels = kzp::test::Channels::Separate;
        QVERIFY(kzp::test::makeClip(hostile, options).finished);
        QVERIFY(QFileInfo(hostile).size() > 0);

        Player player;
        player.memoryCapMb = 3072;
        QVERIFY(player.start(hostile));
        playFromRecent(player);
        QVERIFY2(waitUntil([&] { return !player.engineChild().isEmpty(); }), "no engine started");
        // The clip is drawn: its colour bars run across the lower video area,
        // where the start page is dark.
        auto pictureShown = [&] {
            const QImage image = player.grab();
            int saturated = 0;
            for (int x = 150; !image.isNull() && x <= 850; x += 50) {
                const QColor c = image.pixelColor(x, 540);
                const int high = qMax(c.red(), qMax(c.green(), c.blue()));
                saturated += high - qMin(c.red(), qMin(c.green(), c.blue())) >= 150 ? 1 : 0;
            }
            return saturated >= 3;
        };
        QVERIFY2(waitUntil(pictureShown, 30000), "the clip is not drawn");
        // The player still answers input, and has not grown.
        QVERIFY2(player.openMenu(1), player.process.state() == QProcess::Running
                                         ? "the player does not answer"
                                         : "the player ended");
        player.keys({"Escape"});
        const qint64 resident = player.residentMb();
        QVERIFY2(player.process.state() == QProcess::Running, "the player ended");
        QVERIFY2(resident > 0 && resident < 1024,
                 qPrintable(QStringLiteral("%1 MiB resident").arg(resident)));
        QVERIFY(!player.engineChild().isEmpty());
    }

    // A subtitle track chosen in Video > Subtitle Track is drawn inside the
    // picture: an ASS track in the colour its style asks for, an SRT track as
    // before. A snapshot is still taken, at the clip's size.
    void subtitleTrackDrawnInThePicture_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("ASS, in its style's magenta") << "ass" << QColor(255, 0, 255);
        QTest::newRow("SRT, in white") << "srt" << QColor(255, 255, 255);
    }
    void subtitleTrackDrawnInThePicture() {
        QFETCH(QString, format);
        QFETCH(QColor, colour);
        const QString subtitles = media.filePath("subtitles." + format);
        QVERIFY(kzp::test::writeBytes(subtitles, subtitleFile(format)));
        const QString clip = media.filePath(format + " subtitles.mkv");
        kzp::test::ClipOptions options;
        options.picture = "color=c=0x" + kPictureColour.name().mid(1);
        options.size = "640x360";
        options.seconds = 60;
        options.subtitles = subtitles;
        options.encoding = {"-c:v",    "libx264", "-preset", "ultrafast", "-pix_fmt",
                            "yuv420p", "-c:a",    "aac",     "-c:s",      format};
        options.channels = kzp::test::Channels::Separate;
        QVERIFY(kzp::test::makeClip(clip, options).succeeded());

        Player player;
        QVERIFY(player.start(clip));
        playFromRecent(player);
        QString why;
        QVERIFY2(waitUntil(
                     [&] {
                         why = subtitleMisplaced(player.grab(), colour);
                         return why.startsWith("no subtitle");
                     },
                     30000),
                 qPrintable(why));
        // Video, Subtitle Track (sixth entry), Subtitle 1 (after Disable).
        QVERIFY(player.openMenu(3));
        QVERIFY(player.openSubmenu(6));
        player.keys({"Down", "Return"});
        QVERIFY2(waitUntil(
                     [&] {
                         why = subtitleMisplaced(player.grab(), colour);
                         return why.isEmpty();
                     },
                     30000),
                 qPrintable(why));

        player.keysToWindow({"s"});
        QVERIFY2(waitUntil([&] { return !player.snapshots().isEmpty(); }), "no snapshot saved");
        const QString shot = player.home + "/Documents/Kestrune Zyl Player/" + player.snapshots().first();
        QVERIFY2(waitUntil([&] { return QImage(shot).size() == QSize(640, 360); }), qPrintable(shot));
    }

    void languageSwitchChangesCaptions() {
        Player player;
        QVERIFY(player.start(clip));
        const QImage before = player.grab();
        QVERIFY(!before.isNull());
        // Help menu, Language (third entry), the sixth language (Japanese).
        QVERIFY(player.openMenu(6));
        QVERIFY(player.openSubmenu(3));
        player.keys({"Down", "Down", "Down", "Down", "Down", "Return"});
        QVERIFY2(waitUntil([&] { return player.config().contains("Default=/Japanese"); }),
                 "language not stored");
        auto allButtonsChanged = [&] {
            const QImage after = player.grab();
            if (after.isNull())
                return false;
            for (int i = 0; i < 6; ++i)
                if (after.copy(i * 100, 1, 100, 20) == before.copy(i * 100, 1, 100, 20))
                    return false;
            return true;
        };
        QVERIFY2(waitUntil(allButtonsChanged), "not every menu button shows a new caption");
        QCOMPARE(xdotool({"getwindowname", player.window}), QStringLiteral("Kestrune Zyl Player"));
        // The rebuilt menus still open.
        QVERIFY(player.openMenu(1));
        player.keys({"Escape"});
    }
};

QTEST_GUILESS_MAIN(TestPlayerX11)
#include "tst_player_x11.moc"
