// A disc opened after a file has played: its page shows nothing of the file
// (the file's length in the time row), and Play starts the disc.
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "BlurayTestSupport.h"
#include "common/IntentEngine.h"
#include "common/Playback.h"
#include "common/TestEnv.h"
#include "ui/DRUI.h"

KZP_TEMPORARY_HOME()

class DiscAfterFileTest : public QObject {
    Q_OBJECT

private slots:
    void discPageAfterFile_data();
    void discPageAfterFile();
};

void DiscAfterFileTest::discPageAfterFile_data() {
    QTest::addColumn<bool>("ends");
    QTest::newRow("file stopped") << false;
    QTest::newRow("file ended") << true;
}

void DiscAfterFileTest::discPageAfterFile() {
    QFETCH(bool, ends);
    QTemporaryDir dir;
    const QString sample = dir.filePath("sample"); // its longest title lasts 9 s
    genbd::DiscLayout layout = genbd::sampleDisc();
    layout.clips.clear();
    QVERIFY(genbd::writeDisc(sample, layout));
    const QString file = dir.filePath("long film.mkv");
    QVERIFY(kzp::test::writeBytes(file, "not really a video"));

    DRUI window;
    window.setupWindow();
    IntentEngine* engine = IntentEngine::install(window.playback());
    window.playback().setSource(sourceAt(file, SourceKind::File, 6600));
    window.VideoPlay();
    if (ends)
        emit engine->ended(true);
    else
        window.StopBtn();
    auto* length = window.part<QLabel>("lengthLabel");
    QCOMPARE(length->text(), QStringLiteral(" 01:50:00")); // what played, once it ended

    window.loadDiscFolder(sample);
    QCOMPARE(window.playback().page(), Page::Disc);
    QCOMPARE(length->text(), QStringLiteral(" 00:00:09"));

    engine->take();
    window.VideoPlay(); // the Play button
    QCOMPARE(engine->take().filter("start ").size(), 1);
    QCOMPARE(engine->lastStart.source.path, sample);
    QCOMPARE(engine->lastStart.source.kind, SourceKind::BluRay);
    QCOMPARE(window.playback().page(), Page::Video);
}

QTEST_MAIN(DiscAfterFileTest)
#include "tst_disc_after_file.moc"
