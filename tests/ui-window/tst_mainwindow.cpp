// The main window as built, and as rebuilt after a language switch.
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "ui/DRUI.h"

namespace {

// The page the video area shows: the one page the stack has not hidden.
QString shownPage(const DRUI& window) {
    for (const char* name : {"startPage", "discPage", "videoPage"}) {
        QWidget* page = window.part<QWidget>(QString::fromLatin1(name));
        if (page && !page->isHidden())
            return page->objectName();
    }
    return QString();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    QTemporaryDir home;

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    }

    void frameAndDataFolder() {
        DRUI window;
        window.setupWindow();
        // A second instance restores the window only when its title is exactly this.
        QCOMPARE(window.windowTitle(), QStringLiteral("Kestrune Zyl Player"));
        QVERIFY(window.acceptDrops());
        // Ready for the engine's screenshots before anything plays.
        const QString folder = window.playback().dataFolderPath();
        QCOMPARE(folder, home.path() + "/data/Kestrune Zyl Player/");
        QVERIFY(QFileInfo(folder).isDir());
    }

    void pagesFollowTheController() {
        DRUI window;
        window.setupWindow();
        QCOMPARE(shownPage(window), QStringLiteral("startPage"));
        const QList<QPair<Page, QString>> pages = {
            {Page::Video, "videoPage"}, {Page::Disc, "discPage"}, {Page::Start, "startPage"}};
        for (const auto& [page, name] : pages) {
            window.playback().showPage(page);
            QCOMPARE(shownPage(window), name);
        }
        QVERIFY(window.part<QWidget>("videoPage")->isAncestorOf(window.part<QWidget>("videoSurface")));
        QVERIFY(window.part<QWidget>("discPage")->isAncestorOf(window.part<QWidget>("discMenu")));
        // The disc page's menu is embedded in the page, not a pop-up.
        QVERIFY(!window.part<QWidget>("discMenu")->isWindow());
        QCOMPARE(window.part<QMenu>("discMenu")->actions().size(), 5);
    }

    void rebuildReplacesTheTree() {
        DRUI window;
        window.setupWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QPointer<QWidget> oldRoot = window.part<QWidget>("rootWidget");
        QPointer<QWidget> oldSurface = window.part<QWidget>("videoSurface");
        QWidget* central = window.part<QWidget>("centralWidget");
        window.playback().showPage(Page::Video);
        window.appendPlayListRows({PLAY_LIST_INFO{0, "/tmp/a.mkv", "00:00:10"}});
        QCOMPARE(window.part<QTableWidget>("playListTable")->rowCount(), 1);

        window.setupWindow();
        QVERIFY(window.part<QWidget>("rootWidget") != oldRoot);
        QVERIFY(window.part<QWidget>("videoSurface") != oldSurface);
        QCOMPARE(window.part<QWidget>("centralWidget"), central);
        QCOMPARE(shownPage(window), QStringLiteral("startPage"));
        QVERIFY(window.playListModel().isEmpty());
        QCOMPARE(window.part<QTableWidget>("playListTable")->rowCount(), 0);
        // The old tree is detached at once and freed by the event loop.
        QVERIFY(!oldRoot || oldRoot->parent() == nullptr);
        QTRY_VERIFY(oldRoot.isNull());
        QVERIFY(oldSurface.isNull());
        QCOMPARE(window.findChildren<QLabel*>(QStringLiteral("videoSurface")).size(), 1);
        QCOMPARE(window.findChildren<QTableWidget*>(QStringLiteral("playListTable")).size(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
