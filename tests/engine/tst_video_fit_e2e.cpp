// The real engine behind Player.exe on a display without Xv and without
// hardware OpenGL (Xvfb): the launcher must pick the cheap X11 output, and the
// picture must still fill the video area with its aspect kept, with black
// bars on the two sides the aspect calls for, before and after the area
// changes its shape.

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include "common/Processes.h"
#include "common/Wait.h"
#include "engine/EngineCommands.h"
#include "tools/launcher/DisplayProbe.h"

namespace {

// The clips are one flat colour, so every pixel is either picture or bar.
const QColor kClipColour(0x30, 0x80, 0xc0);

bool isPicture(QRgb p) {
    return qAbs(qRed(p) - kClipColour.red()) <= 40 && qAbs(qGreen(p) - kClipColour.green()) <= 40 &&
           qAbs(qBlue(p) - kClipColour.blue()) <= 40;
}
bool isBlack(QRgb p) {
    return qRed(p) <= 24 && qGreen(p) <= 24 && qBlue(p) <= 24;
}

// The largest rectangle of aspect `aspect` inside `area`, centred.
QRect fitted(const QSize& area, double aspect) {
    QSize size(area.width(), qRound(area.width() / aspect));
    if (size.height() > area.height())
        size = QSize(qRound(area.height() * aspect), area.height());
    return QRect(QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2), size);
}

// What is wrong with `image` as the picture fitted into it ("" when nothing):
// inside the fit (less a margin) only picture, outside it (plus the margin)
// only black.
QString misfit(const QImage& image, double aspect) {
    if (image.isNull())
        return QStringLiteral("no screenshot");
    const int margin = 3;
    const QRect fit = fitted(image.size(), aspect);
    const QRect inner = fit.adjusted(margin, margin, -margin, -margin);
    const QRect outer = fit.adjusted(-margin, -margin, margin, margin);
    int notPicture = 0, notBlack = 0;
    QRect picture;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (isPicture(p))
                picture |= QRect(x, y, 1, 1);
            if (inner.contains(x, y) && !isPicture(p))
                ++notPicture;
            else if (!outer.contains(x, y) && !isBlack(p))
                ++notBlack;
        }
    if (notPicture == 0 && notBlack == 0)
        return {};
    return QStringLiteral("area %1x%2, expected picture %3x%4+%5+%6, picture pixels span %7x%8+%9+%10; "
                          "%11 pixels inside are not picture, %12 outside are not black")
        .arg(image.width())
        .arg(image.height())
        .arg(fit.width())
        .arg(fit.height())
        .arg(fit.x())
        .arg(fit.y())
        .arg(picture.width())
        .arg(picture.height())
        .arg(picture.x())
        .arg(picture.y())
        .arg(notPicture)
        .arg(notBlack);
}

// The engine's command line, from /proc (the launcher replaced itself with it).
QStringList commandLine(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList words;
    for (const QByteArray& word : file.readAll().split('\0'))
        words << QString::fromLocal8Bit(word);
    return words;
}

} // namespace

class VideoFitEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void probeSeesSoftwareDisplay();
    void pictureFitsWithAspectKept_data();
    void pictureFitsWithAspectKept();

private:
    QTemporaryDir media;
};

void VideoFitEndToEndTest::initTestCase() {
    if (QStandardPaths::findExecutable("mplayer").isEmpty() ||
        QStandardPaths::findExecutable("ffmpeg").isEmpty())
        QSKIP("mplayer or ffmpeg is not installed");
    QVERIFY(QGuiApplication::platformName() == QLatin1String("xcb"));
    for (const char* size : {"640x360", "640x480"}) {
        const QStringList arguments{"-hide_banner",
                                    "-loglevel",
                                    "error",
                                    "-nostdin",
                                    "-y",
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    QStringLiteral("color=c=%1:size=%2:rate=25:duration=60")
                                        .arg(kClipColour.name().mid(1).prepend("0x"), QLatin1String(size)),
                                    "-c:v",
                                    "libx264",
                                    "-preset",
                                    "ultrafast",
                                    "-pix_fmt",
                                    "yuv420p",
                                    media.filePath(QLatin1String(size) + ".mkv")};
        QVERIFY(
            kzp::test::runProgram("ffmpeg", arguments, 120000, kzp::test::Channels::Forwarded).succeeded());
    }
}

