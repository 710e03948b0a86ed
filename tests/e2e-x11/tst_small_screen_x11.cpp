// The real program's first show on a screen smaller than its window (a
// 1024x600 netbook screen with a panel, under openbox): the whole window,
// frame included, opens inside the work area, and its bottom controls are
// on the screen.
#include <QImage>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "common/Processes.h"
#include "common/Wait.h"
#include "e2e-x11/PlayerWindow.h"
#include "e2e-x11/WindowManager.h"

namespace {

using kzp::test::outputOf;
using kzp::test::x11::frameRect;
using kzp::test::x11::nearColour;
using kzp::test::x11::text;

const QSize kScreen(1024, 600);
const QRect kWorkArea(0, 0, 1024, 600 - 32); // a panel along the bottom

// The play button's blue (resources/image/play.png, the one blue icon of
// the bar) and how many of its pixels the button shows at scale 1.
const QColor kPlayBlue(26, 111, 201);
const int kPlayBluePixels = 1587;
// The position slider's groove right of its handle (nothing plays yet).
const QColor kGrooveGrey(0x57, 0x57, 0x57);

// What of the bottom controls the screen does not show ("" when all is there):
// the slider's groove across most of a row, then below it the whole play button.
QString missingControls(const QImage& screen, const QRect& client, double scale) {
    if (screen.isNull())
        return QStringLiteral("no screenshot");
    const QRect shown = client & screen.rect();
    const int groove = int(0.8 * (client.width() - 100 * scale)); // less the two time labels
    int sliderRow = -1;
    for (int y = shown.top(); y <= shown.bottom() && sliderRow < 0; ++y) {
        int grey = 0;
        for (int x = shown.left(); x <= shown.right(); ++x)
            grey += nearColour(screen.pixel(x, y), kGrooveGrey, 6) ? 1 : 0;
        if (grey >= groove)
            sliderRow = y;
    }
    if (sliderRow < 0)
        return QStringLiteral("no position slider on the screen");
    int blue = 0;
    for (int y = sliderRow; y <= shown.bottom(); ++y)
        for (int x = shown.left(); x <= shown.right(); ++x)
            blue += nearColour(screen.pixel(x, y), kPlayBlue, 16) ? 1 : 0;
    if (blue < int(0.7 * kPlayBluePixels * scale * scale))
        return QStringLiteral("the play button shows %1 of its blue pixels").arg(blue);
    return QString();
}

} // namespace

class TestSmallScreenX11 : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;
    kzp::test::x11::Openbox windowManager;

private slots:
    void initTestCase() {
        for (const char* tool : {"xdotool", "xprop", "xwininfo", "openbox", "import"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
        const QString size = outputOf("xwininfo", {"-root"}).section("-geometry ", 1).section('+', 0, 0);
        QCOMPARE(size, QStringLiteral("%1x%2").arg(kScreen.width()).arg(kScreen.height()));
        const QString managed = windowManager.start(scratch.path(), kScreen, kWorkArea);
        QVERIFY2(managed.isEmpty(), qPrintable(managed));
    }

    void firstShowInsideTheWorkArea_data() {
        QTest::addColumn<QString>("scale");
        QTest::newRow("1024x600") << QString();
        QTest::newRow("scale factor 1.5") << QStringLiteral("1.5");
    }
    void firstShowInsideTheWorkArea() {
        QFETCH(QString, scale);
        kzp::test::x11::PlayerWindow player(30000);
        const QString bin = QCoreApplication::applicationDirPath();
        QProcessEnvironment env = kzp::test::playerEnvironment();
        env.insert("HOME", player.dir.path());
        env.insert("XDG_DATA_HOME", player.dir.path() + "/data");
        env.insert("XDG_RUNTIME_DIR", player.dir.path()); // a single-instance lock of its own
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("KZP_ENGINE", bin + "/fake-engine");
        env.remove("QT_SCALE_FACTOR");
        if (!scale.isEmpty())
            env.insert("QT_SCALE_FACTOR", scale);
        player.process.setProcessEnvironment(env);
        player.process.setWorkingDirectory(player.dir.path());
        player.process.setProcessChannelMode(QProcess::ForwardedChannels);
        player.process.start(bin + "/kestrune-zyl-player", {});
        QVERIFY(player.process.waitForStarted());
        QVERIFY(player.findWindow());

        QRect frame;
        QString missing;
        const bool fits = player.waitUntil([&] {
            frame = frameRect(player.window);
            if (!kWorkArea.contains(frame))
                return false;
            const QImage screen(player.grabScreen());
            missing = missingControls(screen, kzp::test::x11::clientRect(player.window),
                                      scale.isEmpty() ? 1.0 : scale.toDouble());
            return missing.isEmpty();
        });
        QVERIFY2(fits, qPrintable(QStringLiteral("window with frame at %1, work area %2; %3")
                                      .arg(text(frame), text(kWorkArea), missing)));
    }
};

QTEST_GUILESS_MAIN(TestSmallScreenX11)
#include "tst_small_screen_x11.moc"
