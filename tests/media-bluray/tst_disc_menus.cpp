// The disc page: its popups and their menu-bar mirrors, the stream choices it
// records in the disc model, and what a choice in its menu plays. The tables themselves are tested with the
// disc model.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "BlurayTestSupport.h"
#include "common/FakeEngine.h"
#include "common/IntentEngine.h"
#include "common/Playback.h"
#include "common/TestEnv.h"
#include "engine/MPlayerEngine.h"
#include "media/DiscScan.h"
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

QAction* entryNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

// The disc page's entries, in their order.
enum DiscEntry { PlayMovie, Chapters, Audio, Subtitles, Titles };

// Counts a widget's paints while `when` holds.
class PaintCounter : public QObject {
public:
    PaintCounter(QWidget* widget, std::function<bool()> when) : when(std::move(when)) {
        widget->installEventFilter(this);
    }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && when())
            ++paints;
        return false;
    }

private:
    std::function<bool()> when;
};

} // namespace

class DiscMenusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void popupsAndMirrors();
    void discWithoutMetadataAudioOrTitles();
    void hostilePictures_data();
    void hostilePictures();
    void streamChoicesAreStoredAndReachTheEngine_data();
    void streamChoicesAreStoredAndReachTheEngine();
    void entriesThatPlay_data();
    void entriesThatPlay();
    void chapterStepsWithinTheTitle();
    void whileABigDiscIsRead_data();
    void whileABigDiscIsRead();

private:
    QString disc(const QString& name, const QList<QPair<QString, genbd::Playlist>>& playlists,
                 bool metadata = true);
    QAction* entry(DiscEntry which) const { return menu("discMenu")->actions().value(which); }
    QMenu* popup(DiscEntry which) const { return entry(which) ? entry(which)->menu<QMenu*>() : nullptr; }
    QMenu* menu(const QString& name) const { return window->part<QMenu>(name); }
    QTemporaryDir dir;
    QString sample, choices, bigDisc, playerFolder;
    DRUI* window = nullptr;
    IntentEngine* engine = nullptr;
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
    playerFolder = QDir::currentPath();
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

    // As many playlists as a scan reads, and a title whose chapters fill
    // long menus.
    genbd::Playlist chaptered;
    chaptered.items = {playItem("00002", 0, 3000)};
    for (quint32 n = 0; n < 2000; ++n)
        chaptered.marks.append({1, 0, n * 45000, 0xFFFF, 0});
    bigDisc = disc("big", {{"zz.mpls", chaptered}});
    QVERIFY(writeBytes(dir.filePath("copy.mpls"), genbd::mplsBytes(extra)));
    QVERIFY(linkCopies(dir.filePath("copy.mpls"), bigDisc + "/BDMV/PLAYLIST", int(kDiscPlaylistLimit) - 1));
}

void DiscMenusTest::init() {
    window = new DRUI;
    window->setupWindow();
    engine = IntentEngine::install(window->playback());
}

void DiscMenusTest::cleanup() {
    if (window)
        window->endEngine();
    delete window;
    window = nullptr;
}

