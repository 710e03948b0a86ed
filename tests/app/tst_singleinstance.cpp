// Single instance with real processes of the player (offscreen platform), and
// the private folder and the lock themselves in-process. Every player gets a
// private runtime folder of the test's (XDG_RUNTIME_DIR) and a $TMPDIR of its
// own; the cases of the fallback under /tmp run in a mount namespace whose
// /tmp is a folder of the test's, so the machine's /tmp is not used.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <memory>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/SingleInstance.h"
#include "common/Processes.h"
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
    // Waits for `line` while the player runs: a player that has ended prints
    // nothing more, so its end ends the wait.
    bool waitForLine(const QByteArray& line, int timeoutMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (!printedLine(line)) {
            if (process.state() == QProcess::NotRunning || deadline.hasExpired())
                return printedLine(line);
            QCoreApplication::processEvents();
            process.waitForReadyRead(20);
        }
        return true;
    }
    // Everything printed so far.
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
constexpr uid_t nobody = 65534;

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

// Type and permission bits of `path` itself (0 when missing).
mode_t modeOf(const QString& path) {
    struct stat info = {};
    return ::lstat(encoded(path).constData(), &info) == 0 ? info.st_mode : mode_t(0);
}

// Sets or removes an environment variable for one scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QString& value, bool set = true)
        : name(name), saved(qgetenv(name)), wasSet(qEnvironmentVariableIsSet(name)) {
        if (set)
            qputenv(name, encoded(value));
        else
            qunsetenv(name);
    }
    ~ScopedVariable() {
        if (wasSet)
            qputenv(name, saved);
        else
            qunsetenv(name);
    }

private:
    const char* name;
    QByteArray saved;
    bool wasSet;
};

