// Every row of the command table in every shipped language: its caption is
// in the language file and says something, the entry built from the row
// shows it whole in a menu no wider than the screen, and the entry, delivered
// the way a click delivers it, reaches that row and no other.

#include <QDir>
#include <QFontMetrics>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "MenusTestSupport.h"
#include "common/ShippedLanguages.h"
#include "config/IniFile.h"
#include "ui/Commands.h"

KZP_TEMPORARY_HOME()

namespace {

// The screen the player was tried on; no menu may be wider.
constexpr int kScreenWidth = 1920;

// Records the commands the handlers find instead of carrying them out.
class RecordingWindow : public DRUI {
public:
    QList<int> ran; // the commands, by number

protected:
    void runCommand(const CommandRow& row) override { ran << int(row.id); }
};

const char* menuName(MenuId id) {
    switch (id) {
    case MenuId::File:
        return "fileMenu";
    case MenuId::Controls:
        return "controlsMenu";
    case MenuId::Video:
        return "videoMenu";
    case MenuId::Audio:
        return "audioMenu";
    case MenuId::Tools:
        return "toolsMenu";
    case MenuId::Help:
        break;
    }
    return "helpMenu";
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT
    QTemporaryDir app;
    std::unique_ptr<RecordingWindow> window;

    // A window built in `language`; rows come language by language, so each
    // language builds one.
    RecordingWindow& windowIn(const QString& language) {
        if (!window || LanguageManager::instance().currentLanguage() != language) {
            window.reset();
            LanguageManager::instance().switchLanguage(language);
            window = std::make_unique<RecordingWindow>();
            window->setupWindow();
        }
        return *window;
    }

private slots:
    void initTestCase() {
        QVERIFY(app.isValid());
        QCOMPARE(useShippedLanguagesIn(app.path()), 6);
        registerPlayListInfoType();
    }
    void cleanupTestCase() { window.reset(); }

    void everyCommandInEveryLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("command");
        for (const LanguageManager::Language& language : LanguageManager::instance().languages())
            for (int command = 0; command < kCommandCount; ++command) {
                const CommandRow* row = CommandTable::row(Command(command));
                QTest::addRow("%s %s", qPrintable(language.first.mid(1)), row ? row->data : "(no row)")
                    << language.first << command;
            }
    }

    void everyCommandInEveryLanguage() {
        QFETCH(QString, language);
        QFETCH(int, command);
        // Each command has a row of its own (the table is as long as the list of commands).
        QVERIFY(CommandTable::row(Command(command)));
        const CommandRow& row = *CommandTable::row(Command(command));

        // In this language's own file (no caption from elsewhere), not blank.
        IniFile file;
        QVERIFY(file.load(app.filePath("Languages/" + language.mid(1) + ".ini")));
        const QString key = QString::fromLatin1(row.captionKey);
        QVERIFY2(file.contains(key.section(u'/', 0, 0), key.section(u'/', 1)), row.captionKey);
        RecordingWindow& w = windowIn(language);
        QVERIFY2(!caption(row.captionKey).trimmed().isEmpty(), row.captionKey);

        QMenu* menu = ::menu(w, menuName(row.menu));
        QVERIFY(menu);
        const bool playEntry = row.placement == Placement::PlayEntry;
        QAction* entry = playEntry ? playPauseEntry(w) : entryWithData(menu, row.dataText());
        QVERIFY2(entry, row.data);
        const auto restore = qScopeGuard([&] {
            if (playEntry) {
                entry->setText(CommandTable::row(Command::Play)->caption());
                entry->setData(CommandTable::row(Command::Play)->dataText());
            }
        });
        if (playEntry) { // what the window shows while playback runs or pauses
            entry->setText(row.caption());
            entry->setData(row.dataText());
        }

        // Shown whole, in a menu that fits the screen.
        QCOMPARE(entry->text(), row.caption());
        QVERIFY(menu->actionGeometry(entry).width() >=
                QFontMetrics(menu->font()).horizontalAdvance(entry->text()));
        QVERIFY2(menu->sizeHint().width() <= kScreenWidth,
                 qPrintable(QStringLiteral("%1 pixels wide").arg(menu->sizeHint().width())));

        // Delivered as a click delivers it: through the menu's own signal.
        w.ran.clear();
        emit menu->triggered(entry);
        QCOMPARE(w.ran, QList<int>{command});
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