void DiscMenusTest::popupsAndMirrors() {
    window->buildDiscMenus(sample);
    const QString list = sample + "/BDMV/PLAYLIST/";
    QCOMPARE(window->part<QLabel>("discNameLabel")->text(), QString("Generated Test Disc"));
    QCOMPARE(window->part<QLabel>("discPictureLabel")->pixmap().size(), QSize(416, 240));
    QCOMPARE(window->playback().page(), Page::Disc);
    QCOMPARE(window->playback().currentSource().titleKey, list + "00005.mpls"); // the longest title

    const QStringList chapters{"1. 00:00:00", "2. 00:00:03", "3. 00:00:05"};
    const QStringList titles{"1. 00:00:09", "2. 00:00:06", "3. 00:00:03"};
    QCOMPARE(texts(popup(Chapters)), chapters);
    QCOMPARE(texts(popup(Audio)), (QStringList{"Disable", "DEU TRUEHD"}));
    QCOMPARE(texts(popup(Subtitles)), QStringList{});
    QCOMPARE(texts(popup(Titles)), titles);
    QCOMPARE(popup(Audio)->activeAction(), popup(Audio)->actions().value(1));
    QVERIFY(!popup(Subtitles)->activeAction());

    const PLAY_LIST_INFO info = popup(Titles)->actions().value(1)->data().value<PLAY_LIST_INFO>();
    QCOMPARE(info.kind, 2);
    QCOMPARE(info.path, list + "00000.mpls");
    QCOMPARE(info.duration, QString("00:00:06"));

    // The menu-bar mirrors hold the same entries.
    QCOMPARE(texts(menu("chapterMenu")), chapters);
    QCOMPARE(texts(menu("titleMenu")), titles);
    QCOMPARE(texts(menu("audioTrackMenu")), (QStringList{"Disable", "DEU TRUEHD"}));
    QVERIFY(menu("audioTrackMenu")->actions()[1]->isChecked());
    QVERIFY(!menu("audioTrackMenu")->actions()[0]->isChecked());
    QVERIFY(menu("subtitleTrackMenu")->actions().isEmpty());

    // A second disc replaces the popups and mirrors.
    window->buildDiscMenus(choices);
    QCOMPARE(texts(popup(Titles)), (QStringList{"1. 00:10:00", "2. 00:01:00"}));
    QCOMPARE(texts(menu("titleMenu")), (QStringList{"1. 00:10:00", "2. 00:01:00"}));
    QCOMPARE(texts(popup(Subtitles)), (QStringList{"Disable", "Japanese", "English"}));
    QCOMPARE(popup(Subtitles)->activeAction(), popup(Subtitles)->actions().value(0));
    QVERIFY(menu("subtitleTrackMenu")->actions().value(0)->isChecked());
}

void DiscMenusTest::discWithoutMetadataAudioOrTitles() {
    genbd::Playlist p;
    p.items = {playItem("00001", 0, 1000)};
    p.items[0].audio.clear();
    p.marks = {{1, 0, 0, 0xFFFF, 0}, {1, 0, 754 * 45000, 0xFFFF, 0}};
    window->buildDiscMenus(disc("bare", {{"00000.mpls", p}}, false));
    QCOMPARE(window->part<QLabel>("discNameLabel")->text(), QString());
    QVERIFY(window->part<QLabel>("discPictureLabel")->pixmap().isNull());
    QCOMPARE(window->playback().page(), Page::Disc);
    QCOMPARE(texts(popup(Chapters)), (QStringList{"1. 00:00:00", "2. 00:12:34"}));
    QVERIFY(popup(Audio) && popup(Audio)->actions().isEmpty() && !popup(Audio)->activeAction());
    QVERIFY(menu("audioTrackMenu")->actions().isEmpty());

    // No title at all: nothing to show, the page stays.
    window->playback().showPage(Page::Start);
    window->buildDiscMenus(disc("empty", {{"00000.mpls", genbd::Playlist{}}}));
    QVERIFY(window->playback().currentSource().titleKey.isEmpty());
    QCOMPARE(window->playback().page(), Page::Start);
    QVERIFY(engine->intents.isEmpty());
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
    QVERIFY(window->part<QLabel>("discPictureLabel")->pixmap().isNull());
    QCOMPARE(window->part<QLabel>("discNameLabel")->text(),
             kind == "metadata pipe" ? QString() : QString("Hostile"));
    QVERIFY(window->discModel().hasTitle(window->playback().currentSource().titleKey));
}

void DiscMenusTest::streamChoicesAreStoredAndReachTheEngine_data() {
    QTest::addColumn<bool>("subtitle");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<qint32>("stored");
    QTest::addColumn<QStringList>("sent"); // stream choices once the video starts
    QTest::newRow("subtitle English") << true << "English" << 2 << QStringList{"subtitle 1", "audio 0"};
    QTest::newRow("subtitle Disable") << true << "Disable" << 0 << QStringList{"audio 0"};
    QTest::newRow("audio Japanese") << false << "Japanese DTS" << 2 << QStringList{"audio 1"};
    QTest::newRow("audio Disable") << false << "Disable" << 0 << QStringList{};
}

