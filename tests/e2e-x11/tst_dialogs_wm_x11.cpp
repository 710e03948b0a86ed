// The real program under a real window manager (openbox, with margins that
// leave a work area smaller than the screen, as task bars do), driven by
// pointer and key input: the modal dialogs' keys and minimising, the format
// list of Preferences, and the picture sizes.
#include <QDir>
#include <QFile>
#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include "common/Files.h"
#include "common/MediaClips.h"
#include "common/Processes.h"
#include "common/Wait.h"
#include "e2e-x11/PlayerWindow.h"
#include "e2e-x11/WindowManager.h"

namespace {

using kzp::test::outputOf;
using kzp::test::readBytes;
using kzp::test::x11::clientRect;
using kzp::test::x11::frameRect;
using kzp::test::x11::text;
using kzp::test::x11::xdotool;

// The work area openbox leaves: 20 left, 30 top, 60 right, 50 bottom.
const QRect kWorkArea(20, 30, 1920 - 20 - 60, 1080 - 30 - 50);

// Polls until done() holds; events keep flowing, no fixed sleeps. Generous,
// for a loaded machine.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    return kzp::test::waitUntil(done, timeoutMs, 30, 20);
}

// "Normal", "Iconic", or empty once the window is withdrawn.
QString wmState(const QString& window) {
    static const QRegularExpression state(QStringLiteral("window state: (\\w+)"));
    return state.match(outputOf(QStringLiteral("xprop"), {"-id", window, "WM_STATE"})).captured(1);
}

} // namespace

// One running player with the fake engine, in a private home.
class Player : public kzp::test::x11::PlayerWindow {
public:
    QString home, engineLog;

    Player() : PlayerWindow(30000) {}

    bool start(const QString& clip) {
        home = dir.path() + "/home";
        engineLog = dir.path() + "/commands.log";
        const QString data = home + "/data/Kestrune Zyl Player/";
        if (!kzp::test::writeBytes(data + "RecentConfig.txt", clip.toLocal8Bit() + "\n"))
            return false;
        const QString bin = QCoreApplication::applicationDirPath();
        QProcessEnvironment env = kzp::test::playerEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_RUNTIME_DIR", dir.path()); // a single-instance lock of its own (mode 0700)
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("KZP_ENGINE", bin + "/fake-engine");
        env.insert("FAKE_ENGINE_LOG", engineLog);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(bin + "/kestrune-zyl-player", {});
        return process.waitForStarted() && findWindow() && waitUntil([&] { return hasFocus(window); });
    }

    bool hasFocus(const QString& id) const { return xdotool({"getwindowfocus"}) == id; }
    // The n-th entry of the open menu.
    void chooseEntry(int n) {
        QStringList names;
        for (int i = 0; i < n; ++i)
            names << "Down";
        keys(names << "Return");
    }
    bool play() {
        if (!openMenu(1))
            return false;
        const int before = int(visibleWindows().size());
        keys({"Down", "Down", "Down", "Right"}); // File, Recent Files
        if (!waitUntil([&] { return visibleWindows().size() > before; }))
            return false;
        keys({"Return"});
        return waitUntil([&] { return readBytes(engineLog).contains("get_time_pos"); });
    }
    // Tools, Preferences; the dialog's window once it has the keyboard.
    QString openPreferences() {
        if (!openMenu(5))
            return QString();
        chooseEntry(2);
        QString dialog;
        waitUntil([&] {
            dialog = xdotool({"search", "--all", "--onlyvisible", "--pid",
                              QString::number(process.processId()), "--name", "Preferences$"});
            return !dialog.isEmpty() && !dialog.contains('\n') && hasFocus(dialog);
        });
        return hasFocus(dialog) ? dialog : QString();
    }
    bool isShown(const QString& id) const { return visibleWindows().contains(id); }
    // The main window takes input again: once it has the keyboard back, its
    // File menu opens (and is closed).
    bool answers() {
        if (!waitUntil([&] { return hasFocus(window); }))
            return false;
        if (!openMenu(1))
            return false;
        keys({"Escape"});
        return true;
    }
    QString outputPathFile() const { return home + "/data/Kestrune Zyl Player/OutputPath.txt"; }
    QStringList snapshots() const {
        return QDir(home + "/Documents/Kestrune Zyl Player").entryList({"Snapshot-*"}, QDir::Files);
    }
};

