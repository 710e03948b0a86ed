// The real program on a real X server: one top-level window, 1000 x 680, with the product title.
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "common/Processes.h"

class TestMainWindowX11 : public QObject {
    Q_OBJECT

    static QString xdotool(const QStringList& arguments) {
        return kzp::test::outputOf(QStringLiteral("xdotool"), arguments);
    }

private slots:
    void windowAppears() {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed");
        QTemporaryDir home;
        QProcessEnvironment env = kzp::test::playerEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path()); // a lock of its own (mode 0700)
        QProcess player;
        player.setProcessEnvironment(env);
        player.setWorkingDirectory(home.path());
        player.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kestrune-zyl-player"), {});
        QVERIFY(player.waitForStarted());

        // --sync waits until the window is mapped.
        const QString ids = xdotool({"search", "--sync", "--onlyvisible", "--name", "^Kestrune Zyl Player$"});
        QVERIFY2(!ids.isEmpty(), "no visible window titled Kestrune Zyl Player");
        const QStringList list = ids.split('\n');
        QCOMPARE(list.size(), 1);
        const QString geometry = xdotool({"getwindowgeometry", list.first()});
        QVERIFY2(geometry.contains(QStringLiteral("Geometry: 1000x680")), qPrintable(geometry));

        player.terminate();
        QVERIFY(player.waitForFinished(10000));
        QCOMPARE(player.exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMainWindowX11)
#include "tst_mainwindow_x11.moc"