void VideoFitEndToEndTest::probeSeesSoftwareDisplay() {
    // Xvfb offers the XVideo extension without any adaptor, and GLX without
    // DRI: only software OpenGL.
    const DisplayFacts facts = probeDisplay();
    QVERIFY(facts.reachable);
    QVERIFY(facts.glx);
    QVERIFY(!facts.xvImagePort);
    QVERIFY(!facts.hardwareGl);
}

void VideoFitEndToEndTest::pictureFitsWithAspectKept_data() {
    QTest::addColumn<QString>("clip");
    QTest::addColumn<double>("aspect");
    QTest::addColumn<QSize>("first");
    QTest::addColumn<QSize>("second");
    // Each clip meets an area where it is bounded by the width and one where
    // it is bounded by the height.
    QTest::newRow("16:9, bars above and below, then beside")
        << "640x360" << 16.0 / 9 << QSize(800, 600) << QSize(1000, 400);
    QTest::newRow("4:3, bars beside, then above and below")
        << "640x480" << 4.0 / 3 << QSize(1000, 500) << QSize(600, 700);
}

void VideoFitEndToEndTest::pictureFitsWithAspectKept() {
    QFETCH(QString, clip);
    QFETCH(double, aspect);
    QFETCH(QSize, first);
    QFETCH(QSize, second);

    // The player's video area: a native child that nobody but the engine paints,
    // over a bright page that must not show through.
    QWidget page;
    page.setStyleSheet(QStringLiteral("background-color: rgb(250, 230, 60);"));
    page.setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QHBoxLayout(&page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* surface = new QLabel(&page);
    surface->setAttribute(Qt::WA_NativeWindow);
    surface->setAttribute(Qt::WA_DontCreateNativeAncestors);
    surface->setAttribute(Qt::WA_OpaquePaintEvent);
    surface->setAttribute(Qt::WA_NoSystemBackground);
    layout->addWidget(surface);
    page.resize(first);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QTRY_COMPARE(surface->size(), first);

    QTemporaryDir data;
    Source source;
    source.path = media.filePath(clip + ".mkv");
    QProcess engine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"KZP_ENGINE", "KZP_VO", "LIBGL_ALWAYS_SOFTWARE", "GALLIUM_DRIVER"})
        env.remove(QLatin1String(name));
    env.insert("KZP_AO", "null");
    engine.setProcessEnvironment(env);
    engine.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    engine.start(QCoreApplication::applicationDirPath() + "/Player.exe",
                 engineArguments(quint64(surface->winId()), data.path() + '/', source));
    QVERIFY(engine.waitForStarted(10000));
    const auto stop = qScopeGuard([&] {
        if (engine.state() != QProcess::NotRunning) {
            engine.write("q\n");
            if (!engine.waitForFinished(5000))
                engine.kill();
            engine.waitForFinished(5000);
        }
    });

    // The cheap output was chosen: plain X11, scaled, fitted with its aspect.
    QStringList words;
    QVERIFY(kzp::test::waitUntil([&] {
        words = commandLine(engine.processId());
        return words.value(0) == QLatin1String("mplayer");
    }));
    const int vo = int(words.indexOf("-vo"));
    QVERIFY2(vo > 0 && words.mid(vo, 4) == (QStringList{"-vo", "x11", "-zoom", "-fs"}),
             qPrintable(words.join(' ')));

    auto grab = [&] { return page.screen()->grabWindow(surface->winId()).toImage(); };
    QString why;
    auto fits = [&] {
        why = misfit(grab(), aspect);
        return why.isEmpty() && engine.state() == QProcess::Running;
    };
    QVERIFY2(kzp::test::waitUntil(fits, 30000, 50, 20), qPrintable(why));

    // Another shape: the picture follows, and nothing of the old one stays in the bars.
    page.resize(second);
    QTRY_COMPARE(surface->size(), second);
    QVERIFY2(kzp::test::waitUntil(fits, 30000, 50, 20), qPrintable(why));
}

QTEST_MAIN(VideoFitEndToEndTest)
#include "tst_video_fit_e2e.moc"
