#include "tools/launcher/DisplayProbe.h"

#include "tools/launcher/BarKeeper.h"

#include <QtGlobal>

#ifdef KZP_HAVE_X11

#include <X11/Xlib.h>
#include <X11/extensions/Xv.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

// libXv's adaptor record (Xvlib.h, unchanged since XFree86 4). libXv is
// opened at run time: it is there wherever the engine can use Xv at all, and
// the launcher needs no development package for it.
struct XvAdaptorRecord {
    XID base_id;
    unsigned long num_ports;
    char type;
    char* name;
    unsigned long num_formats;
    void* formats;
    unsigned long num_adaptors;
};
using QueryAdaptors = int (*)(Display*, Window, unsigned int*, XvAdaptorRecord**);
using FreeAdaptors = void (*)(XvAdaptorRecord*);

// Xlib's default handlers end the process on any error; a window id that
// names no window must not stop the launcher.
int ignoreError(Display*, XErrorEvent*) {
    return 0;
}
// A lost connection ends the watching child quietly.
int leaveQuietly(Display*) {
    _exit(0);
}

bool hasImagePort(Display* display) {
    void* library = dlopen("libXv.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    const auto query = reinterpret_cast<QueryAdaptors>(dlsym(library, "XvQueryAdaptors"));
    const auto release = reinterpret_cast<FreeAdaptors>(dlsym(library, "XvFreeAdaptorInfo"));
    bool found = false;
    unsigned int count = 0;
    XvAdaptorRecord* adaptors = nullptr;
    if (query && release && query(display, DefaultRootWindow(display), &count, &adaptors) == Success) {
        for (unsigned int i = 0; i < count && !found; ++i)
            found = (adaptors[i].type & XvInputMask) && (adaptors[i].type & XvImageMask) &&
                    adaptors[i].num_ports > 0;
        if (adaptors)
            release(adaptors);
    }
    // Not closed: libXv registers hooks on the display, which is closed later.
    return found;
}

qint64 nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// libXdamage's report of one drawing (Xdamage.h), opened at run time like libXv.
struct DamageReport {
    int type;
    unsigned long serial;
    Bool send_event;
    Display* display;
    Drawable drawable;
    XID damage;
    int level;
    Bool more;
    Time timestamp;
    XRectangle area;
    XRectangle geometry;
};
static_assert(sizeof(DamageReport) <= sizeof(XEvent), "an event holds the report");
using DamageQuery = Bool (*)(Display*, int*, int*);
using DamageCreate = XID (*)(Display*, Drawable, int);
using DamageDestroy = void (*)(Display*, XID);
using DamageSubtract = void (*)(Display*, XID, XID, XID);
const int kDamageNotify = 0; // the event's offset from the extension's first event
int damageLevel(BarKeeper::Reports reports) {
    return reports == BarKeeper::Reports::Every ? 0 /* raw rectangles */ : 2 /* bounding box */;
}

// The engine's window and the server's reports on it: BarKeeper decides,
// this paints. Damage comes with the engine's own dependencies; without it
// the whole window is painted once a new size has settled for a while.
class BlackBars {
public:
    BlackBars(Display* display, Window window) : display(display), window(window) {}

    bool start() {
        const unsigned long black = BlackPixel(display, DefaultScreen(display));
        // Parts the server exposes are cleared to black by the server itself.
        XSetWindowBackground(display, window, black);
        XSelectInput(display, window, StructureNotifyMask | ExposureMask);
        XGCValues values;
        values.foreground = black;
        gc = XCreateGC(display, window, GCForeground, &values);
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, window, &attributes))
            return false;
        width = attributes.width;
        height = attributes.height;
        keeper = BarKeeper(width, height);
        if (void* library = dlopen("libXdamage.so.1", RTLD_NOW | RTLD_LOCAL)) {
            const auto query = reinterpret_cast<DamageQuery>(dlsym(library, "XDamageQueryExtension"));
            create = reinterpret_cast<DamageCreate>(dlsym(library, "XDamageCreate"));
            destroy = reinterpret_cast<DamageDestroy>(dlsym(library, "XDamageDestroy"));
            subtract = reinterpret_cast<DamageSubtract>(dlsym(library, "XDamageSubtract"));
            int errorBase = 0;
            if (!query || !create || !destroy || !subtract || !query(display, &damageEvents, &errorBase))
                damageEvents = -1;
        }
        // Whatever the window showed before (the player's start page) goes.
        fill({0, 0, width, height});
        if (damageEvents >= 0)
            followReports();
        return true;
    }

    void handle(const XEvent& event) {
        if (event.type == ConfigureNotify && event.xconfigure.window == window) {
            if (event.xconfigure.width == width && event.xconfigure.height == height)
                return; // moved only
            width = event.xconfigure.width;
            height = event.xconfigure.height;
            keeper.resized(width, height);
            due = damageEvents < 0 ? nowMs() + 200 : -1;
        } else if (event.type == Expose && event.xexpose.window == window) {
            keeper.exposed();
        } else if (damage && event.type == damageEvents + kDamageNotify) {
            DamageReport report;
            std::memcpy(&report, &event, sizeof report);
            for (const BarKeeper::Box& bar :
                 keeper.drawn({report.area.x, report.area.y, report.area.width, report.area.height}))
                fill(bar);
        }
        if (damageEvents >= 0)
            followReports();
    }
    // Milliseconds until timedOut() has something to do, or -1.
    int timeout() const {
        const qint64 next = due >= 0 ? due : nextCheck;
        return next < 0 ? -1 : int(qMax<qint64>(0, next - nowMs()));
    }
    void timedOut() {
        const qint64 now = nowMs();
        if (due >= 0 && now >= due) {
            fill({0, 0, width, height});
            due = -1;
        }
        if (nextCheck >= 0 && now >= nextCheck) {
            subtract(display, damage, None, None); // report the next drawing again
            XFlush(display);
            nextCheck = now + 1000;
        }
    }

