// The message handler that keeps Log.txt.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "app/LogHandler.h"

namespace {
QByteArray readLog() {
    QFile file(QStringLiteral("Log.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
} // namespace

class TestLogHandler : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void debugLinesAppended();
    void otherLevelsNotLogged_data();
    void otherLevelsNotLogged();
    void unwritableLogIsSilent();

private:
    QScopedPointer<QTemporaryDir> dir;
    QString previousDir;
    QtMessageHandler previous = nullptr;
};

void TestLogHandler::init() {
    dir.reset(new QTemporaryDir);
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    previous = qInstallMessageHandler(logMessageHandler);
}

void TestLogHandler::cleanup() {
    qInstallMessageHandler(previous);
    QDir::setCurrent(previousDir);
}

void TestLogHandler::debugLinesAppended() {
    QFile earlier(QStringLiteral("Log.txt"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("Debug: from an earlier run\n");
    earlier.close();

    qDebug("abc");
    qDebug("%s", "50% done, %1 stays");
    qDebug() << "streamed" << 42;
    qDebug("%s", "Größe 大小");
    QCOMPARE(readLog(), QByteArray("Debug: from an earlier run\nDebug: abc\nDebug: 50% done, %1 stays\n"
                                   "Debug: streamed 42\nDebug: Größe 大小\n"));
    // Relative to the working directory, nowhere else.
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"Log.txt"});
}

void TestLogHandler::otherLevelsNotLogged_data() {
    QTest::addColumn<int>("level");
    QTest::newRow("info") << int(QtInfoMsg);
    QTest::newRow("warning") << int(QtWarningMsg);
    QTest::newRow("critical") << int(QtCriticalMsg);
}

void TestLogHandler::otherLevelsNotLogged() {
    QFETCH(int, level);
    const QMessageLogContext context;
    logMessageHandler(QtMsgType(level), context, QStringLiteral("not for the log"));
    QVERIFY(!QFile::exists(QStringLiteral("Log.txt")));
    qDebug("kept");
    logMessageHandler(QtMsgType(level), context, QStringLiteral("not for the log"));
    QCOMPARE(readLog(), QByteArray("Debug: kept\n"));
}

void TestLogHandler::unwritableLogIsSilent() {
    // A folder named Log.txt cannot be opened as a file, whoever runs the test.
    QVERIFY(QDir().mkdir(QStringLiteral("Log.txt")));
    qDebug("lost");
    QVERIFY(QFileInfo(QStringLiteral("Log.txt")).isDir());
}

QTEST_APPLESS_MAIN(TestLogHandler)
#include "tst_loghandler.moc"
