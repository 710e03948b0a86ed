// The frameless message box: contents, how it closes (mouse and keys), how it
// is dragged, and that it never disappears alone while it blocks the window.
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
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
        QVERIFY(box.windowFlags().testFlags(Qt::Dialog | Qt::FramelessWindowHint));
        QVERIFY(box.windowModality() == Qt::ApplicationModal && !box.parent());
        box.setupInformation("A long message that has to wrap onto a second line of the box.");
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.size(), QSize(400, 180));
        QCOMPARE(box.messageLabel->text(),
                 QStringLiteral("A long message that has to wrap onto a second line of the box."));
        QVERIFY(box.messageLabel->isVisible() && box.messageLabel->wordWrap());
        QCOMPARE(box.okButton->geometry(), QRect(133, 5, 80, 25));
        QVERIFY(box.okButton->isVisible());
    }

    // A message may name a file: markup in it is shown as typed, nothing it names is loaded.
    void markupShownAsTyped() {
        CMessageBox box;
        const QString text = QStringLiteral("<img src=\"/dev/zero\">&<b>name");
        box.setupInformation(text);
        QCOMPARE(box.messageLabel->text(), text);
        QCOMPARE(box.messageLabel->textFormat(), Qt::PlainText);
    }

    void waysToClose_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << "ok" << 0;
        QTest::newRow("right click") << "right" << 1;
        QTest::newRow("close request") << "close" << 1;
        QTest::newRow("left click keeps it open") << "left" << 1;
    }
    void waysToClose() {
        QFETCH(QString, how);
        QFETCH(int, result);
        CMessageBox box;
        box.setupInformation("text");
        bool stillOpen = false;
        QTimer::singleShot(0, &box, [&] {
            const QPoint inside = box.mapToGlobal(QPoint(300, 60));
            if (how == "ok")
                QTest::mouseClick(box.okButton, Qt::LeftButton);
            else if (how == "right")
                sendMouse(&box, QEvent::MouseButtonPress, inside, Qt::RightButton, Qt::RightButton);
            else if (how == "close")
                box.close();
            else
                sendMouse(&box, QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
            stillOpen = box.isVisible();
            box.close(); // dismissed by the test
        });
        box.exec();
        QCOMPARE(stillOpen, how == "left");
        QCOMPARE(box.resultCode, result);
    }

    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("Return is OK") << int(Qt::Key_Return) << 0;
        QTest::newRow("Space on OK") << int(Qt::Key_Space) << 0;
        QTest::newRow("Escape closes") << int(Qt::Key_Escape) << 1;
    }
    void keys() {
        QFETCH(int, key);
        QFETCH(int, result);
        CMessageBox box;
        box.setupInformation("text");
        bool active = false;
        QTimer::singleShot(0, &box, [&] {
            active = QTest::qWaitForWindowActive(&box);
            // Where a user's key goes: the focus widget of the active window.
            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key(key));
            if (box.isVisible())
                box.close(); // the key did not close it: dismissed by the test
        });
        box.exec();
        QVERIFY(active);
        QCOMPARE(box.resultCode, result);
    }

    void neverMinimisedAlone() {
        QWidget mainWindow;
        mainWindow.show();
        CMessageBox box;
        box.setupInformation("text");
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setWindowState(Qt::WindowMinimized); // as a window manager would
        QVERIFY(mainWindow.isMinimized());
        mainWindow.setWindowState(Qt::WindowNoState);
        QVERIFY(!box.isMinimized());
    }

    void dragKeepsGrabPoint() {
        CMessageBox box;
        box.setupInformation("text");
        box.move(100, 100);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint start = box.frameGeometry().topLeft(), grab = start + QPoint(30, 10);
        sendMouse(&box, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
        sendMouse(&box, QEvent::MouseMove, grab + QPoint(70, 45), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(box.pos(), start + QPoint(70, 45));
        // Only a move with the left button alone drags.
        sendMouse(&box, QEvent::MouseMove, grab, Qt::NoButton, Qt::RightButton);
        sendMouse(&box, QEvent::MouseMove, grab, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
        QCOMPARE(box.pos(), start + QPoint(70, 45));
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
