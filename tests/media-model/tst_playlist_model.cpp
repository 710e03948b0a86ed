// The play list's duplicate rule and neighbours, and the chapter targets of
// previous and next within a disc title.
#include <QtTest>

#include "media/PlayListModel.h"

namespace {

PLAY_LIST_INFO entry(const QString& path, qint32 kind = 0) {
    return PLAY_LIST_INFO{kind, path, QString()};
}

QStringList paths(const QList<PLAY_LIST_INFO>& entries) {
    QStringList out;
    for (const PLAY_LIST_INFO& e : entries)
        out << e.path;
    return out;
}

QString neighbourPath(const PlayListModel& model, const QString& path, int direction) {
    const std::optional<PLAY_LIST_INFO> found = model.neighbour(path, direction);
    return found ? found->path : QStringLiteral("<none>");
}

} // namespace

class PlayListModelTest : public QObject {
    Q_OBJECT

private slots:
    void onlyListedEntriesCountAsDuplicates() {
        PlayListModel model;
        model.append({entry("/a"), entry("/b", 1)});
        // Equal candidates of one call are both kept; the order is the caller's.
        const QList<PLAY_LIST_INFO> fresh =
            model.unlisted({entry("/b"), entry("/c"), entry("/c"), entry("/a"), entry("/A"), entry("/b/")});
        QCOMPARE(paths(fresh), (QStringList{"/c", "/c", "/A", "/b/"}));
        model.append(fresh);
        QCOMPARE(model.indexOf("/c"), 2);
        QVERIFY(model.contains("/A") && !model.contains("/d"));
        model.clear();
        QVERIFY(model.isEmpty() && !model.contains("/a"));
        QCOMPARE(paths(model.unlisted({entry("/a")})), QStringList{"/a"});
    }

    void neighbours() {
        PlayListModel model;
        model.append({entry("/a")});
        QCOMPARE(neighbourPath(model, "/a", +1), QStringLiteral("<none>")); // fewer than two entries
        model.append({entry("/dvd", 1), entry("/a"), entry("/c")});
        QCOMPARE(neighbourPath(model, "/a", +1), QStringLiteral("/dvd")); // the first listing counts
        QCOMPARE(model.neighbour("/a", +1)->kind, 1);
        QCOMPARE(neighbourPath(model, "/c", -1), QStringLiteral("/a"));
        QCOMPARE(neighbourPath(model, "/a", -1), QStringLiteral("<none>")); // no wrap-around
        QCOMPARE(neighbourPath(model, "/c", +1), QStringLiteral("<none>"));
        QCOMPARE(neighbourPath(model, "/unlisted", +1), QStringLiteral("<none>"));
        QCOMPARE(neighbourPath(model, QString(), +1), QStringLiteral("<none>"));
    }

    void chapterTargets_data() {
        QTest::addColumn<QList<qint32>>("chapters"); // starts in milliseconds
        QTest::addColumn<qint64>("current");
        QTest::addColumn<qint64>("next");
        QTest::addColumn<qint64>("previous");
        const QList<qint32> three{0, 300000, 600000};
        QTest::newRow("start") << three << 0LL << 300LL << -1LL;
        QTest::newRow("first chapter") << three << 250LL << 300LL << -1LL;
        QTest::newRow("on a chapter start") << three << 300LL << 600LL << -1LL;
        QTest::newRow("just past a start") << three << 301LL << 600LL << 0LL;
        QTest::newRow("second chapter") << three << 450LL << 600LL << 0LL;
        QTest::newRow("last chapter") << three << 700LL << -1LL << 300LL;
        QTest::newRow("whole seconds") << QList<qint32>{0, 2999, 5000} << 2LL << 5LL << -1LL;
        QTest::newRow("late first chapter") << QList<qint32>{4000, 8000} << 1LL << 4LL << -1LL;
        QTest::newRow("no chapters") << QList<qint32>{} << 5LL << -1LL << -1LL;
    }
    void chapterTargets() {
        QFETCH(QList<qint32>, chapters);
        QFETCH(qint64, current);
        QFETCH(qint64, next);
        QFETCH(qint64, previous);
        QCOMPARE(nextChapterSecond(chapters, current), next);
        QCOMPARE(previousChapterSecond(chapters, current), previous);
    }
};

QTEST_GUILESS_MAIN(PlayListModelTest)
#include "tst_playlist_model.moc"
