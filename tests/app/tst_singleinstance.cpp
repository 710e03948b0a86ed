// Single instance with real processes of the player (offscreen platform), and
// the lock itself in-process.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/SingleInstance.h"
#include "common/TestEnv.h"

namespace {

// One started player with everything it printed on standard output.
class Player {
public:
    explicit Player(const QProcessEnvironment& environment, const QString& workDir) {
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(workDir);
        process.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~Player() {
        if (process.state() != QProcess::NotRunning) {
            ::kill(pid_t(process.processId()), SIGCONT);
            process.kill();
            process.waitForFinished(5000);
        }
    }
    void start(const QString& program, const QStringList& arguments = {}) {
        process.start(program, arguments);
    }
    // Everything printed so far; called from QTRY_ conditions, which run the event loop.
    QByteArray output() {
        printed += process.readAllStandardOutput();
        return printed;
    }
    bool printedLine(const QByteArray& line) { return output().split('\n').contains(line); }

    QProcess process;

private:
    QByteArray printed;
};

constexpr int startTimeout = 30000; // sanitizer builds start slowly

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void secondInstanceRestoresFirst();
    void otherTitleIsNotRestored();
    void lockFreedAfterKill();
    void busyFirstInstance();
    void otherUserFindsTheLock();
    void silentLockHolder();
    void terminationEndsCleanly();
    void lockFileAndDescriptor();

private:
    QProcessEnvironment environment(const QByteArray& hooks) const;
    QString program;
    QTemporaryDir lockDir; // the children's system temp folder
    QTemporaryDir workDir;
};

void TestSingleInstance::initTestCase() {
    kzp::test::useTemporaryHome();
    program = QCoreApplication::applicationDirPath() + "/kestrune-zyl-player";
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    QVERIFY(lockDir.isValid() && workDir.isValid());
}

QProcessEnvironment TestSingleInstance::environment(const QByteArray& hooks) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", lockDir.path());
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    if (!hooks.isEmpty())
        env.insert("KZP_TEST_HOOKS", QString::fromLatin1(hooks));
    return env;
}

void TestSingleInstance::secondInstanceRestoresFirst() {
    Player first(environment("report,minimized"), workDir.path());
    first.start(program);
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("ready listening"), startTimeout);
    QVERIFY(first.printedLine("state minimized"));

    // Arguments are not read: a file name changes nothing.
    Player second(environment("report"), workDir.path());
    second.start(program, {"/no/such/movie.mkv", "--full-screen"});
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(second.output(), QByteArray()); // never built a window

    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("restore matched Kestrune Zyl Player"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("state normal"), 10000);
    QCOMPARE(first.process.state(), QProcess::Running);
}

void TestSingleInstance::otherTitleIsNotRestored() {
    // A copy of the player whose language gives the window another title.
    QTemporaryDir app;
    const QString copy = app.filePath("kestrune-zyl-player");
    QVERIFY(QFile::copy(program, copy));
    QFile config(app.filePath("config.ini"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[DefaultLanguage]\nDefault=/Other\n");
    config.close();
    QVERIFY(QDir(app.path()).mkdir("Languages"));
    QFile language(app.filePath("Languages/Other.ini"));
    QVERIFY(language.open(QIODevice::WriteOnly));
    language.write("[MainWnd]\nProTitle=Kestrune Zyl Player 2\n");
    language.close();

    Player first(environment("report,minimized"), workDir.path());
    first.start(copy);
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("ready listening"), startTimeout);

    Player second(environment({}), workDir.path());
    second.start(program);
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("restore ignored Kestrune Zyl Player"), 10000);
    QVERIFY(!first.output().contains("state normal"));
}

void TestSingleInstance::lockFreedAfterKill() {
    {
        Player crashed(environment("report"), workDir.path());
        crashed.start(program);
        QTRY_VERIFY_WITH_TIMEOUT(crashed.printedLine("ready listening"), startTimeout);
        crashed.process.kill(); // SIGKILL: no clean-up at all, the socket file stays
        QVERIFY(crashed.process.waitForFinished(5000));
    }
    QVERIFY(QFileInfo::exists(lockDir.filePath(restoreServerName())));

    // The next start is a first instance again and takes over the channel.
    Player next(environment("report,minimized"), workDir.path());
    next.start(program);
    QTRY_VERIFY_WITH_TIMEOUT(next.printedLine("ready listening"), startTimeout);

    Player second(environment({}), workDir.path());
    second.start(program);
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(next.printedLine("restore matched Kestrune Zyl Player"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(next.printedLine("state normal"), 10000);
}

void TestSingleInstance::busyFirstInstance() {
    Player first(environment("report,minimized"), workDir.path());
    first.start(program);
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("ready listening"), startTimeout);
    QCOMPARE(::kill(pid_t(first.process.processId()), SIGSTOP), 0); // its event loop stands still

    Player second(environment({}), workDir.path());
    QElapsedTimer clock;
    clock.start();
    second.start(program);
    QVERIFY(second.process.waitForFinished(startTimeout));
    qInfo("second instance ended after %lld ms while the first was stopped", clock.elapsed());
    QCOMPARE(second.process.exitCode(), 0);

    // Once it runs again, the first instance still gets the request.
    QCOMPARE(::kill(pid_t(first.process.processId()), SIGCONT), 0);
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("restore matched Kestrune Zyl Player"), 10000);
}