void DiscMenusTest::streamChoicesAreStoredAndReachTheEngine() {
    QFETCH(bool, subtitle);
    QFETCH(QString, entry);
    QFETCH(qint32, stored);
    QFETCH(QStringList, sent);
    window->buildDiscMenus(choices);
    const QString key = window->playback().currentSource().titleKey;
    QMenu* list = popup(subtitle ? Subtitles : Audio);
    QAction* action = entryNamed(list, entry);
    QVERIFY(action);
    window->BDMenuOperate(action);
    QCOMPARE(subtitle ? window->discModel().subtitleChoice(key) : window->discModel().audioChoice(key),
             stored);
    QCOMPARE(list->activeAction(), action);
    QVERIFY(engine->intents.isEmpty());

    // The engine confirms the disc's two audio and two subtitle streams.
    QLabel* length = window->part<QLabel>("lengthLabel");
    length->clear(); // the page shows the title's length already; the engine's answer sets it again
    window->BDMenuOperate(this->entry(PlayMovie));
    emit engine->playingStarted();
    for (int n = 0; n < 2; ++n)
        emit engine->audioStreamSeen();
    for (int n = 0; n < 2; ++n)
        emit engine->subtitleStreamSeen();
    emit engine->videoStarted();
    emit engine->lengthAnswered(600);
    QCOMPARE(length->text(), QStringLiteral(" 00:10:00"));
    QCOMPARE(engine->take().filter(QRegularExpression("^(audio|subtitle) ")), sent);
    // The counts match the disc's lists: its labelled mirrors stay.
    QCOMPARE(texts(menu("audioTrackMenu")), (QStringList{"Disable", "English AC3", "Japanese DTS"}));
    QCOMPARE(texts(menu("subtitleTrackMenu")), (QStringList{"Disable", "Japanese", "English"}));
}

void DiscMenusTest::entriesThatPlay_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("title");
    QTest::addColumn<qint32>("start");
    QTest::newRow("play movie") << int(PlayMovie) << "br://0" << 0;
    QTest::newRow("second chapter") << int(Chapters) << "br://0" << 120;
    QTest::newRow("second title") << int(Titles) << "br://2" << 0;
}

void DiscMenusTest::entriesThatPlay() {
    QFETCH(int, which);
    QFETCH(QString, title);
    QFETCH(qint32, start);
    window->buildDiscMenus(choices);
    QAction* action = which == PlayMovie ? entry(PlayMovie) : popup(DiscEntry(which))->actions().value(1);
    QVERIFY(action);
    // The engine's command line and the folder it runs in: the process fake,
    // started through a script that records that folder.
    FakeEngine fake;
    const QString cwdLog = fake.dir.filePath("cwd.txt"), wrapper = fake.dir.filePath("engine.sh");
    QVERIFY(writeBytes(wrapper,
                       "#!/bin/sh\npwd -P > '" + QFile::encodeName(cwdLog) + "'\nexec '" +
                           QFile::encodeName(FakeEngine::program()) + "' \"$@\"\n",
                       true));
    window->setEnginePath(wrapper);
    window->playback().setEngine(std::make_unique<MPlayerEngine>());
    window->BDMenuOperate(action);
    QCOMPARE(window->playback().currentSource().startSecond, start);
    QCOMPARE(window->playback().currentSource().titleChosen, which == Titles);
    if (which == Titles)
        QCOMPARE(window->playback().currentSource().titleKey, choices + "/BDMV/PLAYLIST/00001.mpls");
    QVERIFY(fake.waitForStart());
    const QStringList args = fake.arguments();
    const qsizetype at = args.indexOf(title);
    QVERIFY2(at >= 0, qPrintable(args.join(' ')));
    QCOMPARE(args.mid(at + 1, 2), (QStringList{"-bluray-device", choices}));
    if (start > 0)
        QVERIFY(fake.waitForCommand(QByteArray("seek ") + QByteArray::number(start) + " 2"));
    QCOMPARE(window->playListModel().size(), 1);
    QCOMPARE(window->playListModel().entries()[0].path, choices);
    QCOMPARE(window->playListModel().entries()[0].duration,
             QString(which == Titles ? "00:01:00" : "00:10:00"));
    // The engine runs in the disc's stream folder; the player stays where it was.
    QCOMPARE(QString::fromLocal8Bit(kzp::test::readBytes(cwdLog).trimmed()),
             QFileInfo(choices + "/BDMV/STREAM").canonicalFilePath());
    QCOMPARE(QDir::currentPath(), playerFolder);
    // The chapter belongs to this title: a source opened next starts at its own start.
    QTemporaryDir dvd;
    window->addDvdFolder(dvd.path());
    QCOMPARE(window->playback().playingSource().path, dvd.path());
    QCOMPARE(window->playback().playClockMs(), qint64(0));
    window->endEngine(); // before the fake's folder goes
}