// A forked process of user nobody that does `work` (plain system calls only:
// it runs after fork) and then keeps what it opened, locks included, until
// this object goes. Needs root.
class OtherUser {
public:
    explicit OtherUser(const std::function<bool()>& work) {
        int ready[2], release[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const char ok =
                ::setgroups(0, nullptr) == 0 && ::setgid(nobody) == 0 && ::setuid(nobody) == 0 && work();
            if (::write(ready[1], &ok, 1) != 1)
                ::_exit(1);
            char byte;
            while (::read(release[0], &byte, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseEnd = release[1];
        char ok = 0;
        succeeded = pid > 0 && ::read(ready[0], &ok, 1) == 1 && ok;
        ::close(ready[0]);
    }
    ~OtherUser() {
        if (releaseEnd >= 0)
            ::close(releaseEnd);
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
    }
    bool succeeded = false;

private:
    pid_t pid = -1;
    int releaseEnd = -1;
};

// Takes an exclusive flock on `path` (made when missing, readable by all).
bool holdLock(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT, 0644);
    return fd >= 0 && ::fchmod(fd, 0644) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    // Real players.
    void secondInstanceRestoresFirst();
    void differentTempFoldersFindOneAnother();
    void otherTitleIsNotRestored();
    void lockFreedAfterKill();
    void busyFirstInstance();
    void otherUserCannotReachFirst();
    void otherUsersLockDoesNotBlock();
    void fallbackFolderWithoutRuntimeFolder();
    void squattedFallbackFolderIsRefused();
    void silentLockHolder();
    void terminationEndsCleanly();
    // In-process.
    void runtimeFolderChoice();
    void unfitFallbackFolder_data();
    void unfitFallbackFolder();
    void lockFileAndDescriptor();

private:
    QProcessEnvironment environment(const QByteArray& hooks) const;
    // Arguments for unshare: `program` in a mount namespace whose /tmp is
    // `systemTemp`, as user nobody when asked. Empty when that cannot be done.
    QStringList withOwnTmp(const QString& systemTemp, const QString& program, bool asNobody = false) const;
    QString program;
    QString unshare, setpriv; // found only when running as root
    QTemporaryDir workDir;
    std::unique_ptr<QTemporaryDir> runtimeDir; // the children's XDG_RUNTIME_DIR, one per test
    std::unique_ptr<QTemporaryDir> tempDir;    // the children's TMPDIR, one per test
};

void TestSingleInstance::initTestCase() {
    kzp::test::useTemporaryHome();
    program = QCoreApplication::applicationDirPath() + "/kestrune-zyl-player";
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    QVERIFY(workDir.isValid());
    if (::geteuid() == 0) {
        setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        // Mount namespaces may be denied (containers): then those cases skip.
        if (!unshare.isEmpty() &&
            QProcess::execute(unshare, {"--mount", "--propagation", "private", "true"}) != 0)
            unshare.clear();
    }
}

void TestSingleInstance::init() {
    runtimeDir = std::make_unique<QTemporaryDir>();
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(runtimeDir->isValid() && tempDir->isValid());
    QCOMPARE(modeOf(runtimeDir->path()) & 0777, mode_t(0700));
}

QProcessEnvironment TestSingleInstance::environment(const QByteArray& hooks) const {
    QProcessEnvironment env = kzp::test::playerEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtimeDir->path());
    env.insert("TMPDIR", tempDir->path());
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    if (!hooks.isEmpty())
        env.insert("KZP_TEST_HOOKS", QString::fromLatin1(hooks));
    return env;
}

QStringList TestSingleInstance::withOwnTmp(const QString& systemTemp, const QString& program,
                                           bool asNobody) const {
    if (unshare.isEmpty() || (asNobody && setpriv.isEmpty()))
        return {};
    // A player that lives under /tmp stays in reach: its folder is bound to
    // the same place inside the test's /tmp first.
    const QString folder = QFileInfo(program).absolutePath();
    QStringList arguments{"--mount",
                          "--propagation",
                          "private",
                          "/bin/sh",
                          "-c",
                          "t=$0; k=$1; shift; case $k in /tmp/*) mkdir -p \"$t${k#/tmp}\" && "
                          "mount --bind \"$k\" \"$t${k#/tmp}\" || exit 1;; esac; "
                          "mount --rbind \"$t\" /tmp && exec \"$@\"",
                          systemTemp,
                          folder};
    if (asNobody)
        arguments << setpriv << "--reuid=65534"
                  << "--regid=65534"
                  << "--clear-groups";
    return arguments << program;
}

void TestSingleInstance::secondInstanceRestoresFirst() {
    Player first(environment("report,minimized"), workDir.path());
    first.start(program);
    QVERIFY(first.waitForLine("ready listening", startTimeout));
    QVERIFY(first.printedLine("state minimized"));

    // Arguments are not read: a file name changes nothing.
    Player second(environment("report"), workDir.path());
    second.start(program, {"/no/such/movie.mkv", "--full-screen"});
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(second.output(), QByteArray()); // never built a window

    QVERIFY(first.waitForLine("restore matched Kestrune Zyl Player", 10000));
    QVERIFY(first.waitForLine("state normal", 10000));
    QCOMPARE(first.process.state(), QProcess::Running);
}

void TestSingleInstance::differentTempFoldersFindOneAnother() {
    // $TMPDIR may differ per session or per login of the same user.
    Player first(environment("report,minimized"), workDir.path());
    first.start(program);
    QVERIFY(first.waitForLine("ready listening", startTimeout));

    QTemporaryDir otherTemp;
    QProcessEnvironment env = environment("report");
    env.insert("TMPDIR", otherTemp.path());
    Player second(env, workDir.path());
    second.start(program);
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(second.output(), QByteArray());
    QVERIFY(first.waitForLine("restore matched Kestrune Zyl Player", 10000));

    // Both live in the private folder; nothing in either temp folder.
    QVERIFY(QFileInfo::exists(singleInstanceLockPath(runtimeDir->path())));
    QVERIFY(QFileInfo::exists(restoreServerPath(runtimeDir->path())));
    QVERIFY(QDir(tempDir->path()).isEmpty());
    QVERIFY(QDir(otherTemp.path()).isEmpty());
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
    QVERIFY(first.waitForLine("ready listening", startTimeout));

    Player second(environment({}), workDir.path());
    second.start(program);
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY(first.waitForLine("restore ignored Kestrune Zyl Player", 10000));
    QVERIFY(!first.output().contains("state normal"));
}

void TestSingleInstance::lockFreedAfterKill() {
    {
        Player crashed(environment("report"), workDir.path());
        crashed.start(program);
        QVERIFY(crashed.waitForLine("ready listening", startTimeout));
        crashed.process.kill(); // SIGKILL: no clean-up at all, the socket file stays
        QVERIFY(crashed.process.waitForFinished(5000));
    }
    QVERIFY(QFileInfo::exists(restoreServerPath(runtimeDir->path())));

    // The next start is a first instance again and takes over the channel.
    Player next(environment("report,minimized"), workDir.path());
    next.start(program);
    QVERIFY(next.waitForLine("ready listening", startTimeout));

    Player second(environment({}), workDir.path());
    second.start(program);
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY(next.waitForLine("restore matched Kestrune Zyl Player", 10000));
    QVERIFY(next.waitForLine("state normal", 10000));
}

void TestSingleInstance::busyFirstInstance() {
    Player first(environment("report,minimized"), workDir.path());
    first.start(program);
    QVERIFY(first.waitForLine("ready listening", startTimeout));
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
    QVERIFY(first.waitForLine("restore matched Kestrune Zyl Player", 10000));
}

void TestSingleInstance::otherUserCannotReachFirst() {
    if (setpriv.isEmpty())
        QSKIP("needs root and setpriv to start the player as another user");
    // Same shared temp folder (world-writable and sticky, like /tmp), each
    // user with a runtime folder of their own.
    QTemporaryDir shared;
    QVERIFY(::chmod(encoded(shared.path()).constData(), 01777) == 0);
    QTemporaryDir otherHome, otherRuntime;
    QVERIFY(::chown(encoded(otherHome.path()).constData(), nobody, nobody) == 0);
    QVERIFY(::chown(encoded(otherRuntime.path()).constData(), nobody, nobody) == 0);

    QProcessEnvironment env = environment("report,minimized");
    env.insert("TMPDIR", shared.path());
    Player first(env, workDir.path());
    first.start(program);
    QVERIFY(first.waitForLine("ready listening", startTimeout));

    // The other user's start is a first instance of its own.
    env = environment("report");
    env.insert("TMPDIR", shared.path());
    env.insert("HOME", otherHome.path());
    env.insert("XDG_RUNTIME_DIR", otherRuntime.path());
    Player other(env, otherHome.path());
    other.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", program});
    QVERIFY(other.waitForLine("ready listening", startTimeout));
    QCOMPARE(other.process.state(), QProcess::Running);

    // Ours is out of its reach, and for this user alone.
    QVERIFY(!first.output().contains("restore"));
    QCOMPARE(modeOf(restoreServerPath(runtimeDir->path())) & 077, mode_t(0));
}

void TestSingleInstance::otherUsersLockDoesNotBlock() {
    if (::geteuid() != 0)
        QSKIP("needs root to hold a lock as another user");
    // Another user holds a lock of our name wherever it can: in the shared
    // temp folder, and in its own runtime folder (which is not ours).
    QTemporaryDir shared, otherRuntime;
    QVERIFY(::chmod(encoded(shared.path()).constData(), 01777) == 0);
    QVERIFY(::chown(encoded(otherRuntime.path()).constData(), nobody, nobody) == 0);
    const QByteArray sharedLock = encoded(shared.filePath(QString::fromLatin1(singleInstanceLockName)));
    const QByteArray otherLock = encoded(singleInstanceLockPath(otherRuntime.path()));
    OtherUser holder([&] { return holdLock(sharedLock) && holdLock(otherLock); });
    QVERIFY(holder.succeeded);

    QProcessEnvironment env = environment("report");
    env.insert("TMPDIR", shared.path());
    Player first(env, workDir.path());
    first.start(program);
    QVERIFY(first.waitForLine("ready listening", startTimeout));
}

void TestSingleInstance::fallbackFolderWithoutRuntimeFolder() {
    // No XDG_RUNTIME_DIR: the folder kestrune-zyl-player-UID in /tmp, here a
    // folder of the test's mounted on /tmp for the player alone.
    QTemporaryDir systemTemp;
    QVERIFY(::chmod(encoded(systemTemp.path()).constData(), 01777) == 0);
    const QStringList arguments = withOwnTmp(systemTemp.path(), program);
    if (arguments.isEmpty())
        QSKIP("needs root and mount namespaces to give the player a /tmp of the test's");
    QProcessEnvironment env = environment("report,minimized");
    env.remove("XDG_RUNTIME_DIR");
    Player first(env, workDir.path());
    first.start(unshare, arguments);
    QVERIFY(first.waitForLine("ready listening", startTimeout));
    const QString folder = systemTemp.filePath(QStringLiteral("kestrune-zyl-player-%1").arg(::geteuid()));
    QCOMPARE(modeOf(folder), mode_t(S_IFDIR | 0700));
    QVERIFY(QFileInfo::exists(singleInstanceLockPath(folder)));
    QVERIFY(QFileInfo::exists(restoreServerPath(folder)));
    QVERIFY(QDir(tempDir->path()).isEmpty());

    // A second start, with another $TMPDIR, finds it there.
    QTemporaryDir otherTemp;
    env = environment({});
    env.remove("XDG_RUNTIME_DIR");
    env.insert("TMPDIR", otherTemp.path());
    Player second(env, workDir.path());
    second.start(unshare, arguments);
    QVERIFY(second.process.waitForFinished(startTimeout));
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY(first.waitForLine("restore matched Kestrune Zyl Player", 10000));
    QVERIFY(first.waitForLine("state normal", 10000));
}

void TestSingleInstance::squattedFallbackFolderIsRefused() {
    // Another user made our fallback folder first, open to all, and holds a
    // lock in it. The player must not use it, and still start.
    QTemporaryDir systemTemp;
    QVERIFY(::chmod(encoded(systemTemp.path()).constData(), 01777) == 0);
    const QStringList arguments = withOwnTmp(systemTemp.path(), program);
    if (arguments.isEmpty())
        QSKIP("needs root and mount namespaces to give the player a /tmp of the test's");
    const QString folder = systemTemp.filePath(QStringLiteral("kestrune-zyl-player-%1").arg(::geteuid()));
    const QByteArray folderPath = encoded(folder);
    const QByteArray lockPath = encoded(singleInstanceLockPath(folder));
    OtherUser squatter([&] {
        return ::mkdir(folderPath.constData(), 0777) == 0 && ::chmod(folderPath.constData(), 0777) == 0 &&
               holdLock(lockPath);
    });
    QVERIFY(squatter.succeeded);

    QProcessEnvironment env = environment("report");
    env.remove("XDG_RUNTIME_DIR");
    Player first(env, workDir.path());
    first.start(unshare, arguments);
    QVERIFY(first.waitForLine("ready deaf", startTimeout));
    QVERIFY(first.process.readAllStandardError().contains("single-instance"));
    QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
             QStringList{QString::fromLatin1(singleInstanceLockName)});
}

