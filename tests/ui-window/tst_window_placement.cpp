// Picture sizes, the first show and dialog placement: the whole window, frame
// included, stays inside the screen's work area.
#include <QRandomGenerator>
#include <QTest>

#include "util/WindowPlacement.h"

using window_placement::centredFramePosition;

namespace {

QRect frameRect(const QRect& client, const QMargins& frame) {
    return client.marginsAdded(frame);
}

} // namespace

class TestWindowPlacement : public QObject {
    Q_OBJECT

private slots:
    void fitClient_data() {
        QTest::addColumn<QRect>("wanted");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("expected");
        const QMargins frame(1, 20, 1, 5);
        // A task bar of 40 pixels at the bottom of a 1920 x 1080 screen.
        const QRect area(0, 0, 1920, 1040);
        QTest::newRow("fits: unchanged")
            << QRect(100, 100, 1000, 680) << frame << area << QRect(100, 100, 1000, 680);
        QTest::newRow("double size: shrinks by the frame, moves to the corner")
            << QRect(460, 207, 2000, 1360) << frame << area << QRect(1, 20, 1918, 1015);
        QTest::newRow("hangs over the right and bottom: moves in just enough")
            << QRect(1500, 800, 500, 340) << frame << area << QRect(1419, 695, 500, 340);
        QTest::newRow("above and left of the area: moves in")
            << QRect(-50, 5, 500, 340) << frame << area << QRect(1, 20, 500, 340);
        QTest::newRow("task bar on the left and top")
            << QRect(10, 10, 2000, 1360) << frame << QRect(64, 30, 1856, 1050) << QRect(65, 50, 1854, 1025);
        QTest::newRow("no frame yet")
            << QRect(460, 207, 2000, 1360) << QMargins() << area << QRect(0, 0, 1920, 1040);
    }
    void fitClient() {
        QFETCH(QRect, wanted);
        QFETCH(QMargins, frame);
        QFETCH(QRect, area);
        QFETCH(QRect, expected);
        const QRect client = window_placement::fitClient(wanted, frame, area);
        QCOMPARE(client, expected);
        QVERIFY(area.contains(frameRect(client, frame)));
    }

    // A window whose minimum does not fit keeps its title bar on the screen.
    void minimumLargerThanArea() {
        const QMargins frame(4, 30, 4, 4);
        const QRect client = window_placement::fitClient(QRect(300, 300, 1000, 680), frame,
                                                         QRect(0, 0, 800, 600), QSize(900, 700));
        QCOMPARE(client.size(), QSize(900, 700));
        QCOMPARE(frameRect(client, frame).topLeft(), QPoint(0, 0));
    }

    // Whatever the window asks for, its frame ends inside the area when it can.
    void anyRequestEndsInside() {
        QRandomGenerator random(20240611);
        for (int i = 0; i < 5000; ++i) {
            const QRect area(random.bounded(-2000, 2000), random.bounded(-2000, 2000),
                             random.bounded(200, 4000), random.bounded(200, 3000));
            const QMargins frame(random.bounded(0, 20), random.bounded(0, 60), random.bounded(0, 20),
                                 random.bounded(0, 20));
            const QRect wanted(random.bounded(-5000, 5000), random.bounded(-5000, 5000),
                               random.bounded(1, 5000), random.bounded(1, 5000));
            const QSize minimum(random.bounded(1, 150), random.bounded(1, 100));
            const QRect client = window_placement::fitClient(wanted, frame, area, minimum);
            QVERIFY2(area.contains(frameRect(client, frame)), qPrintable(QStringLiteral("case %1").arg(i)));
            QVERIFY(client.width() <= wanted.width() || client.width() == minimum.width());
            QVERIFY(client.height() <= wanted.height() || client.height() == minimum.height());
        }
    }

    // The first show acts only where the window, frame included, is larger
    // than the work area; elsewhere the window manager's placement stays.
    void firstShow_data() {
        QTest::addColumn<QRect>("client");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("expected");
        const QMargins frame(1, 20, 1, 5);
        const QSize minimum(600, 126);
        QTest::newRow("large screen: kept")
            << QRect(460, 207, 1000, 680) << frame << QRect(0, 0, 1920, 1040) << QRect(460, 207, 1000, 680);
        QTest::newRow("large screen, placed across its edge: kept")
            << QRect(1500, 800, 1000, 680) << frame << QRect(0, 0, 1920, 1040) << QRect(1500, 800, 1000, 680);
        QTest::newRow("1024x600 before the map: no frame yet, only the size")
            << QRect(0, 0, 1000, 680) << QMargins() << QRect(0, 0, 1024, 600) << QRect(0, 0, 1000, 600);
        QTest::newRow("1024x600 once framed")
            << QRect(1, 20, 1000, 600) << frame << QRect(0, 0, 1024, 600) << QRect(1, 20, 1000, 575);
        QTest::newRow("1024x600 with a panel on top")
            << QRect(1, 20, 1000, 600) << frame << QRect(0, 32, 1024, 568) << QRect(1, 52, 1000, 543);
        QTest::newRow("the client fits, with its frame it does not")
            << QRect(10, 5, 1000, 680) << frame << QRect(0, 0, 1280, 700) << QRect(10, 20, 1000, 675);
        QTest::newRow("scale factor 2 on 1920x1080") << QRect(0, 0, 1000, 680) << QMargins(1, 10, 1, 3)
                                                     << QRect(0, 0, 960, 540) << QRect(1, 10, 958, 527);
        QTest::newRow("narrower than the minimum: the title bar stays on the screen")
            << QRect(0, 0, 1000, 680) << QMargins(4, 30, 4, 4) << QRect(0, 0, 512, 300)
            << QRect(4, 30, minimum.width(), 266);
    }
    void firstShow() {
        QFETCH(QRect, client);
        QFETCH(QMargins, frame);
        QFETCH(QRect, area);
        QFETCH(QRect, expected);
        const QSize minimum(600, 126);
        const QRect fitted = window_placement::fitFirstShow(client, frame, area, minimum);
        QCOMPARE(fitted, expected);
        if (fitted != client && minimum.width() + frame.left() + frame.right() <= area.width())
            QVERIFY(area.contains(frameRect(fitted, frame)));
    }

    void centred_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QPoint>("expected");
        const QRect area(0, 0, 1920, 1040);
        QTest::newRow("over the window") << QSize(680, 250) << QRect(459, 187, 1002, 705) << QPoint(620, 414);
        QTest::newRow("window half off the right edge")
            << QSize(680, 250) << QRect(1600, 100, 1002, 705) << QPoint(1240, 327);
        QTest::newRow("window above the top")
            << QSize(400, 180) << QRect(100, -600, 600, 400) << QPoint(200, 0);
        QTest::newRow("larger than the area") << QSize(3000, 2000) << area << QPoint(0, 0);
    }
    void centred() {
        QFETCH(QSize, size);
        QFETCH(QRect, anchor);
        QFETCH(QPoint, expected);
        QCOMPARE(centredFramePosition(size, anchor, QRect(0, 0, 1920, 1040)), expected);
    }
};

QTEST_APPLESS_MAIN(TestWindowPlacement)
#include "tst_window_placement.moc"
