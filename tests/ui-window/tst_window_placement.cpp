// Picture sizes and dialog placement: the whole window, frame included, stays
// inside the screen's work area.
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