void TestSingleInstance::silentLockHolder() {
    // The lock is held (by this test) and the channel accepts nothing: its
    // queue is full. The second instance must give up on its own.
    const QString silentDir = runtimeDir->path();
    QCOMPARE(claimSingleInstance(silentDir), InstanceRole::First);
    const QString socketPath = restoreServerPath(silentDir);

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

    QProcess second;
    second.setProcessEnvironment(environment({}));
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
    QVERIFY(first.waitForLine("ready listening", startTimeout));
    first.process.terminate(); // SIGTERM
    QVERIFY(first.process.waitForFinished(10000));
    QCOMPARE(first.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.process.exitCode(), 0);

    Player next(environment("report"), workDir.path());
    next.start(program);
    QVERIFY(next.waitForLine("ready listening", startTimeout));
    ::kill(pid_t(next.process.processId()), SIGINT);
    QVERIFY(next.process.waitForFinished(10000));
    QCOMPARE(next.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(next.process.exitCode(), 0);
}

void TestSingleInstance::runtimeFolderChoice() {
    QTemporaryDir systemTemp;
    QVERIFY(::chmod(encoded(systemTemp.path()).constData(), 01777) == 0);
    const QString fallback = systemTemp.filePath(QStringLiteral("kestrune-zyl-player-%1").arg(::geteuid()));
    {
        // A fit XDG_RUNTIME_DIR is used as it is; $TMPDIR never matters.
        ScopedVariable runtime("XDG_RUNTIME_DIR", runtimeDir->path() + "/");
        ScopedVariable temp("TMPDIR", tempDir->path());
        QCOMPARE(privateRuntimeFolder(systemTemp.path()), runtimeDir->path());
        QVERIFY(!QFileInfo::exists(fallback));
    }
    {
        // Unset: the fallback is made with mode 0700, whatever the umask.
        ScopedVariable runtime("XDG_RUNTIME_DIR", {}, false);
        const mode_t savedMask = ::umask(0);
        const QString made = privateRuntimeFolder(systemTemp.path());
        ::umask(0277);
        const QString again = privateRuntimeFolder(systemTemp.path());
        ::umask(savedMask);
        QCOMPARE(made, fallback);
        QCOMPARE(again, fallback);
        QCOMPARE(modeOf(fallback), mode_t(S_IFDIR | 0700));
    }
    const auto unfitRuntime = [&](const QString& value) {
        ScopedVariable runtime("XDG_RUNTIME_DIR", value);
        return privateRuntimeFolder(systemTemp.path());
    };
    // Relative, open to others, or a link: the fallback instead.
    QCOMPARE(unfitRuntime(QStringLiteral("relative/run")), fallback);
    QTemporaryDir open;
    QVERIFY(::chmod(encoded(open.path()).constData(), 0755) == 0);
    QCOMPARE(unfitRuntime(open.path()), fallback);
    const QString link = tempDir->filePath("link");
    QVERIFY(QFile::link(runtimeDir->path(), link));
    QCOMPARE(unfitRuntime(link), fallback);

    // The default system folder is /tmp, never $TMPDIR. (This makes the
    // empty private folder a player would make there; it is left in place,
    // as removing it could pull it from under a parallel run.)
    ScopedVariable runtime("XDG_RUNTIME_DIR", {}, false);
    ScopedVariable temp("TMPDIR", tempDir->path());
    QCOMPARE(privateRuntimeFolder(), QStringLiteral("/tmp/kestrune-zyl-player-%1").arg(::geteuid()));
}

void TestSingleInstance::unfitFallbackFolder_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("mode 0777") << "open";
    QTest::newRow("mode 0750") << "group";
    QTest::newRow("link to a private folder") << "link";
    QTest::newRow("a file") << "file";
    QTest::newRow("owned by another user") << "other";
}

