// The frameless message box: its layout, how it closes and how it is dragged.
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "dialogs/CMessageBox.h"

namespace {

void sendMouse(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class TestMessageBox : public QObject {
    Q_OBJECT

private slots:
    void frameAndContents() {
        CMessageBox box;
        QVERIFY(box.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(box.windowFlags().testFlag(Qt::Dialog));
        QCOMPARE(box.windowModality(), Qt::ApplicationModal);
        QVERIFY(!box.parent());
        QCOMPARE(box.resultCode, 1);
        box.setupInformation("Nothing to play in this folder, even with a long text that has to wrap.");
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.size(), QSize(400, 180));
        QCOMPARE(box.messageLabel->text(),
                 QStringLiteral("Nothing to play in this folder, even with a long text that has to wrap."));
        QVERIFY(box.messageLabel->wordWrap());
        QCOMPARE(box.okButton->geometry(), QRect(133, 5, 80, 25));
        box.close();
    }

    // exec() returns however the box was dismissed; only OK gives 0.
    void waysToClose_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << "ok" << 0;
        QTest::newRow("right click") << "right" << 1;
        QTest::newRow("close request") << "close" << 1;
        QTest::newRow("left click") << "left" << -1; // stays open
    }
    void waysToClose() {
        QFETCH(QString, how);
        QFETCH(int, result);
        CMessageBox box;
        box.setupInformation("text");
        QTimer::singleShot(0, &box, [&] {
            const QPoint inside = box.mapToGlobal(QPoint(300, 60));
            if (how == "ok") {
                QTest::mouseClick(box.okButton, Qt::LeftButton);
            } else if (how == "right") {
                sendMouse(&box, QEvent::MouseButtonPress, inside, Qt::RightButton, Qt::RightButton);
            } else if (how == "close") {
                box.close();
            } else {
                sendMouse(&box, QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
                QVERIFY(box.isVisible());
                box.btnSlotNO(); // dismissed by the test
            }
        });
        box.exec();
        QVERIFY(!box.isVisible());
        QCOMPARE(box.resultCode, result < 0 ? 1 : result);
    }

    void dragKeepsGrabPoint() {
        CMessageBox box;
        box.setupInformation("text");
        box.move(100, 100);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint start = box.frameGeometry().topLeft();
        const QPoint grab = start + QPoint(30, 10);
        sendMouse(&box, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
        sendMouse(&box, QEvent::MouseMove, grab + QPoint(70, 45), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(box.pos(), start + QPoint(70, 45));
        // Moving with the right button (or the left one together with another) does nothing.
        sendMouse(&box, QEvent::MouseMove, grab + QPoint(200, 200), Qt::NoButton, Qt::RightButton);
        sendMouse(&box, QEvent::MouseMove, grab + QPoint(200, 200), Qt::NoButton,
                  Qt::LeftButton | Qt::RightButton);
        QCOMPARE(box.pos(), start + QPoint(70, 45));
        box.close();
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
