// Every caption of every shipped language fits the widget that shows it, in
// the main window and both dialogs, measured with the fonts the player uses
// (Calibri served by Carlito, Noto CJK for Chinese and Japanese). Recent
// entries with long paths keep their menu within a screen and still show
// their whole path, as plain text, in the tooltip.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>

#include "common/Files.h"
#include "common/ShippedLanguages.h"
#include "common/TestEnv.h"
#include "common/Wait.h"
#include "config/DataFolder.h"
#include "config/LanguageManager.h"
#include "dialogs/CMessageBox.h"
#include "dialogs/CProcessUI.h"
#include "ui/DRUI.h"

KZP_TEMPORARY_HOME()

using kzp::test::writeBytes;

namespace {

// The screen the player was tried on; no pop-up may be wider.
constexpr int kScreenWidth = 1920;
// How wide a recent entry may be drawn.
constexpr int kRecentEntryWidth = 600;

QString describe(const QWidget* widget, const QString& text) {
    QString where = widget->objectName();
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
        if (!up->objectName().isEmpty())
            where = up->objectName() + u'/' + where;
    return QStringLiteral("%1 [%2] \"%3\"")
        .arg(where, QString::fromLatin1(widget->metaObject()->className()), text);
}

// Width and height the label's text needs at the label's own width.
QSizeF wrappedTextSize(const QLabel* label, qreal width) {
    QTextLayout layout(label->text(), label->font());
    QTextOption option;
    option.setWrapMode(label->wordWrap() ? QTextOption::WordWrap : QTextOption::NoWrap);
    layout.setTextOption(option);
    qreal widest = 0;
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        widest = qMax(widest, line.naturalTextWidth());
        ++lines;
    }
    layout.endLayout();
    const QFontMetrics metrics(label->font());
    return QSizeF(widest, lines * metrics.height() + (lines - 1) * metrics.leading());
}

// Every shown button and label under root whose text does not fit it.
QStringList misfits(QWidget* root) {
    QStringList found;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : std::as_const(widgets)) {
        if (!widget->isVisible())
            continue;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->text().isEmpty())
                continue;
            const QSize need = button->sizeHint();
            if (need.width() > button->width() || need.height() > button->height())
                found << describe(button, button->text()) + QStringLiteral(" needs %1x%2, has %3x%4")
                                                                .arg(need.width())
                                                                .arg(need.height())
                                                                .arg(button->width())
                                                                .arg(button->height());
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->text().isEmpty())
                continue;
            const QFontMetrics metrics(label->font());
            const QRect room = label->contentsRect().marginsRemoved(
                QMargins(label->margin(), label->margin(), label->margin(), label->margin()));
            // One line: the advance of the whole text; wrapped: the widest line
            // (a word that cannot be broken) and the lines' total height.
            const QSizeF need = label->wordWrap()
                                    ? wrappedTextSize(label, room.width())
                                    : QSizeF(metrics.horizontalAdvance(label->text()), metrics.height());
            if (need.width() > room.width() || need.height() > room.height())
                found << describe(label, label->text()) + QStringLiteral(" needs %1x%2, has %3x%4")
                                                              .arg(qCeil(need.width()))
                                                              .arg(qCeil(need.height()))
                                                              .arg(room.width())
                                                              .arg(room.height());
        } else if (auto* menu = qobject_cast<QMenu*>(widget); menu && !menu->isWindow()) {
            // A menu embedded in a page gets its width from the layout.
            if (menu->sizeHint().width() > menu->width())
                found << describe(menu, menu->title()) + QStringLiteral(" too narrow for its entries");
        }
    }
    return found;
}

// Pop-up menus that would be wider than the screen.
QStringList widePopups() {
    QStringList found;
    for (QWidget* widget : QApplication::allWidgets())
        if (auto* menu = qobject_cast<QMenu*>(widget); menu && menu->isWindow())
            if (menu->sizeHint().width() > kScreenWidth)
                found << describe(menu, menu->title()) +
                             QStringLiteral(" is %1 pixels wide").arg(menu->sizeHint().width());
    return found;
}

void settleLayouts() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
}

// A path far wider than any screen, with markup and an ampersand in it.
QString longPath() {
    return QStringLiteral("/media/archive/") + QStringLiteral("Season 1 Disc 2 - ").repeated(20) +
           QStringLiteral("<b>Tom & Jerry</b>  <img src=\"/dev/zero\">.mkv");
}

// The tooltip label Qt shows, if one is up.
QLabel* shownToolTip() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("qtooltip_label") && widget->isVisible())
            return qobject_cast<QLabel*>(widget);
    return nullptr;
}

} // namespace

class TestCaptions : public QObject {
    Q_OBJECT
    QTemporaryDir app;

