// The disc page: tables, popups and their menu-bar mirrors, and what a
// choice in the disc page's menu does (with the fake engine).
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QtTest>

#include "BlurayTestSupport.h"
#include "common/FakeEngine.h"
#include "common/TestEnv.h"
#include "ui/DRUI.h"

KZP_TEMPORARY_HOME()

using namespace bdtest;

namespace {

QStringList texts(const QMenu* menu) {
    QStringList out;
    if (menu)
        for (const QAction* a : menu->actions())
            out << a->text();
    return out;
}

QMenu* popup(QAction* entry) {
    return entry ? entry->menu<QMenu*>() : nullptr;
}

QAction* entryNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace

class DiscMenusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pageTablesAndPopups();
    void chapterTextsAndNoAudio();
    void discWithoutMetadataOrTitles();
    void hostilePictures_data();
    void hostilePictures();
    void streamChoicesAreStoredWithoutPlaying_data();
    void streamChoicesAreStoredWithoutPlaying();
    void entriesThatPlay_data();
    void entriesThatPlay();

private:
    QString disc(const QString& name, const QList<QPair<QString, genbd::Playlist>>& playlists,
                 bool metadata = true);
    QTemporaryDir dir;
    QString sample, choices;
    DRUI* window = nullptr;
    FakeEngine* fake = nullptr;
};

QString DiscMenusTest::disc(const QString& name, const QList<QPair<QString, genbd::Playlist>>& playlists,
                            bool metadata) {
    genbd::DiscLayout layout;
    layout.playlists = playlists;
    layout.thumbnail = metadata;
    const QString folder = dir.filePath(name);
    if (!genbd::writeDisc(folder, layout))
        return {};
    if (!metadata)
        QFile::remove(folder + "/BDMV/META/DL/bdmt_eng.xml");
    return folder;
}

void DiscMenusTest::initTestCase() {
    registerPlayListInfoType();
    sample = dir.filePath("sample");
    genbd::DiscLayout layout = genbd::sampleDisc();
    layout.clips.clear();
    QVERIFY(genbd::writeDisc(sample, layout));

    genbd::Playlist main;
    main.items = {playItem("00001", 0, 600)};
    main.items[0].audio = {audioStream("eng"), audioStream("jpn", 0x82, 0x1101)};
    main.items[0].subtitles = {subtitleStream("jpn"), subtitleStream("eng", 0x90, 0x1201)};
    main.marks = {{1, 0, 0, 0xFFFF, 0}, {1, 0, 120 * 45000, 0xFFFF, 0}};
    genbd::Playlist extra;
    extra.items = {playItem("00002", 0, 60)};
    choices = disc("choices", {{"00000.mpls", main}, {"00001.mpls", extra}});
    QVERIFY(!choices.isEmpty());
}

void DiscMenusTest::init() {
    fake = new FakeEngine;
    window = new DRUI;
    window->setupWindow();
    window->setEnginePath(FakeEngine::program());
}

void DiscMenusTest::cleanup() {
    window->endEngine();
    delete window;
    window = nullptr;
    delete fake;
    fake = nullptr;
}