void TestSingleInstance::unfitFallbackFolder() {
    QFETCH(QString, kind);
    QTemporaryDir systemTemp;
    QVERIFY(::chmod(encoded(systemTemp.path()).constData(), 01777) == 0);
    const QString folder = systemTemp.filePath(QStringLiteral("kestrune-zyl-player-%1").arg(::geteuid()));
    const QByteArray path = encoded(folder);
    std::unique_ptr<OtherUser> other;
    if (kind == "open" || kind == "group") {
        QCOMPARE(::mkdir(path.constData(), 0700), 0);
        QCOMPARE(::chmod(path.constData(), kind == "open" ? 0777 : 0750), 0);
    } else if (kind == "link") {
        QVERIFY(QFile::link(runtimeDir->path(), folder));
    } else if (kind == "file") {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
        if (::geteuid() != 0)
            QSKIP("needs root to make the folder as another user");
        other = std::make_unique<OtherUser>([&] { return ::mkdir(path.constData(), 0700) == 0; });
        QVERIFY(other->succeeded);
    }
    ScopedVariable runtime("XDG_RUNTIME_DIR", {}, false);
    const QString chosen = privateRuntimeFolder(systemTemp.path());
    QCOMPARE(chosen, QString());
    // No private folder: no lock to take, the player runs unguarded.
    QCOMPARE(claimSingleInstance(chosen), InstanceRole::Unguarded);
    QCOMPARE(restoreServerPath(chosen), QString());
    QCOMPARE(QDir(runtimeDir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestSingleInstance::lockFileAndDescriptor() {
    const QString folder = runtimeDir->path();
    const mode_t savedMask = ::umask(0);
    const InstanceRole firstCall = claimSingleInstance(folder);
    const InstanceRole secondCall = claimSingleInstance(folder); // a separate open: the lock is taken
    ::umask(savedMask);
    QCOMPARE(firstCall, InstanceRole::First);
    QCOMPARE(secondCall, InstanceRole::Second);
    const QString lockPath = singleInstanceLockPath(folder);
    QCOMPARE(lockPath, folder + "/Global\\Kestrune_BluRay_Player_2021_For_Windows");
    QCOMPARE(restoreServerPath(folder), lockPath + ".restore");

    // For this user alone, whatever the umask was.
    QCOMPARE(modeOf(lockPath), mode_t(S_IFREG | 0600));

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
