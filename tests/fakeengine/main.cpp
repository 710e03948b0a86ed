// A stand-in for the playback engine: speaks its slave protocol from a script
// and records what the player sends, so tests never need real media.
//
// Environment:
//   FAKE_ENGINE_LOG=path      every command received, one per line, flushed per line
//   FAKE_ENGINE_TIMELOG=path  "<CLOCK_MONOTONIC ns> <command>" per command (latency benches)
//   FAKE_ENGINE_ARGS=path     the argument list, one per line, written at start
//   FAKE_ENGINE_SCRIPT=path   lines to print at start, with @directives (see README)
//   FAKE_ENGINE_LENGTH=n      answer to get_time_length (default 100)

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

qint64 nowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void writeAll(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd p{STDOUT_FILENO, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            std::_Exit(0); // the player closed our output: nothing left to do
        }
        data += n;
        size -= size_t(n);
    }
}

void printLine(const QByteArray& line) {
    QByteArray out = line;
    out.append('\n');
    writeAll(out.constData(), size_t(out.size()));
}

// "\n", "\r", "\t", "\0", "\\" and "\xNN" in @raw texts.
QByteArray unescape(const QByteArray& text) {
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out.append(text[i]);
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'n':
            out.append('\n');
            break;
        case 'r':
            out.append('\r');
            break;
        case 't':
            out.append('\t');
            break;
        case '0':
            out.append('\0');
            break;
        case 'x':
            if (i + 2 < text.size()) {
                out.append(char(text.mid(i + 1, 2).toInt(nullptr, 16)));
                i += 2;
            }
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

struct Trigger {
    QByteArray prefix; // command prefix, compared case-insensitively
    QByteArray action; // a script line (text or directive)
    bool once = false;
};

class FakeEngine {
public:
    int run(int argc, char** argv);

private:
    void loadScript();
    // Runs script lines until one blocks or the script is done.
    void runScript();
    bool runLine(const QByteArray& line, bool fromScript);
    void readCommands();
    void handleCommand(const QByteArray& command);
    void takeScreenshot();
    double position() const;
    void floodStep();

    QList<QByteArray> script;
    int scriptIndex = 0;
    QList<Trigger> triggers;
    QByteArray inBuffer;
    QByteArray screenshotPrefix;
    QByteArray lengthText = "100";
    double lengthSeconds = 100;
    FILE* log = nullptr;
    FILE* timeLog = nullptr;

    // Script blocking states.
    qint64 sleepUntil = 0;
    QByteArray waitingFor;
    bool hanging = false;
    bool takeShots = true;
    qint64 floodUntil = 0;
    QByteArray floodChunk;
    bool endAtLength = false;
    bool answer = true;

    // Playback clock: position advances in real time unless paused.
    double basePosition = 0;
    qint64 baseTime = 0;
    bool paused = false;
};

double FakeEngine::position() const {
    double p = basePosition;
    if (!paused)
        p += double(nowNs() - baseTime) / 1e9;
    if (p > lengthSeconds)
        p = lengthSeconds;
    return p < 0 ? 0 : p;
}

void FakeEngine::loadScript() {
    const QByteArray path = qgetenv("FAKE_ENGINE_SCRIPT");
    if (path.isEmpty())
        return;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        script.append(line);
    }
    if (!script.isEmpty() && script.last().isEmpty())
        script.removeLast();
}

