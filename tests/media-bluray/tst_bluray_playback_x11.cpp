// End to end under X: a generated disc played by the real engine through the
// launcher, choosing a title that libbluray does not list first.
#include <QAction>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include <libbluray/bluray.h>

#include "BlurayTestSupport.h"
#include "common/TestEnv.h"
#include "media/DiscScan.h"
#include "ui/DRUI.h"

KZP_TEMPORARY_HOME()

class BlurayPlaybackTest : public QObject {
    Q_OBJECT

private slots:
    void chosenTitleIsWhatPlays();

private:
    QTemporaryDir dir;
};

void BlurayPlaybackTest::chosenTitleIsWhatPlays() {
    if (QStandardPaths::findExecutable("mplayer").isEmpty() ||
        QStandardPaths::findExecutable("ffmpeg").isEmpty())
        QSKIP("needs mplayer and ffmpeg");
    registerPlayListInfoType();
    const QString folder = dir.filePath("disc");
    QString error;
    QVERIFY2(genbd::writeDisc(folder, genbd::sampleDisc(), &error), qPrintable(error));

    // libbluray's list, in the order the engine numbers it.
    QStringList engineOrder;
    BLURAY* bd = bd_open(QFile::encodeName(folder).constData(), nullptr);
    QVERIFY(bd);
    const quint32 count = bd_get_titles(bd, TITLES_RELEVANT, 0);
    for (quint32 i = 0; i < count; ++i) {
        BLURAY_TITLE_INFO* info = bd_get_title_info(bd, i, 0);
        engineOrder << QStringLiteral("%1.mpls").arg(info->playlist, 5, 10, QChar('0'));
        bd_free_title_info(info);
    }
    bd_close(bd);

    // Engine output is copied to a log on its way to the player.
    const QString log = dir.filePath("engine.log");
    const QString wrapper = dir.filePath("engine.sh");
    QVERIFY(bdtest::writeBytes(wrapper, "#!/bin/bash\nexec mplayer \"$@\" > >(tee -a \"" +
                                            QFile::encodeName(log) + "\") 2>/dev/null\n"));
    QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("KZP_ENGINE", QFile::encodeName(wrapper));
    qputenv("KZP_AO", "null");

    DRUI window;
    window.setupWindow();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.buildDiscMenus(folder);
    const DiscInfo disc = scanDisc(folder);
    QCOMPARE(disc.titles.size(), 3);

    // A title of the title menu that is not libbluray's first entry. Single-clip
    // titles only: the engine estimates the length of a multi-clip title from
    // its first clip.
    QMenu* titles = window.part<QMenu>("discMenu")->actions().value(4)->menu<QMenu*>(); // "Other titles"
    QAction* chosen = nullptr;
    qsizetype engineIndex = -1;
    qint64 seconds = 0;
    for (qsizetype n = 0; n < disc.titles.size() && !chosen; ++n) {
        const qsizetype at = engineOrder.indexOf(QFileInfo(disc.titles[n].playlist).fileName());
        if (at > 0 && disc.titles[n].clips.size() == 1) {
            chosen = titles->actions().value(n);
            engineIndex = at;
            seconds = disc.titles[n].seconds;
        }
    }
    QVERIFY2(chosen, qPrintable(engineOrder.join(',')));
    window.BDMenuOperate(chosen);

    auto logText = [&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("ANS_LENGTH="), 20000);
    const QByteArray out = logText();
    QVERIFY2(out.contains("Playing br://" + QByteArray::number(engineIndex + 1) + "."), out.constData());
    const qsizetype at = out.indexOf("ANS_LENGTH=");
    const double length = out.mid(at + 11, out.indexOf('\n', at) - at - 11).trimmed().toDouble();
    QVERIFY2(qAbs(length - double(seconds)) < 0.6,
             qPrintable(QStringLiteral("%1 vs %2").arg(length).arg(seconds)));
    window.endEngine();
}

QTEST_MAIN(BlurayPlaybackTest)
#include "tst_bluray_playback_x11.moc"
