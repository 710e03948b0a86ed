// The desktop entry is valid and promises nothing the player does not do: the
// command line is not read, so no file types and no file arguments.

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include "common/Processes.h"

namespace {

// The keys of the [Desktop Entry] group, in file order (a repeated key is kept).
QList<QPair<QString, QString>> mainGroup(const QByteArray& text) {
    QList<QPair<QString, QString>> keys;
    QString group;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            group = line;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (group == QLatin1String("[Desktop Entry]") && equals > 0)
            keys.append({line.left(equals).trimmed(), line.mid(equals + 1).trimmed()});
    }
    return keys;
}

} // namespace

class TestDesktopEntry : public QObject {
    Q_OBJECT

private slots:
    void validates() {
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        QVERIFY2(!validator.isEmpty(), "desktop-file-validate (desktop-file-utils) is not installed");
        const kzp::test::ProgramRun run =
            kzp::test::runProgram(validator, {QStringLiteral(KZP_DESKTOP_ENTRY)}, 15000);
        QVERIFY2(run.succeeded(), run.output.constData());
        // Hints are printed too; an entry without remarks prints nothing.
        QVERIFY2(run.output.trimmed().isEmpty(), run.output.constData());
    }

    void offersNoFiles() {
        QFile file(QStringLiteral(KZP_DESKTOP_ENTRY));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QPair<QString, QString>> keys = mainGroup(file.readAll());
        QStringList execs;
        for (const auto& [key, value] : keys) {
            QVERIFY2(key != QLatin1String("MimeType"), qPrintable(key + '=' + value));
            if (key == QLatin1String("Exec"))
                execs << value;
        }
        QCOMPARE(execs.size(), 1);
        // "%%" is a literal percent sign; every other field code passes files or URLs along.
        const QString exec = QString(execs.first()).remove(QStringLiteral("%%"));
        QVERIFY2(!exec.contains(QRegularExpression(QStringLiteral("%[fFuUdDnNickvm]"))), qPrintable(exec));
    }
};

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "tst_desktop_entry.moc"