class TestDialogsWmX11 : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;
    kzp::test::x11::Openbox windowManager;
    QString clip;

    // A new pop-up window of the player (a list), once shown.
    static QString newPopup(Player& player, const QStringList& before) {
        QString popup;
        waitUntil([&] {
            for (const QString& id : player.visibleWindows())
                if (!before.contains(id))
                    popup = id;
            return !popup.isEmpty();
        });
        return popup;
    }

    // Opens the format list with a click in its box and checks the list lies
    // just under the box: its top edge right below the click, across it.
    void openFormatListUnderItsBox(Player& player, const QString& dialog, const char* opening) {
        const QRect box = clientRect(dialog);
        const QPoint click = box.topLeft() + QPoint(275, 98); // the middle of the format box
        const QStringList before = player.visibleWindows();
        player.click(dialog, 275, 98);
        const QString list = newPopup(player, before);
        QVERIFY2(!list.isEmpty(), opening);
        const QRect shown = clientRect(list);
        const QString where = QStringLiteral("%1 opening: list at %2, box clicked at %3,%4")
                                  .arg(QLatin1String(opening), text(shown))
                                  .arg(click.x())
                                  .arg(click.y());
        QVERIFY2(shown.left() <= click.x() && click.x() <= shown.right(), qPrintable(where));
        QVERIFY2(shown.top() > click.y() && shown.top() <= click.y() + 20, qPrintable(where));
    }