void DiscMenusTest::pageTablesAndPopups() {
    window->buildDiscMenus(sample);
    const QString list = sample + "/BDMV/PLAYLIST/";
    QCOMPARE(window->discNameLabel->text(), QString("Generated Test Disc"));
    QCOMPARE(window->discPictureLabel->pixmap().size(), QSize(416, 240));
    QCOMPARE(window->pageStack->currentIndex(), 1);
    QCOMPARE(window->sourceKey, list + "00005.mpls");
    QCOMPARE(window->titleTable,
             (QMap<QString, qint32>{
                 {list + "00000.mpls", 1}, {list + "00001.mpls", 2}, {list + "00005.mpls", 4}}));
    QCOMPARE(window->audioChoiceTable.value(list + "00005.mpls"), 1);
    QCOMPARE(window->subtitleChoiceTable.value(list + "00001.mpls"), 0);
    QCOMPARE(window->discFolderTable.value(list + "00000.mpls"), sample);
    QCOMPARE(window->chapterTable.value(list + "00005.mpls"), (QList<qint32>{0, 3000, 5000}));

    const QStringList chapters{"1. 00:00:00", "2. 00:00:03", "3. 00:00:05"};
    const QStringList titles{"1. 00:00:09", "2. 00:00:06", "3. 00:00:03"};
    QCOMPARE(texts(popup(window->discChapterAction)), chapters);
    QCOMPARE(texts(popup(window->discAudioAction)), (QStringList{"Disable", "DEU TRUEHD"}));
    QCOMPARE(texts(popup(window->discSubtitleAction)), QStringList{});
    QCOMPARE(texts(popup(window->discTitlesAction)), titles);
    QCOMPARE(window->activeAudioAction, popup(window->discAudioAction)->actions().value(1));
    QCOMPARE(popup(window->discAudioAction)->activeAction(), window->activeAudioAction);
    QVERIFY(!window->activeSubtitleAction);

    const QAction* second = popup(window->discTitlesAction)->actions().value(1);
    const PLAY_LIST_INFO info = second->data().value<PLAY_LIST_INFO>();
    QCOMPARE(info.kind, 2);
    QCOMPARE(info.path, list + "00000.mpls");
    QCOMPARE(info.duration, QString("00:00:06"));

    // The menu-bar mirrors hold the same entries.
    if (window->chapterMenu)
        QCOMPARE(texts(window->chapterMenu), chapters);
    if (window->titleMenu)
        QCOMPARE(texts(window->titleMenu), titles);
    if (window->audioTrackMenu) {
        QCOMPARE(texts(window->audioTrackMenu), (QStringList{"Disable", "DEU TRUEHD"}));
        QVERIFY(window->audioTrackMenu->actions()[1]->isChecked());
        QVERIFY(!window->audioTrackMenu->actions()[0]->isChecked());
    }
    if (window->subtitleTrackMenu)
        QVERIFY(window->subtitleTrackMenu->actions().isEmpty());

    // A second disc replaces the tables but keeps the earlier folders and choices.
    window->buildDiscMenus(choices);
    QVERIFY(!window->titleTable.contains(list + "00000.mpls"));
    QCOMPARE(window->discFolderTable.value(list + "00000.mpls"), sample);
    QCOMPARE(window->titleTable.size(), 2);
    QCOMPARE(texts(popup(window->discSubtitleAction)), (QStringList{"Disable", "Japanese", "English"}));
    QCOMPARE(window->activeSubtitleAction, popup(window->discSubtitleAction)->actions().value(0));
    if (window->subtitleTrackMenu)
        QVERIFY(window->subtitleTrackMenu->actions().value(0)->isChecked());
}

void DiscMenusTest::chapterTextsAndNoAudio() {
    genbd::Playlist p;
    p.items = {playItem("00001", 0, 1000)};
    p.items[0].audio.clear();
    p.marks = {{1, 0, 0, 0xFFFF, 0}, {1, 0, 754 * 45000, 0xFFFF, 0}};
    const QString folder = disc("silent", {{"00000.mpls", p}});
    window->buildDiscMenus(folder);
    QCOMPARE(texts(popup(window->discChapterAction)), (QStringList{"1. 00:00:00", "2. 00:12:34"}));
    QVERIFY(popup(window->discAudioAction));
    QVERIFY(popup(window->discAudioAction)->actions().isEmpty());
    QVERIFY(!window->activeAudioAction);
    QCOMPARE(window->audioChoiceTable.value(window->sourceKey, -1), 0);
}

void DiscMenusTest::discWithoutMetadataOrTitles() {
    genbd::Playlist p;
    p.items = {playItem("00001", 0, 10)};
    window->buildDiscMenus(disc("bare", {{"00000.mpls", p}}, false));
    QCOMPARE(window->discNameLabel->text(), QString());
    QVERIFY(window->discPictureLabel->pixmap().isNull());
    QCOMPARE(window->pageStack->currentIndex(), 1);
    QCOMPARE(window->titleTable.size(), 1);

    window->pageStack->setCurrentIndex(0);
    window->buildDiscMenus(disc("empty", {{"00000.mpls", genbd::Playlist{}}}));
    QVERIFY(window->sourceKey.isEmpty());
    QVERIFY(window->titleTable.isEmpty());
    QCOMPARE(window->pageStack->currentIndex(), 0);
    QVERIFY(!fake->hasStarted());
}

void DiscMenusTest::hostilePictures_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("metadata is a pipe") << "metadata pipe";
    QTest::newRow("picture is a pipe") << "picture pipe";
    QTest::newRow("picture outside the metadata folder") << "outside";
    QTest::newRow("picture 4097 pixels wide") << "wide";
}