private:
    // A report of the level the keeper wants.
    void followReports() {
        if (damage && keeper.reports() == level)
            return;
        if (damage)
            destroy(display, damage);
        level = keeper.reports();
        damage = create(display, window, damageLevel(level));
        keeper.restarted();
        nextCheck = level == BarKeeper::Reports::Growth ? nowMs() + 1000 : -1;
        XFlush(display);
    }
    // One request per rectangle: the server reports each request's extent,
    // and two bars in one request would read as one window-wide drawing.
    void fill(const BarKeeper::Box& box) {
        if (box.w > 0 && box.h > 0) {
            XFillRectangle(display, window, gc, box.x, box.y, unsigned(box.w), unsigned(box.h));
            XFlush(display);
        }
    }

    Display* display;
    Window window;
    GC gc = nullptr;
    int width = 0, height = 0;
    BarKeeper keeper{0, 0};
    int damageEvents = -1;
    DamageCreate create = nullptr;
    DamageDestroy destroy = nullptr;
    DamageSubtract subtract = nullptr;
    XID damage = 0;
    BarKeeper::Reports level = BarKeeper::Reports::Every;
    qint64 nextCheck = -1;
    qint64 due = -1;
};

// The child's life: keep the bars black until the window or the engine goes.
[[noreturn]] void watchWindow(Window window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        _exit(0);
    XSetErrorHandler(ignoreError);
    XSetIOErrorHandler(leaveQuietly);
    BlackBars bars(display, window);
    if (!bars.start())
        _exit(0);
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == DestroyNotify && event.xdestroywindow.window == window)
                _exit(0);
            bars.handle(event);
        }
        const int ready = poll(&connection, 1, bars.timeout());
        if (ready < 0 && errno != EINTR)
            _exit(0);
        if (connection.revents & (POLLERR | POLLHUP))
            _exit(0);
        bars.timedOut();
    }
}

} // namespace

DisplayFacts probeDisplay() {
    DisplayFacts facts;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return facts;
    XErrorHandler previous = XSetErrorHandler(ignoreError);
    facts.reachable = true;
    QStringList extensions;
    int count = 0;
    if (char** names = XListExtensions(display, &count)) {
        for (int i = 0; i < count; ++i)
            extensions.append(QString::fromLatin1(names[i]));
        XFreeExtensionList(names);
    }
    facts.glx = extensions.contains(QLatin1String("GLX"));
    facts.hardwareGl =
        hardwareOpenGl(extensions, {qgetenv("LIBGL_ALWAYS_SOFTWARE"), qgetenv("LIBGL_ALWAYS_INDIRECT"),
                                    qgetenv("GALLIUM_DRIVER")});
    facts.xvImagePort = extensions.contains(QLatin1String("XVideo")) && hasImagePort(display);
    XCloseDisplay(display);
    XSetErrorHandler(previous);
    return facts;
}

void keepWindowBlack(unsigned long id) {
    if (id == 0)
        return;
    const pid_t engine = getpid(); // this process becomes the engine
    const pid_t child = fork();
    if (child != 0)
        return; // the launcher, or fork failed: nothing more to do
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (getppid() != engine)
        _exit(0);
    // The player's pipes belong to the engine alone.
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd <= 2 && null >= 0; ++fd)
        dup2(null, fd);
    watchWindow(Window(id));
}

#else // no X11 at build time

DisplayFacts probeDisplay() {
    return {};
}
void keepWindowBlack(unsigned long) {}

#endif
