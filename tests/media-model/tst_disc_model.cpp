// The disc model: what loading a disc replaces and what it keeps, the fresh
// stream choices, title lengths and the disc folder of a title.
#include <QtTest>

#include "media/DiscModel.h"

namespace {

ClipInfo clip(qint32 milliseconds) {
    ClipInfo c;
    c.clipDuration = milliseconds;
    return c;
}

DiscTitle title(const QString& playlist, qint32 number, int audio, int subtitles,
                const QList<qint32>& chapters = {}) {
    DiscTitle t;
    t.number = number;
    t.playlist = playlist;
    t.clips = {clip(1500), clip(2999)};
    t.chapters = chapters;
    for (int n = 0; n < audio; ++n)
        t.audio << StreamInfo{0x1100 + n, QStringLiteral("Audio %1").arg(n)};
    for (int n = 0; n < subtitles; ++n)
        t.subtitles << StreamInfo{0x1200 + n, QStringLiteral("Subtitle %1").arg(n)};
    return t;
}

DiscInfo disc(const QString& folder, const QList<DiscTitle>& titles) {
    DiscInfo d;
    d.folder = folder;
    d.titles = titles;
    return d;
}

} // namespace

class DiscModelTest : public QObject {
    Q_OBJECT

private slots:
    void loadReplacesTablesKeepsFoldersAndChoices() {
        const QString a1 = "/one/BDMV/PLAYLIST/00001.mpls", a2 = "/one/BDMV/PLAYLIST/00002.mpls",
                      b1 = "/two/BDMV/PLAYLIST/00001.mpls";
        DiscModel model;
        model.load(disc("/one", {title(a1, 3, 2, 1, {0, 60000}), title(a2, 5, 0, 0)}));
        QVERIFY(model.hasTitle(a1) && model.hasTitle(a2));
        QCOMPARE(model.titleNumber(a2), 5);
        QCOMPARE(model.chapters(a1), (QList<qint32>{0, 60000}));
        QCOMPARE(model.audioStreams(a1).size(), 2);
        QCOMPARE(model.subtitleStreams(a1).value(0).label, QStringLiteral("Subtitle 0"));
        // Fresh choices: the first audio stream when there is one, subtitles off.
        QCOMPARE(model.audioChoice(a1), 1);
        QCOMPARE(model.audioChoice(a2), 0);
        QCOMPARE(model.subtitleChoice(a2), 0);
        QCOMPARE(model.audioChoice(b1), -1); // never seen
        model.setAudioChoice(a1, 2);
        model.setSubtitleChoice(a1, 1);

        model.load(disc("/two", {title(b1, 1, 1, 0)}));
        QVERIFY(!model.hasTitle(a1) && !model.hasChapters(a1) && model.clips(a1).isEmpty());
        QVERIFY(model.audioStreams(a1).isEmpty() && model.titleSeconds(a1) == 0);
        // An earlier disc's title still in the play list opens its own disc
        // with the streams chosen for it.
        QCOMPARE(model.discFolder(a1), QStringLiteral("/one"));
        QCOMPARE(model.discFolder(b1), QStringLiteral("/two"));
        QCOMPARE(model.audioChoice(a1), 2);
        QCOMPARE(model.subtitleChoice(a1), 1);

        // Loading the disc again starts its titles afresh.
        model.load(disc("/one", {title(a1, 3, 2, 1)}));
        QCOMPARE(model.audioChoice(a1), 1);
        QCOMPARE(model.subtitleChoice(a1), 0);
        QVERIFY(model.hasChapters(a1)); // listed even without marks
        QVERIFY(model.chapters(a1).isEmpty());

        // A disc without titles empties the tables and keeps the rest.
        model.load(disc("/three", {}));
        QVERIFY(!model.hasTitle(a1));
        QCOMPARE(model.discFolder(b1), QStringLiteral("/two"));
        QCOMPARE(model.audioChoice(b1), 1);
    }

    void titleSecondsAndFolderFallback() {
        const QString key = "/disc/BDMV/PLAYLIST/00000.mpls";
        DiscModel model;
        model.load(disc("/disc", {title(key, 1, 1, 0)}));
        QCOMPARE(model.titleSeconds(key), 3LL); // 1.5 s + 2.999 s, whole seconds per clip
        QCOMPARE(model.titleSeconds("/disc/unknown"), 0LL);
        QCOMPARE(model.discFolder("/disc/unknown"), QStringLiteral("/disc/unknown"));
    }
};

QTEST_GUILESS_MAIN(DiscModelTest)
#include "tst_disc_model.moc"
