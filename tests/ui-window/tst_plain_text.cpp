// Names from outside are shown as typed. Hostile names (markup naming a marker
// picture and /dev/zero, '&', entities) are loaded everywhere at once: files,
// a DVD folder, a disc folder and its name, the recent list, the play list, a
// message box and the preferences. Then every text of every widget that holds
// one is checked the way that widget shows it.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedLayout>
#include <QTest>
#include <QTextDocument>

#include <sys/resource.h>

#include "common/FakeEngine.h"
#include "common/TestEnv.h"
#include "config/DataFolder.h"
#include "dialogs/CMessageBox.h"
#include "dialogs/CProcessUI.h"
#include "tools/gen-bluray/BlurayWriter.h"
#include "ui/DRUI.h"

KZP_TEMPORARY_HOME()

// A name that slips through as HTML makes Qt read /dev/zero whole. Before the
// first window exists the test caps its own memory, so that fault ends it
// quickly instead of filling the machine.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "hard_rss_limit_mb=3000:max_allocation_size_mb=1024";
}
#else
namespace {
[[maybe_unused]] const bool memoryCapped = [] {
    const rlimit cap{rlim_t(4) << 30, rlim_t(4) << 30};
    return setrlimit(RLIMIT_AS, &cap) == 0;
}();
} // namespace
#endif

namespace {

const QString kMark = QStringLiteral("kzpmark");

// '/' cannot stand in a file name, but an entity for it can: HTML reads it as '/'.
QString entityPath(const QString& path) {
    return QString(path).replace(QLatin1Char('/'), QLatin1String("&#47;"));
}

// What a person sees of `text` in a widget that reads it as `format`.
QString seenAs(const QString& text, Qt::TextFormat format) {
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document; // parsed only, never laid out: no picture is loaded
    if (format == Qt::MarkdownText)
        document.setMarkdown(text);
    else
        document.setHtml(text);
    return document.toPlainText();
}

// Menu entries and buttons: one '&' marks the shortcut key and is not shown.
QString seenWithMnemonics(const QString& text) {
    QString seen;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        seen += text[i];
    }
    return seen;
}

// Every text holding the marker, each with what a person sees of it.
struct Shown {
    QString where, text, seen;
};

class Walk {
public:
    QList<Shown> shown;

    void add(const QString& where, const QString& text, const QString& seen) {
        if (text.contains(kMark))
            shown.append({where, text, seen});
    }
    void widget(QWidget* w) {
        const QString name =
            QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
        if (w->isWindow())
            add(name + QStringLiteral(" title"), w->windowTitle(), w->windowTitle());
        add(name + QStringLiteral(" tool tip"), w->toolTip(), seenAs(w->toolTip(), Qt::AutoText));
        if (auto* label = qobject_cast<QLabel*>(w))
            add(name, label->text(), seenAs(label->text(), label->textFormat()));
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            add(name, button->text(), seenWithMnemonics(button->text()));
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            add(name, edit->text(), edit->text());
        if (auto* menu = qobject_cast<QMenu*>(w)) {
            add(name + QStringLiteral(" title"), menu->title(), seenWithMnemonics(menu->title()));
            for (QAction* action : menu->actions()) {
                QString seen = seenWithMnemonics(action->text());
                // A long entry is cut in the middle: what is left must be the
                // start and the end of the path it opens, as typed.
                const QString full = action->data().toString();
                const qsizetype cut = seen.indexOf(QChar(0x2026));
                if (cut >= 0 && full.startsWith(seen.left(cut)) && full.endsWith(seen.mid(cut + 1)))
                    seen = full;
                add(name + QStringLiteral(" entry"), action->text(), seen);
                if (menu->toolTipsVisible())
                    add(name + QStringLiteral(" entry tip"), action->toolTip(),
                        seenAs(action->toolTip(), Qt::AutoText));
            }
        }
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model()) {
            const QAbstractItemModel* model = view->model();
            for (int row = 0; row < model->rowCount(); ++row)
                for (int column = 0; column < model->columnCount(); ++column) {
                    const QModelIndex index = model->index(row, column);
                    const QString text = index.data(Qt::DisplayRole).toString();
                    const QString tip = index.data(Qt::ToolTipRole).toString();
                    add(name + QStringLiteral(" row"), text, text);
                    add(name + QStringLiteral(" row tip"), tip, seenAs(tip, Qt::AutoText));
                }
        }
    }
    void everything() {
        for (QWidget* w : QApplication::allWidgets())
            widget(w);
    }
};

} // namespace