    QString recentPath() const { return dataFolderPath() + QStringLiteral("RecentConfig.txt"); }

private slots:
    void initTestCase() {
        QVERIFY(app.isValid());
        QCOMPARE(useShippedLanguagesIn(app.path()), 6);

        // Measurements mean something only with the player's fonts.
        QCOMPARE(QFontInfo(QFont(QStringLiteral("Calibri"), 11)).family(), QStringLiteral("Carlito"));
        for (auto system : {QFontDatabase::SimplifiedChinese, QFontDatabase::Japanese}) {
            const QStringList families = QFontDatabase::families(system);
            QVERIFY2(std::any_of(families.begin(), families.end(),
                                 [](const QString& f) { return f.contains(QLatin1String("Noto Sans CJK")); }),
                     "fonts-noto-cjk is not installed");
        }
    }

    void captionsFit_data() {
        QTest::addColumn<QString>("language");
        for (const LanguageManager::Language& language : LanguageManager::instance().languages())
            QTest::newRow(qPrintable(language.first)) << language.first;
    }

    void captionsFit() {
        QFETCH(QString, language);
        LanguageManager::instance().switchLanguage(language);
        QCOMPARE(LanguageManager::instance().currentLanguage(), language);
        QVERIFY(!caption("MainWnd/Browse").isEmpty());
        QVERIFY(writeBytes(recentPath(), (longPath() + "\n/short/clip.mkv\n").toLocal8Bit()));

        QStringList failed;
        {
            DRUI window;
            window.setupWindow();
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            for (Page page : {Page::Start, Page::Disc}) {
                window.playback().showPage(page);
                settleLayouts();
                failed << misfits(&window);
            }
            failed << widePopups();
        }
        {
            CProcessUI preferences;
            preferences.setupPreferences();
            preferences.show();
            QVERIFY(QTest::qWaitForWindowExposed(&preferences));
            settleLayouts();
            failed << misfits(&preferences);
        }
        {
            CMessageBox box;
            box.setupInformation(caption("Messages/MSG0102"));
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            settleLayouts();
            failed << misfits(&box);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        failed.removeDuplicates();
        for (const QString& misfit : std::as_const(failed))
            qWarning().noquote() << misfit;
        QVERIFY2(failed.isEmpty(), qPrintable(QStringLiteral("%1 captions do not fit").arg(failed.size())));
    }

    void recentEntriesShowTheirPath() {
        LanguageManager::instance().switchLanguage(QStringLiteral("/English"));
        const QStringList paths = {longPath(), QStringLiteral("/short/Tom & Jerry.mkv"),
                                   QStringLiteral("/media/<i>x</i>/a  b.mkv")};
        QVERIFY(writeBytes(recentPath(), (paths.join(u'\n') + u'\n').toLocal8Bit()));
        DRUI window;
        window.setupWindow();
        auto* menu = window.part<QMenu>(QStringLiteral("recentFilesMenu"));
        QVERIFY(menu);
        const QList<QAction*> entries = menu->actions();
        QCOMPARE(entries.size(), paths.size() + 1);
        const QFontMetrics metrics(menu->font());
        for (int i = 0; i < paths.size(); ++i) {
            const QString& path = paths.at(i);
            QAction* entry = entries.at(i);
            QCOMPARE(entry->data().toString(), path);
            // "&" stays doubled so the menu shows it instead of a shortcut mark.
            QString shown = entry->text();
            QVERIFY2(!shown.remove(QStringLiteral("&&")).contains(u'&'), qPrintable(entry->text()));
            shown = entry->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
            QVERIFY(metrics.horizontalAdvance(shown) <= kRecentEntryWidth);
            if (metrics.horizontalAdvance(path) <= kRecentEntryWidth) {
                QCOMPARE(shown, path);
            } else {
                // Cut in the middle: where it lies and what it is called both show.
                QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
                QVERIFY(shown.startsWith(path.left(shown.indexOf(QChar(0x2026)))));
                QVERIFY(path.endsWith(shown.mid(shown.indexOf(QChar(0x2026)) + 1)));
                QVERIFY(path.endsWith(QStringLiteral(".mkv")) && shown.endsWith(QStringLiteral(".mkv")));
            }
        }
        QVERIFY(menu->sizeHint().width() <= kScreenWidth);

        // Hovering an entry shows its whole path, as typed: the tooltip label
        // guesses rich text, so markup in a name must arrive escaped.
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        for (int i = 0; i < paths.size(); ++i) {
            const QRect rect = menu->actionGeometry(entries.at(i));
            QHelpEvent help(QEvent::ToolTip, rect.center(), menu->mapToGlobal(rect.center()));
            QCoreApplication::sendEvent(menu, &help);
            QLabel* tip = nullptr;
            QVERIFY(kzp::test::waitUntil([&] {
                tip = shownToolTip();
                return tip && tip->text() == entries.at(i)->toolTip();
            }));
            QTextDocument shownText;
            if (tip->textFormat() == Qt::RichText ||
                (tip->textFormat() == Qt::AutoText && Qt::mightBeRichText(tip->text())))
                shownText.setHtml(tip->text());
            else
                shownText.setPlainText(tip->text());
            QCOMPARE(shownText.toPlainText(), paths.at(i));
            QVERIFY(tip->sizeHint().width() <= kScreenWidth);
        }
        menu->hide();
    }
};

QTEST_MAIN(TestCaptions)
#include "tst_captions.moc"