void DiscMenusTest::hostilePictures() {
    QFETCH(QString, kind);
    genbd::Playlist p;
    p.items = {playItem("00001", 0, 10)};
    const QString folder = disc(kind.section(' ', 0, 0), {{"00000.mpls", p}}, false);
    const QString meta = folder + "/BDMV/META/DL/";
    QString href = "pic.png", pipe;
    if (kind == "metadata pipe") {
        pipe = meta + "bdmt_eng.xml";
    } else if (kind == "picture pipe") {
        pipe = meta + href;
    } else if (kind == "outside") {
        // A picture elsewhere on the machine, reached by climbing out.
        href = "../../outside.png";
        QVERIFY(writeBytes(folder + "/BDMV/outside.png", pictureBytes(QSize(64, 64), "PNG")));
    } else {
        QVERIFY(writeBytes(meta + href, pictureBytes(QSize(4097, 2), "PNG")));
    }
    if (!pipe.isEmpty())
        QVERIFY(QDir().mkpath(meta) && makeFifo(pipe));
    if (kind != "metadata pipe")
        QVERIFY(writeBytes(meta + "bdmt_eng.xml", genbd::metadataXml("Hostile", href.toUtf8())));
    {
        const PipeRelease release(pipe.isEmpty() ? dir.filePath("no-pipe") : pipe);
        window->buildDiscMenus(folder);
        QVERIFY2(!release.released(), "the disc page waited on a pipe");
    }
    QVERIFY(window->discPictureLabel->pixmap().isNull());
    QCOMPARE(window->discNameLabel->text(), kind == "metadata pipe" ? QString() : QString("Hostile"));
    QCOMPARE(window->titleTable.size(), 1);
}

void DiscMenusTest::streamChoicesAreStoredWithoutPlaying_data() {
    QTest::addColumn<bool>("subtitle");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<qint32>("stored");
    QTest::newRow("subtitle English") << true << "English" << 2;
    QTest::newRow("subtitle Disable") << true << "Disable" << 0;
    QTest::newRow("audio Japanese") << false << "Japanese DTS" << 2;
    QTest::newRow("audio Disable") << false << "Disable" << 0;
}

void DiscMenusTest::streamChoicesAreStoredWithoutPlaying() {
    QFETCH(bool, subtitle);
    QFETCH(QString, entry);
    QFETCH(qint32, stored);
    window->buildDiscMenus(choices);
    QMenu* menu = popup(subtitle ? window->discSubtitleAction : window->discAudioAction);
    QAction* action = entryNamed(menu, entry);
    QVERIFY(action);
    window->BDMenuOperate(action);
    const auto& table = subtitle ? window->subtitleChoiceTable : window->audioChoiceTable;
    QCOMPARE(table.value(window->sourceKey, -1), stored);
    QCOMPARE(subtitle ? window->activeSubtitleAction : window->activeAudioAction, action);
    QCOMPARE(menu->activeAction(), action);
    QVERIFY(!window->engineProcess);
    QVERIFY(!fake->hasStarted());
}

void DiscMenusTest::entriesThatPlay_data() {
    QTest::addColumn<QString>("which"); // "movie", "chapter", "title"
    QTest::addColumn<QString>("title");
    QTest::addColumn<qint32>("start");
    QTest::newRow("play movie") << "movie"
                                << "br://0" << 0;
    QTest::newRow("second chapter") << "chapter"
                                    << "br://0" << 120;
    QTest::newRow("second title") << "title"
                                  << "br://2" << 0;
}

void DiscMenusTest::entriesThatPlay() {
    QFETCH(QString, which);
    QFETCH(QString, title);
    QFETCH(qint32, start);
    window->buildDiscMenus(choices);
    window->startPosition = 77;
    QAction* action = window->discPlayMovieAction;
    if (which == "chapter")
        action = popup(window->discChapterAction)->actions().value(1);
    else if (which == "title")
        action = popup(window->discTitlesAction)->actions().value(1);
    QVERIFY(action);
    window->BDMenuOperate(action);
    QCOMPARE(window->startPosition, start);
    QCOMPARE(window->titleChosen, which == "title");
    if (which == "title")
        QCOMPARE(window->sourceKey, choices + "/BDMV/PLAYLIST/00001.mpls");
    QVERIFY(fake->waitForStart());
    const QStringList args = fake->arguments();
    const qsizetype at = args.indexOf(title);
    QVERIFY2(at >= 0, qPrintable(args.join(' ')));
    QCOMPARE(args.mid(at + 1, 2), (QStringList{"-bluray-device", choices}));
    if (start > 0)
        QVERIFY(fake->waitForCommand(QByteArray("seek ") + QByteArray::number(start) + " 2"));
    QCOMPARE(window->playList.size(), 1);
    QCOMPARE(window->playList[0].path, choices);
}

QTEST_MAIN(DiscMenusTest)
#include "tst_disc_menus.moc"
