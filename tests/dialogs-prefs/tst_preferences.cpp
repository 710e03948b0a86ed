// The preferences dialog: its layout, the folder chooser, what OK, Cancel
// and Open do to OutputPath.txt, and the keyboard and minimise rules of a
// modal dialog.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>

#include "common/Files.h"
#include "config/DataFolder.h"
#include "dialogs/CProcessUI.h"

namespace {

using kzp::test::readBytes;
using kzp::test::writeBytes;

// A dialog whose folder chooser answers from the test.
class AnsweredPreferences : public CProcessUI {
public:
    QString answer; // null: the user cancelled the chooser
    int chooserRuns = 0;

protected:
    QString chooseFolder() override {
        ++chooserRuns;
        return answer;
    }
};

} // namespace

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestPreferences : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString outputPath() const { return dataFolderPath() + "OutputPath.txt"; }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
        QDir().mkpath(dataFolderPath());
    }
    void init() {
        QFile::remove(outputPath());
        QDir(outputPath()).removeRecursively();
    }

    void layout() {
        CProcessUI dialog;
        QCOMPARE(dialog.resultFlag(), 1);
        QCOMPARE(dialog.formatIndex(), 0);
        QVERIFY(!dialog.parent());
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
        QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
        QCOMPARE(dialog.minimumSize(), QSize(680, 250));
        QCOMPARE(dialog.maximumSize(), QSize(680, 250));
        dialog.setFormatIndex(2);
        dialog.setupPreferences();
        QCOMPARE(dialog.formatBox()->count(), 3);
        QCOMPARE(dialog.formatBox()->itemText(0), QStringLiteral("JPEG"));
        QCOMPARE(dialog.formatBox()->itemText(1), QStringLiteral("PNG"));
        QCOMPARE(dialog.formatBox()->itemText(2), QStringLiteral("BMP"));
        QCOMPARE(dialog.formatBox()->currentIndex(), 2);
        QCOMPARE(dialog.formatText(), QStringLiteral("BMP"));
        QVERIFY(!dialog.folderField()->isEnabled());
        const QString blue = dialog.findChild<QPushButton*>("okButton")->styleSheet();
        QVERIFY(blue.contains("background-color:rgb(48, 81, 109);\t\t\t\t\t\t\t\t   color: white;"));
    }

    // The window keeps the format as the text it saves with ("JPG" at start).
    void formatChosenByText() {
        const QList<QPair<QString, int>> cases = {
            {"PNG", 1}, {"BMP", 2}, {"JPEG", 0}, {"JPG", 0}, {"gif", 0}};
        for (const auto& [text, index] : cases) {
            CProcessUI dialog;
            dialog.setFormatText(text);
            dialog.setupPreferences();
            QCOMPARE(dialog.formatBox()->currentIndex(), index);
        }
    }

    void startsWithDefaultOrStoredFolder() {
        {
            CProcessUI dialog;
            dialog.setupPreferences();
            const QString expected =
                QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Kestrune Zyl Player/";
            QCOMPARE(dialog.folder(), expected);
            QCOMPARE(dialog.folderField()->text(), expected);
            QCOMPARE(dialog.formatText(), QStringLiteral("JPEG"));
        }
        QVERIFY(writeBytes(outputPath(), "/stored/folder/"));
        CProcessUI dialog;
        dialog.setupPreferences();
        QCOMPARE(dialog.folder(), QStringLiteral("/stored/folder/"));
    }

    void okWritesChosenFolder_data() {
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("plain") << home.path() + "/shots" << (home.path() + "/shots/").toUtf8();
        QTest::newRow("spaces and non-ASCII")
            << home.path() + "/Schnappschüsse 1" << (home.path() + "/Schnappschüsse 1/").toUtf8();
        QTest::newRow("root") << QStringLiteral("/") << QByteArray("/");
        // Not representable in the local 8-bit encoding: stored as converted.
        const QString broken = home.path() + "/bad" + QChar(0xD800) + "name";
        QTest::newRow("lone surrogate") << broken << (broken + "/").toLocal8Bit();
    }
    void okWritesChosenFolder() {
        QFETCH(QString, picked);
        QFETCH(QByteArray, stored);
        AnsweredPreferences dialog;
        dialog.answer = picked;
        dialog.setupPreferences();
        dialog.formatBox()->setCurrentIndex(1);
        dialog.btnChoosePath();
        QCOMPARE(dialog.folderField()->text(), dialog.folder());
        QVERIFY(!QFile::exists(outputPath())); // nothing stored before OK
        dialog.btnOK();
        QCOMPARE(dialog.resultFlag(), 0);
        QCOMPARE(dialog.formatIndex(), 1);
        QCOMPARE(readBytes(outputPath()), stored);
        QCOMPARE(readOutputPath(dataFolderPath()), QString::fromLocal8Bit(stored));
    }

    void folderNamedWithStrayBytes() {
        // A real folder whose name is not valid text in the local encoding.
        const QByteArray name = QFile::encodeName(home.path()) + "/raw\xff\xfe" + "dir";
        QVERIFY(::mkdir(name.constData(), 0755) == 0);
        AnsweredPreferences dialog;
        dialog.answer = QFile::decodeName(name);
        dialog.setupPreferences();
        dialog.btnChoosePath();
        dialog.btnOK();
        QCOMPARE(dialog.resultFlag(), 0);
        const QString back = readOutputPath(dataFolderPath());
        QCOMPARE(back, QFile::decodeName(name) + "/");
    }

    void cancelChangesNothing_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel, nothing stored") << false << "cancelButton";
        QTest::newRow("cancel, stored") << true << "cancelButton";
        QTest::newRow("close button") << true << "closeButton";
    }
    void cancelChangesNothing() {
        QFETCH(bool, stored);
        QFETCH(QString, how);
        if (stored)
            QVERIFY(writeBytes(outputPath(), "/old/place/"));
        AnsweredPreferences dialog;
        dialog.answer = home.path() + "/elsewhere";
        dialog.setupPreferences();
        dialog.btnChoosePath();
        dialog.formatBox()->setCurrentIndex(2);
        dialog.show();
        dialog.findChild<QPushButton*>(how)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.resultFlag(), 1);
        QCOMPARE(QFile::exists(outputPath()), stored);
        if (stored)
            QCOMPARE(readBytes(outputPath()), QByteArray("/old/place/"));
    }

    void chooserCancelled() {
        QVERIFY(writeBytes(outputPath(), "/old/place/"));
        AnsweredPreferences dialog;
        dialog.answer = QString(); // null
        dialog.setupPreferences();
        dialog.btnChoosePath();
        QCOMPARE(dialog.chooserRuns, 1);
        QCOMPARE(dialog.folder(), QStringLiteral("/old/place/"));
        QCOMPARE(dialog.folderField()->text(), QStringLiteral("/old/place/"));
    }

    void openCreatesAndOpensPickedFolder() {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        AnsweredPreferences dialog;
        dialog.answer = home.path() + "/not yet/there";
        dialog.setupPreferences();
        dialog.btnChoosePath();
        dialog.btnOpenFolder();
        QDesktopServices::unsetUrlHandler("file");
        QVERIFY(QFileInfo(home.path() + "/not yet/there").isDir());
        QCOMPARE(recorder.urls.size(), 1);
        QCOMPARE(recorder.urls.first().toLocalFile(), home.path() + "/not yet/there/");
        QVERIFY(!QFile::exists(outputPath()));
    }

    void unwritableOutputPath() {
        // A folder in the file's place: the save fails whoever runs the test.
        QVERIFY(QDir().mkpath(outputPath()));
        AnsweredPreferences dialog;
        dialog.answer = home.path() + "/shots";
        dialog.setupPreferences();
        dialog.formatBox()->setCurrentIndex(1);
        dialog.btnChoosePath();
        dialog.btnOK();
        QCOMPARE(dialog.resultFlag(), 0); // not reported; the format still counts
        QCOMPARE(dialog.formatText(), QStringLiteral("PNG"));
        QVERIFY(QFileInfo(outputPath()).isDir());
    }

    // Keys go where a user's keys go: to the focus widget of the active window.
    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<bool>("closed");
        QTest::newRow("Return confirms") << int(Qt::Key_Return) << true << true;
        QTest::newRow("Enter confirms") << int(Qt::Key_Enter) << true << true;
        QTest::newRow("Escape cancels") << int(Qt::Key_Escape) << false << true;
        QTest::newRow("Space opens the list") << int(Qt::Key_Space) << false << false;
    }
    void keys() {
        QFETCH(int, key);
        QFETCH(bool, confirmed);
        QFETCH(bool, closed);
        QWidget mainWindow;
        mainWindow.show();
        CProcessUI dialog;
        dialog.setupPreferences();
        dialog.formatBox()->setCurrentIndex(2);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key(key));
        QCOMPARE(dialog.isHidden(), closed);
        QVERIFY(!dialog.isMinimized() && !mainWindow.isMinimized());
        QCOMPARE(dialog.resultFlag(), confirmed ? 0 : 1);
        QCOMPARE(QFile::exists(outputPath()), confirmed);
        if (confirmed)
            QCOMPARE(dialog.formatIndex(), 2);
        if (!closed) {
            QTRY_VERIFY(dialog.formatBox()->view()->isVisible());
            dialog.formatBox()->hidePopup();
        }
    }

    // Tab walks the body; the title strip's buttons are for the mouse only.
    void tabNeverReachesTheTitleStrip() {
        CProcessUI dialog;
        dialog.setupPreferences();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QSet<QWidget*> reached;
        for (int i = 0; i < 12; ++i) {
            reached << QApplication::focusWidget();
            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
        }
        QVERIFY(reached.contains(dialog.findChild<QPushButton*>("okButton")));
        QVERIFY(reached.contains(dialog.findChild<QPushButton*>("cancelButton")));
        for (const char* name : {"minButton", "closeButton"}) {
            auto* button = dialog.findChild<QPushButton*>(name);
            QVERIFY(!reached.contains(button));
            QVERIFY(!button->autoDefault() && !button->isDefault());
        }
    }

    // The dialog never disappears alone while it blocks the main window.
    void minimisesAndRestoresWithTheApplication() {
        QWidget mainWindow;
        mainWindow.show();
        CProcessUI dialog;
        dialog.setupPreferences();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.findChild<QPushButton*>("minButton")->click();
        QVERIFY(dialog.isMinimized());
        QVERIFY(mainWindow.isMinimized());
        QVERIFY(dialog.isVisible());
        // The main window's task-bar entry brings both back.
        mainWindow.setWindowState(mainWindow.windowState() & ~Qt::WindowMinimized);
        QVERIFY(!dialog.isMinimized());
        // The window manager minimising either takes the other along.
        dialog.setWindowState(Qt::WindowMinimized);
        QVERIFY(mainWindow.isMinimized());
        dialog.setWindowState(Qt::WindowNoState);
        QVERIFY(!mainWindow.isMinimized());
        mainWindow.showMinimized();
        QVERIFY(dialog.isMinimized());
        // Closed, it no longer ties the windows together.
        mainWindow.showNormal();
        dialog.close();
        mainWindow.showMinimized();
        QVERIFY(!dialog.isMinimized());
    }

    void dragWithLeftButtonOnly() {
        CProcessUI dialog;
        dialog.setupPreferences();
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        QWidget* body = &dialog;
        auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
            QMouseEvent event(type, local, body->mapToGlobal(local), button, buttons, Qt::NoModifier);
            QCoreApplication::sendEvent(body, &event);
        };
        send(QEvent::MouseButtonPress, {300, 120}, Qt::RightButton, Qt::RightButton);
        send(QEvent::MouseMove, {340, 150}, Qt::NoButton, Qt::RightButton);
        QCOMPARE(dialog.pos(), start);
        QVERIFY(dialog.isVisible()); // no close on the right button
        send(QEvent::MouseButtonPress, {300, 120}, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, {340, 150}, Qt::NoButton, Qt::LeftButton);
        QCOMPARE(dialog.pos(), start + QPoint(40, 30));
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