void DiscMenusTest::chapterStepsWithinTheTitle() {
    window->buildDiscMenus(choices);
    window->BDMenuOperate(entry(PlayMovie));
    // Stand at second 50, in the first chapter.
    window->seekToChapter(50000);
    window->DoRefreshGui();
    emit engine->positionAnswered();
    QCOMPARE(window->playback().currentSecond(), qint64(50));
    engine->take();
    window->PlayPre(); // no chapter before the first: nothing
    QCOMPARE(engine->take().filter("seek "), QStringList());
    window->PlayNext();
    QCOMPARE(engine->take().filter("seek "), QStringList{"seek 120"});
    QVERIFY(window->playback().playClockMs() >= 120000 && window->playback().playClockMs() < 125000);
    QCOMPARE(window->playListModel().size(), 1); // a disc title steps chapters, not entries
}

// The window keeps painting while a big disc is read and its long menus
// fill, refuses to open another disc meanwhile, and ends up as the scan
// says; closed or destroyed meanwhile, it takes nothing from the scan.
void DiscMenusTest::whileABigDiscIsRead_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("filling"); // closed or destroyed once the menus fill, else while reading
    QTest::newRow("read to the end") << "end" << false;
    QTest::newRow("closed while reading") << "close" << false;
    QTest::newRow("destroyed while reading") << "destroy" << false;
    QTest::newRow("closed while its menus fill") << "close" << true;
    QTest::newRow("destroyed while its menus fill") << "destroy" << true;
}

void DiscMenusTest::whileABigDiscIsRead() {
    QFETCH(QString, how);
    QFETCH(bool, filling);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QPointer<DRUI> alive(window);
    PaintCounter counter(window, [&] { return alive && alive->isAddingFiles(); });
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (!alive || !alive->isAddingFiles())
            return;
        alive->update();
        alive->loadDiscFolder(choices);
        if (counter.paints == 0 || filling != !texts(menu("chapterMenu")).isEmpty())
            return;
        if (how == "close")
            alive->close();
        else if (how == "destroy")
            delete alive.data();
    });
    ticker.start(0);
    // As in the program, where closing the window quits every event loop.
    QTimer::singleShot(0, this, [&] {
        window->loadDiscFolder(bigDisc);
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    ticker.stop();
    window = alive.data();
    QVERIFY(counter.paints > 0);
    QCOMPARE(bool(window), how != "destroy");
    if (!window)
        return;
    QVERIFY(!window->isAddingFiles());
    const QString longest = bigDisc + "/BDMV/PLAYLIST/zz.mpls";
    if (how == "close") {
        QVERIFY(window->playback().page() != Page::Disc);
        QVERIFY(filling || !window->discModel().hasTitle(longest));
        return;
    }
    QCOMPARE(window->playback().page(), Page::Disc);
    QCOMPARE(window->playback().currentSource().titleKey, longest);
    const DiscInfo scanned = scanDisc(bigDisc);
    QStringList titles;
    for (qsizetype n = 0; n < scanned.titles.size(); ++n)
        titles << QString::number(n + 1) + ". " + scanned.titles[n].duration;
    QCOMPARE(texts(popup(Titles)), titles);
    QCOMPARE(texts(menu("titleMenu")), titles);
    QCOMPARE(texts(popup(Chapters)).size(), scanned.titles[0].chapters.size());
    QCOMPARE(texts(menu("chapterMenu")).size(), qsizetype(2000));
    QCOMPARE(texts(popup(Chapters)).last(), QString("2000. 00:33:19"));
}

QTEST_MAIN(DiscMenusTest)
#include "tst_disc_menus.moc"