// Returns false when the line blocks the script (sleep, wait, hang, flood).
bool FakeEngine::runLine(const QByteArray& line, bool fromScript) {
    if (!line.startsWith('@')) {
        printLine(line);
        return true;
    }
    const int blank = line.indexOf(' ');
    const QByteArray name = blank < 0 ? line : line.left(blank);
    const QByteArray rest = blank < 0 ? QByteArray() : line.mid(blank + 1);
    if (name == "@@") { // a literal line that starts with "@"
        printLine(rest);
    } else if (name == "@sleep") {
        if (!fromScript) { // a slow answer: the engine is busy meanwhile
            ::usleep(useconds_t(rest.trimmed().toLongLong() * 1000));
            return true;
        }
        sleepUntil = nowNs() + rest.trimmed().toLongLong() * 1000000;
        return false;
    } else if (name == "@exit") {
        std::_Exit(rest.trimmed().toInt());
    } else if (name == "@crash") {
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
    } else if (name == "@hang") {
        hanging = true;
        return false;
    } else if (name == "@ignore-term") {
        std::signal(SIGTERM, SIG_IGN);
    } else if (name == "@raw") {
        const QByteArray bytes = unescape(rest);
        writeAll(bytes.constData(), size_t(bytes.size()));
    } else if (name == "@repeat") { // @repeat COUNT TEXT: TEXT COUNT times, no line feed
        const int space = rest.indexOf(' ');
        const qint64 count = rest.left(space).toLongLong();
        const QByteArray unit = unescape(space < 0 ? QByteArray("x") : rest.mid(space + 1));
        QByteArray block;
        while (block.size() < 65536 && !unit.isEmpty())
            block.append(unit);
        qint64 left = count * unit.size();
        while (left > 0) {
            const qint64 n = qMin<qint64>(left, block.size());
            writeAll(block.constData(), size_t(n));
            left -= n;
        }
    } else if (name == "@flood") { // @flood SECONDS [LINE]
        const int space = rest.indexOf(' ');
        const double seconds = (space < 0 ? rest : rest.left(space)).toDouble();
        QByteArray unit = space < 0 ? QByteArray("ANS_TIME_POSITION=1.0") : rest.mid(space + 1);
        unit.append('\n');
        floodChunk.clear();
        while (floodChunk.size() + unit.size() <= 65536)
            floodChunk.append(unit);
        floodUntil = nowNs() + qint64(seconds * 1e9);
        return false;
    } else if (name == "@wait") { // @wait PREFIX: block until that command arrived
        waitingFor = rest.toLower();
        return false;
    } else if (name == "@on" || name == "@once") { // @on PREFIX => ACTION
        const int arrow = rest.indexOf(" => ");
        if (arrow > 0)
            triggers.append({rest.left(arrow).toLower(), rest.mid(arrow + 4), name == "@once"});
    } else if (name == "@note") { // "# TEXT" in the command log: how far the script got
        if (log) {
            std::fprintf(log, "# %s\n", rest.constData());
            std::fflush(log);
        }
    } else if (name == "@end-at-length") {
        endAtLength = true;
    } else if (name == "@silent") { // no answers to queries from now on
        answer = false;
    } else if (name == "@answer") {
        answer = true;
    } else if (name == "@no-shots") { // screenshot commands are received and ignored
        takeShots = false;
    }
    return true;
}

void FakeEngine::runScript() {
    while (scriptIndex < script.size()) {
        if (hanging || floodUntil || !waitingFor.isEmpty() || sleepUntil > nowNs())
            return;
        sleepUntil = 0;
        if (!runLine(script[scriptIndex++], true))
            return;
    }
}

void FakeEngine::takeScreenshot() {
    QByteArray name;
    for (int n = 1; n < 100000; ++n) {
        name = screenshotPrefix + QByteArray::number(n).rightJustified(4, '0') + ".png";
        if (!QFile::exists(QString::fromLocal8Bit(name)))
            break;
    }
    // A small picture with visible structure, so a copy can be told from a blank one.
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, (x + y) % 2 ? 255 : 0));
    if (!image.save(QString::fromLocal8Bit(name), "PNG")) {
        std::fprintf(stderr, "fake-engine: cannot write screenshot %s\n", name.constData());
        return;
    }
    printLine("*** screenshot '" + name + "' ***");
}

void FakeEngine::handleCommand(const QByteArray& command) {
    if (log) {
        std::fwrite(command.constData(), 1, size_t(command.size()), log);
        std::fputc('\n', log);
        std::fflush(log);
    }
    if (timeLog) {
        std::fprintf(timeLog, "%lld ", static_cast<long long>(nowNs()));
        std::fwrite(command.constData(), 1, size_t(command.size()), timeLog);
        std::fputc('\n', timeLog);
        std::fflush(timeLog);
    }
    const QByteArray lower = command.toLower();
    if (!waitingFor.isEmpty() && lower.startsWith(waitingFor))
        waitingFor.clear();
    for (int i = 0; i < triggers.size(); ++i) {
        if (lower.startsWith(triggers[i].prefix)) {
            const QByteArray action = triggers[i].action;
            if (triggers[i].once)
                triggers.removeAt(i--);
            runLine(action, false);
        }
    }

    QByteArray body = lower;
    const bool keepPause = body.startsWith("pausing_keep ");
    if (keepPause)
        body = body.mid(13);
    if (!keepPause && paused && !body.startsWith("pause")) {
        baseTime = nowNs();
        paused = false;
    }
    const QList<QByteArray> words = body.simplified().split(' ');
    const QByteArray verb = words.value(0);
    if (verb == "get_time_length") {
        if (answer)
            printLine("ANS_LENGTH=" + lengthText);
    } else if (verb == "get_time_pos") {
        if (answer)
            printLine("ANS_TIME_POSITION=" + QByteArray::number(position(), 'f', 1));
    } else if (verb == "pause") {
        basePosition = position();
        baseTime = nowNs();
        paused = !paused;
    } else if (verb == "seek") {
        double target = words.value(1).toDouble();
        if (words.value(2) != "2")
            target += position();
        basePosition = qBound(0.0, target, lengthSeconds);
        baseTime = nowNs();
    } else if (verb == "q" || verb == "quit") {
        printLine("Exiting... (Quit)");
        std::_Exit(0);
    } else if (verb == "stop") {
        printLine("Exiting... (End of file)");
        std::_Exit(0);
    } else if (verb == "screenshot") {
        if (takeShots)
            takeScreenshot();
    }
}