private slots:
    void initTestCase() {
        for (const char* tool : {"xdotool", "xprop", "xwininfo", "openbox", "ffmpeg", "import"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
        // Margins as a task bar and a dock would leave.
        const QString managed = windowManager.start(scratch.path(), QSize(1920, 1080), kWorkArea);
        QVERIFY2(managed.isEmpty(), qPrintable(managed));

        clip = scratch.filePath("clip.mkv");
        kzp::test::ClipOptions options;
        options.seconds = 60;
        // The fake engine plays it: only its length matters, made quickly on a busy machine.
        options.encoding = {"-c:v", "libx264", "-preset", "ultrafast"};
        QVERIFY(kzp::test::makeClip(clip, options).succeeded());
    }
    void cleanupTestCase() {
        windowManager.process.terminate();
        windowManager.process.waitForFinished(5000);
    }

    // Return confirms, Escape cancels, Space acts on the format box; the
    // dialog never goes away minimised, leaving the window locked.
    void preferencesKeys() {
        Player player;
        QVERIFY(player.start(clip));

        QString dialog = player.openPreferences();
        QVERIFY(!dialog.isEmpty());
        const QStringList before = player.visibleWindows();
        player.keys({"space"});
        QVERIFY2(!newPopup(player, before).isEmpty(), "Space did not open the format list");
        QCOMPARE(wmState(dialog), QStringLiteral("Normal"));
        player.keys({"Escape"});
        QVERIFY(waitUntil([&] { return player.visibleWindows() == before; }));
        QVERIFY(player.isShown(dialog));
        player.keys({"Return"});
        QVERIFY2(waitUntil([&] { return !player.isShown(dialog); }), "Return did not close the dialog");
        QVERIFY2(wmState(dialog) != QLatin1String("Iconic"), "Return minimised the dialog");
        QVERIFY2(QFile::exists(player.outputPathFile()), "Return did not confirm");
        QVERIFY(player.answers());

        QVERIFY(QFile::remove(player.outputPathFile()));
        dialog = player.openPreferences();
        QVERIFY(!dialog.isEmpty());
        player.keys({"Escape"});
        QVERIFY2(waitUntil([&] { return !player.isShown(dialog); }), "Escape did not close the dialog");
        QVERIFY2(wmState(dialog) != QLatin1String("Iconic"), "Escape minimised the dialog");
        QVERIFY(player.answers());
        QVERIFY2(!QFile::exists(player.outputPathFile()), "Escape confirmed");
    }

    // The dialog's minimise button takes the whole player along, and the
    // main window's return brings the dialog back with it.
    void minimiseTakesTheWholePlayer() {
        Player player;
        QVERIFY(player.start(clip));
        const QString dialog = player.openPreferences();
        QVERIFY(!dialog.isEmpty());
        player.click(dialog, 635, 15); // the title strip's minimise button
        QVERIFY(waitUntil([&] { return wmState(dialog) == QLatin1String("Iconic"); }));
        QVERIFY2(waitUntil([&] { return wmState(player.window) == QLatin1String("Iconic"); }),
                 "the dialog was minimised alone: the main window stays locked behind it");

        xdotool({"windowactivate", player.window}); // a task bar or a window switcher would
        QVERIFY2(waitUntil([&] { return wmState(player.window) == QLatin1String("Normal"); }),
                 "the main window did not come back");
        QVERIFY2(waitUntil([&] { return player.isShown(dialog) && player.hasFocus(dialog); }),
                 "the dialog did not come back with the main window");
        player.keys({"Escape"});
        QVERIFY(waitUntil([&] { return !player.isShown(dialog); }));
        QVERIFY(player.answers());
    }

    // The list opens under its box on the first and later openings, and BMP
    // chosen with the keys (then kept through cancelled openings) is what the
    // next snapshot is saved as.
    void formatListAndSnapshotFormat() {
        Player player;
        QVERIFY(player.start(clip));
        QVERIFY2(player.play(), "the clip did not start");

        QString dialog = player.openPreferences();
        QVERIFY(!dialog.isEmpty());
        QStringList before = player.visibleWindows();
        openFormatListUnderItsBox(player, dialog, "first");
        if (QTest::currentTestFailed())
            return;
        player.keys({"Down", "Down", "Return"}); // JPEG, PNG, BMP
        QVERIFY(waitUntil([&] { return player.visibleWindows() == before; }));
        player.keys({"Return"});
        QVERIFY(waitUntil([&] { return !player.isShown(dialog); }));

        // Where the toolkit believes a window is can lag behind where it is:
        // later openings are where the list went astray, so a few of them.
        for (const char* opening : {"second", "third", "fourth", "fifth"}) {
            dialog = player.openPreferences();
            QVERIFY(!dialog.isEmpty());
            before = player.visibleWindows();
            openFormatListUnderItsBox(player, dialog, opening);
            if (QTest::currentTestFailed())
                return;
            player.keys({"Escape"});
            QVERIFY(waitUntil([&] { return player.visibleWindows() == before; }));
            player.keys({"Escape"});
            QVERIFY(waitUntil([&] { return !player.isShown(dialog); }));
        }

        QVERIFY(waitUntil([&] { return player.hasFocus(player.window); }));
        player.keys({"s"});
        QVERIFY2(waitUntil([&] { return !player.snapshots().isEmpty(); }), "no snapshot saved");
        const QString shot = player.snapshots().first();
        QVERIFY2(shot.endsWith(".BMP"), qPrintable(shot));
        const QString path = player.home + "/Documents/Kestrune Zyl Player/" + shot;
        QVERIFY(waitUntil([&] { return readBytes(path).startsWith("BM"); }));
    }

    // Every picture size keeps the whole window, frame included, in the work
    // area; Double Size takes as much of it as it may.
    void pictureSizesStayInTheWorkArea() {
        Player player;
        QVERIFY(player.start(clip));
        QVERIFY2(player.play(), "the clip did not start");

        // Chooses a size and waits for the window to take a new place that
        // lies in the work area.
        auto choose = [&](int entry, const char* size) {
            const QRect old = frameRect(player.window);
            if (!player.openMenu(3)) // Video: Half, Normal, Double, Fit to screen
                return QStringLiteral("%1: the Video menu did not open").arg(QLatin1String(size));
            player.chooseEntry(entry);
            QRect now;
            const bool inside = waitUntil([&] {
                now = frameRect(player.window);
                return now != old && kWorkArea.contains(now);
            });
            return inside ? QString()
                          : QStringLiteral("%1: window with frame at %2, work area %3")
                                .arg(QLatin1String(size), text(now), text(kWorkArea));
        };
        auto moveTo = [&](int x, int y) {
            xdotool({"windowmove", "--sync", player.window, QString::number(x), QString::number(y)});
            return waitUntil([&] { return clientRect(player.window).topLeft() == QPoint(x, y); });
        };
        const QRect client = clientRect(player.window), whole = frameRect(player.window);
        const QMargins frame(client.left() - whole.left(), client.top() - whole.top(),
                             whole.right() - client.right(), whole.bottom() - client.bottom());
        QString fault = choose(3, "Double");
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(clientRect(player.window).size(),
                 QSize(qMin(2000, kWorkArea.width() - frame.left() - frame.right()),
                       qMin(1360, kWorkArea.height() - frame.top() - frame.bottom())));
        fault = choose(1, "Half");
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        // Low on the right, Normal Size would hang over the edges: it moves in.
        QVERIFY(moveTo(1300, 850));
        fault = choose(2, "Normal");
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(clientRect(player.window).size(), QSize(1000, 680));
        QVERIFY(moveTo(900, 400));
        fault = choose(3, "Double from the right");
        QVERIFY2(fault.isEmpty(), qPrintable(fault));

        QVERIFY(player.openMenu(3));
        player.chooseEntry(4); // Fit to screen
        QVERIFY(waitUntil([&] {
            return outputOf("xprop", {"-id", player.window, "_NET_WM_STATE"}).contains("MAXIMIZED_HORZ");
        }));
        QVERIFY2(waitUntil([&] { return kWorkArea.contains(frameRect(player.window)); }),
                 qPrintable("Fit to screen: " + text(frameRect(player.window))));
    }

    // F takes the whole screen without the strip and the panel; when the
    // window manager ends full screen by itself, they come back.
    void fullScreenEndedByTheWindowManager() {
        Player player;
        QVERIFY(player.start(clip));
        QVERIFY(player.play());
        auto fullScreen = [&] {
            return outputOf("xprop", {"-id", player.window, "_NET_WM_STATE"}).contains("FULLSCREEN");
        };
        QVERIFY(player.stripShown());
        player.keys({"f"});
        QVERIFY2(
            waitUntil([&] { return fullScreen() && clientRect(player.window).size() == QSize(1920, 1080); }),
            qPrintable(text(clientRect(player.window))));
        QVERIFY2(waitUntil([&] { return !player.stripShown(); }), "the strip stays in full screen");
        player.keys({"super+F11"});
        QVERIFY2(waitUntil([&] { return !fullScreen(); }), "the window manager kept full screen");
        QVERIFY2(waitUntil([&] { return player.stripShown(); }), "the strip did not come back");
    }
};

QTEST_GUILESS_MAIN(TestDialogsWmX11)
#include "tst_dialogs_wm_x11.moc"