void TestSingleInstance::otherUserFindsTheLock() {
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        QSKIP("needs root and setpriv to start the player as another user");
    // A shared temp folder like /tmp: world-writable and sticky.
    QTemporaryDir shared;
    QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
    QTemporaryDir otherHome;
    QVERIFY(::chmod(QFile::encodeName(otherHome.path()).constData(), 0777) == 0);

    QProcessEnvironment env = environment("report,minimized");
    env.insert("TMPDIR", shared.path());
    Player first(env, workDir.path());
    first.start(program);
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("ready listening"), startTimeout);

    env = environment({});
    env.insert("TMPDIR", shared.path());
    env.insert("HOME", otherHome.path());
    env.remove("XDG_RUNTIME_DIR");
    Player second(env, otherHome.path());
    second.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", program});
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(second.output(), QByteArray());
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("restore matched Kestrune Zyl Player"), 10000);
}

void TestSingleInstance::silentLockHolder() {
    // The lock is held (by this test) and the channel accepts nothing: its
    // queue is full. The second instance must give up on its own.
    QTemporaryDir silentDir;
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(silentDir.path()));
    const bool held = isAnotherInstanceRunning();
    const QString socketPath = silentDir.filePath(restoreServerName());
    qputenv("TMPDIR", savedTmp);
    QVERIFY(!held); // we are the first now

    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(listener >= 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(socketPath);
    QVERIFY(size_t(encoded.size()) < sizeof address.sun_path);
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    QCOMPARE(::listen(listener, 0), 0);
    const int filler = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    QCOMPARE(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    QProcessEnvironment env = environment({});
    env.insert("TMPDIR", silentDir.path());
    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(workDir.path());
    QElapsedTimer clock;
    clock.start();
    second.start(program, {});
    QVERIFY(second.waitForFinished(startTimeout));
    qInfo("second instance gave up after %lld ms", clock.elapsed());
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.readAllStandardOutput().isEmpty());
    ::close(filler);
    ::close(listener);
}

void TestSingleInstance::terminationEndsCleanly() {
    Player first(environment("report"), workDir.path());
    first.start(program);
    QTRY_VERIFY_WITH_TIMEOUT(first.printedLine("ready listening"), startTimeout);
    first.process.terminate(); // SIGTERM
    QVERIFY(first.process.waitForFinished(10000));
    QCOMPARE(first.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.process.exitCode(), 0);

    Player next(environment("report"), workDir.path());
    next.start(program);
    QTRY_VERIFY_WITH_TIMEOUT(next.printedLine("ready listening"), startTimeout);
    ::kill(pid_t(next.process.processId()), SIGINT);
    QVERIFY(next.process.waitForFinished(10000));
    QCOMPARE(next.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(next.process.exitCode(), 0);
}

void TestSingleInstance::lockFileAndDescriptor() {
    QTemporaryDir dir;
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
    const mode_t savedMask = ::umask(077);
    const bool firstCall = isAnotherInstanceRunning();
    const bool secondCall = isAnotherInstanceRunning(); // a separate open: the lock is taken
    ::umask(savedMask);
    const QString lockPath = singleInstanceLockPath();
    qputenv("TMPDIR", savedTmp);
    QVERIFY(!firstCall);
    QVERIFY(secondCall);
    QCOMPARE(lockPath, dir.path() + "/Global\\Kestrune_BluRay_Player_2021_For_Windows");

    // Other users must be able to open it, whatever the umask was.
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(lockPath).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0644));

    // Programs we start (the engine) must not inherit the lock: it would
    // outlive a killed player.
    QProcess child;
    child.start("/bin/sh", {"-c", "for f in /proc/$$/fd/*; do readlink \"$f\"; done"});
    QVERIFY(child.waitForFinished(10000));
    const QByteArray descriptors = child.readAllStandardOutput();
    QVERIFY(!descriptors.isEmpty());
    QVERIFY2(!descriptors.contains("Kestrune_BluRay_Player"), descriptors.constData());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