class TestPlainText : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString marker;      // a picture nobody asked to show
    QStringList hostile; // every name made up, as typed

    // The bold is left open: a file name cannot hold the '/' of a closing tag,
    // and a disc name ends at the first "</".
    QString hostileName(const QString& picture, const QString& tail) {
        const QString name = QStringLiteral("<img src=\"%1\">&<b>%2").arg(picture, tail);
        hostile.append(name);
        return name;
    }

    // Walks every widget: each text not shown as typed.
    QStringList failures() {
        Walk walk;
        walk.everything();
        QStringList out;
        for (const Shown& s : std::as_const(walk.shown)) {
            bool literal = false;
            for (const QString& name : std::as_const(hostile))
                literal = literal || s.seen.contains(name);
            if (!literal)
                out << s.where + QStringLiteral(": '") + s.text + QStringLiteral("' shows as '") + s.seen +
                           QLatin1Char('\'');
        }
        if (walk.shown.isEmpty())
            out << QStringLiteral("no widget shows a hostile name");
        for (const QString& line : std::as_const(out)) // seen even when a later step crashes
            qWarning("%s", qPrintable(line));
        return out;
    }

private slots:
    void initTestCase() {
        registerPlayListInfoType();
        QVERIFY(dir.isValid());
        marker = dir.filePath(kMark + QStringLiteral(".png"));
        QImage picture(64, 64, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(marker));
    }

    void hostileNamesShowAsTyped() {
        FakeEngine fake;
        DRUI window;
        window.setupWindow();
        window.setEnginePath(FakeEngine::program());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto touch = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly);
        };
        const QString pictureFile =
            dir.filePath(hostileName(entityPath(marker), kMark) + QStringLiteral(" ' \" %20 .avi"));
        const QString zeroFile =
            dir.filePath(hostileName(QStringLiteral("&#47;dev&#47;zero"), kMark) + QStringLiteral(".avi"));
        QVERIFY(touch(pictureFile));
        QVERIFY(touch(zeroFile));

        // The label follows the playing source when the window paints.
        auto nowPlayingShows = [&](const QString& name) {
            return FakeEngine::waitUntil([&] {
                window.update();
                return window.part<QLabel>("nowPlayingLabel")->text().contains(name);
            });
        };

        // Files: the play list rows, then each one playing.
        window.addFiles({pictureFile, zeroFile});
        QVERIFY(nowPlayingShows(QFileInfo(pictureFile).fileName()));
        QStringList failed = failures();
        window.addFiles({zeroFile});
        QVERIFY(nowPlayingShows(QFileInfo(zeroFile).fileName()));
        window.repaint(); // the label is laid out and painted with that name
        failed << failures();

        // A DVD folder.
        const QString dvd = dir.filePath(hostileName(entityPath(marker), QStringLiteral("dvd ") + kMark));
        QVERIFY(QDir().mkpath(dvd + QStringLiteral("/VIDEO_TS")));
        window.loadDiscFolder(dvd);
        QVERIFY(nowPlayingShows(QFileInfo(dvd).fileName()));
        failed << failures();

        // A disc folder whose metadata names the disc with markup.
        const QString discName =
            hostileName(QStringLiteral("/dev/zero\"><img src=\"") + marker, QStringLiteral("disc ") + kMark);
        const QString disc = dir.filePath(hostileName(QStringLiteral("&#47;dev&#47;zero"), kMark));
        genbd::DiscLayout layout;
        layout.name = discName.toUtf8();
        genbd::Playlist playlist;
        genbd::PlayItem item;
        item.outTime = 60 * 45000;
        playlist.items = {item};
        layout.playlists = {{QStringLiteral("00000.mpls"), playlist}};
        QVERIFY(genbd::writeDisc(disc, layout));
        window.loadDiscFolder(disc);
        QCOMPARE(int(window.playback().page()), 1);
        QCOMPARE(window.part<QLabel>("discNameLabel")->text(), discName);
        window.repaint();
        failed << failures();
        window.addBluRayTitle();
        QVERIFY(nowPlayingShows(discName));
        window.repaint();
        failed << failures();

        // The recent list opens the real paths.
        QStringList opened;
        for (QAction* entry : window.part<QMenu>("recentFilesMenu")->actions())
            if (entry->data().toString() != QLatin1String("Clear Menu"))
                opened << entry->data().toString();
        QCOMPARE(opened, (QStringList{disc, dvd, zeroFile, pictureFile}));

        // A message box and the preferences over it all.
        CMessageBox box;
        box.setupInformation(hostileName(marker, QStringLiteral("message ") + kMark));
        box.show();
        QVERIFY(writeOutputPath(dataFolderPath(),
                                dir.filePath(hostileName(marker, QStringLiteral("folder ") + kMark)) +
                                    QLatin1Char('/')));
        CProcessUI preferences;
        preferences.setupPreferences();
        preferences.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QVERIFY(QTest::qWaitForWindowExposed(&preferences));
        failed << failures();
        failed.removeDuplicates();
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(QLatin1Char('\n'))));
        window.endEngine();
    }
};

QTEST_MAIN(TestPlainText)
#include "tst_plain_text.moc"
