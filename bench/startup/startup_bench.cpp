// Start-up bench: for the player and a bare Qt window, side by side, the
// time from exec to the main window being mapped (seen as an X MapNotify of a
// top-level window with the expected title) and the resident memory 2 s later.
// Prints the medians of the runs and the ratios against the bare window.
//
// Usage (under an X server, e.g. xvfb-run): kzp-startup-bench RUNS BARE PLAYER [OTHER...]
// The first program is the yardstick (a bare window titled "Bare Qt Window");
// the others must show a window titled "Kestrune Zyl Player".

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double startMs = -1;
    double rssMb = -1;
};

struct Program {
    QByteArray label;
    QByteArray path;
    QByteArray title;
    QList<Sample> samples;
};

QByteArray windowName(xcb_connection_t* connection, xcb_window_t window) {
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    if (!reply)
        return {};
    const QByteArray name(static_cast<const char*>(xcb_get_property_value(reply)),
                          xcb_get_property_value_length(reply));
    std::free(reply);
    return name;
}

double residentMb(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Waits for a MapNotify of a window titled `title`; milliseconds since start, or -1.
double waitForMap(xcb_connection_t* connection, const QByteArray& title, Clock::time_point start,
                  int timeoutMs) {
    pollfd fd = {xcb_get_file_descriptor(connection), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
            const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
            std::free(event);
            if (mapped) {
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                if (windowName(connection, window) == title)
                    return ms;
            }
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (elapsed >= timeoutMs || xcb_connection_has_error(connection))
            return -1;
        poll(&fd, 1, int(timeoutMs - elapsed));
    }
}

Sample runOnce(xcb_connection_t* connection, const Program& program) {
    Sample sample;
    char* argv[] = {const_cast<char*>(program.path.constData()), nullptr};
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return sample;
    }
    sample.startMs = waitForMap(connection, program.title, start, 30000);
    if (sample.startMs >= 0) {
        usleep(2000 * 1000);
        sample.rssMb = residentMb(pid);
    }
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        usleep(50 * 1000);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return sample;
}

double median(QList<double> values) {
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RUNS BARE PLAYER [OTHER...]\n", argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const auto absolute = [](const char* path) {
        return QFile::encodeName(QFileInfo(QFile::decodeName(path)).absoluteFilePath());
    };
    // The first program is the yardstick; the others show the player's title.
    QList<Program> programs;
    for (int i = 2; i < argc; ++i) {
        const QByteArray path = absolute(argv[i]);
        programs << Program{path.mid(path.lastIndexOf('/') + 1),
                            path,
                            i == 2 ? QByteArray("Bare Qt Window") : QByteArray("Kestrune Zyl Player"),
                            {}};
    }

    // A private home, temp folder (the single-instance lock) and working
    // directory, kept for all runs, so only the warm-up run creates the data
    // folder, the font caches and the probe copy.
    QTemporaryDir scratch;
    for (const char* folder : {"home", "tmp", "work", "runtime"})
        QDir(scratch.path()).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(scratch.path() + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray root = QFile::encodeName(scratch.path());
    setenv("HOME", root + "/home", 1);
    setenv("XDG_DATA_HOME", root + "/home/.local/share", 1);
    setenv("XDG_CONFIG_HOME", root + "/home/.config", 1);
    setenv("XDG_CACHE_HOME", root + "/home/.cache", 1);
    setenv("XDG_RUNTIME_DIR", root + "/runtime", 1);
    setenv("TMPDIR", root + "/tmp", 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("KZP_TEST_HOOKS");
    if (chdir(root + "/work") != 0)
        return 1;

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    for (const Program& program : programs) // warm-up, not counted
        runOnce(connection, program);
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so drifts of the machine hit every program alike.
        for (Program& program : programs) {
            const Sample sample = runOnce(connection, program);
            program.samples << sample;
            std::printf("run %d %-22s start %7.1f ms  rss %6.1f MB\n", i + 1, program.label.constData(),
                        sample.startMs, sample.rssMb);
            std::fflush(stdout);
        }
    }
    xcb_disconnect(connection);

    std::printf("\nmedians of %d runs: exec to main window mapped, resident memory 2 s later\n", runs);
    double bareStart = -1, bareRss = -1;
    bool complete = true;
    for (const Program& program : programs) {
        QList<double> starts, memory;
        for (const Sample& sample : program.samples) {
            if (sample.startMs >= 0)
                starts << sample.startMs;
            if (sample.rssMb >= 0)
                memory << sample.rssMb;
        }
        if (starts.size() != runs || memory.size() != runs) {
            std::printf("%-22s incomplete: the window did not appear in every run\n",
                        program.label.constData());
            complete = false;
            continue;
        }
        const double start = median(starts), rss = median(memory);
        if (bareStart < 0) {
            bareStart = start;
            bareRss = rss;
            std::printf("%-22s start %7.1f ms  rss %6.1f MB  (yardstick)\n", program.label.constData(), start,
                        rss);
            continue;
        }
        const double ratio = start / bareStart, extra = rss - bareRss;
        std::printf("%-22s start %7.1f ms  rss %6.1f MB  ratio %.2f (target <= 1.30: %s)  "
                    "extra %.1f MB (target <= 15: %s)\n",
                    program.label.constData(), start, rss, ratio, ratio <= 1.3 ? "met" : "NOT met", extra,
                    extra <= 15 ? "met" : "NOT met");
    }
    return complete ? 0 : 1;
}