void FakeEngine::readCommands() {
    char buffer[65536];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n == 0)
        std::_Exit(0); // the player is gone
    if (n < 0)
        return;
    inBuffer.append(buffer, int(n));
    int newline;
    while ((newline = inBuffer.indexOf('\n')) >= 0) {
        QByteArray command = inBuffer.left(newline);
        inBuffer.remove(0, newline + 1);
        if (command.endsWith('\r'))
            command.chop(1);
        handleCommand(command);
    }
}

void FakeEngine::floodStep() {
    if (nowNs() >= floodUntil) {
        floodUntil = 0;
        return;
    }
    writeAll(floodChunk.constData(), size_t(floodChunk.size()));
}

int FakeEngine::run(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const QByteArray argsPath = qgetenv("FAKE_ENGINE_ARGS");
    if (!argsPath.isEmpty()) {
        // Written aside and renamed, so a reader never sees half a list.
        const QByteArray temporary = argsPath + ".part";
        if (FILE* f = std::fopen(temporary.constData(), "w")) {
            for (int i = 1; i < argc; ++i) {
                std::fputs(argv[i], f);
                std::fputc('\n', f);
            }
            std::fclose(f);
            std::rename(temporary.constData(), argsPath.constData());
        }
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-vf") == 0) {
            const QByteArray value = argv[i + 1];
            const int at = value.indexOf("screenshot=");
            if (at >= 0)
                screenshotPrefix = value.mid(at + 11);
        }
    }
    const QByteArray logPath = qgetenv("FAKE_ENGINE_LOG");
    if (!logPath.isEmpty())
        log = std::fopen(logPath.constData(), "a");
    const QByteArray timeLogPath = qgetenv("FAKE_ENGINE_TIMELOG");
    if (!timeLogPath.isEmpty())
        timeLog = std::fopen(timeLogPath.constData(), "a");
    const QByteArray length = qgetenv("FAKE_ENGINE_LENGTH");
    if (!length.isEmpty()) {
        bool ok = false;
        const qint64 whole = length.toLongLong(&ok);
        lengthText = ok ? QByteArray::number(whole) + ".00" : length;
        lengthSeconds = ok ? double(whole) : length.toDouble();
    } else {
        lengthText = "100.00";
    }
    baseTime = nowNs();
    loadScript();

    for (;;) {
        runScript();
        if (endAtLength && position() >= lengthSeconds) {
            printLine("Exiting... (End of file)");
            std::_Exit(0);
        }
        if (hanging) {
            for (;;)
                ::pause();
        }
        int timeout = -1;
        if (sleepUntil > 0)
            timeout = int(qMax<qint64>(0, (sleepUntil - nowNs() + 999999) / 1000000));
        if (endAtLength)
            timeout = timeout < 0 ? 50 : qMin(timeout, 50);
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {STDOUT_FILENO, POLLOUT, 0}};
        const int count = floodUntil ? 2 : 1;
        if (floodUntil)
            timeout = qMax(0, int((floodUntil - nowNs()) / 1000000) + 1);
        const int ready = ::poll(fds, nfds_t(count), timeout);
        if (ready < 0 && errno != EINTR)
            return 1;
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            readCommands();
        if (floodUntil && (ready == 0 || (fds[1].revents & POLLOUT)))
            floodStep();
        if (floodUntil && (fds[1].revents & (POLLERR | POLLHUP)))
            std::_Exit(0);
        if (sleepUntil > 0 && nowNs() >= sleepUntil)
            sleepUntil = 0;
    }
}

} // namespace

int main(int argc, char** argv) {
    FakeEngine engine;
    return engine.run(argc, argv);
}
