#include "tools/launcher/DisplayProbe.h"

#include <QtGlobal>

#ifdef KZP_HAVE_X11

#include <X11/Xlib.h>
#include <X11/extensions/Xv.h>

#include <cerrno>
#include <csignal>
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
using DamageQuery = Bool (*)(Display*, int*, int*);
using DamageCreate = XID (*)(Display*, Drawable, int);
using DamageDestroy = void (*)(Display*, XID);
const int kDamageNotify = 0;  // the event's offset from the extension's first event
const int kRawRectangles = 0; // one report per drawing request, nothing to acknowledge

// Keeps the bars beside the engine's picture black. The engine centres its
// picture and lets it touch two opposite edges of the window, but never
// paints what lies beside it; and after a change of size it may draw one
// more picture placed for the old size before it scales to the new one.
// Where the server reports drawing (Damage), the bars beside the first
// picture placed for the current size are painted after it, and watching
// stops once that picture has come three times more. Without Damage the
// whole window is painted once a new size has settled for a while.
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
        if (void* library = dlopen("libXdamage.so.1", RTLD_NOW | RTLD_LOCAL)) {
            const auto query = reinterpret_cast<DamageQuery>(dlsym(library, "XDamageQueryExtension"));
            create = reinterpret_cast<DamageCreate>(dlsym(library, "XDamageCreate"));
            destroy = reinterpret_cast<DamageDestroy>(dlsym(library, "XDamageDestroy"));
            int errorBase = 0;
            if (!query || !create || !destroy || !query(display, &damageEvents, &errorBase))
                damageEvents = -1;
        }
        // Whatever the window showed before (the player's start page) goes.
        fill(0, 0, width, height);
        watch();
        return true;
    }

    void handle(const XEvent& event) {
        if (event.type == ConfigureNotify && event.xconfigure.window == window) {
            if (event.xconfigure.width == width && event.xconfigure.height == height)
                return; // moved only
            width = event.xconfigure.width;
            height = event.xconfigure.height;
            picture = {};
            watch();
        } else if (event.type == Expose && event.xexpose.window == window) {
            watch();
        } else if (damage && event.type == damageEvents + kDamageNotify) {
            drawn(reinterpret_cast<const DamageReport&>(event).area);
        }
    }
    // Milliseconds until the fallback paint, or -1.
    int timeout() const { return due < 0 ? -1 : int(qMax<qint64>(0, due - nowMs())); }
    void timedOut() {
        if (due >= 0 && nowMs() >= due) {
            fill(0, 0, width, height);
            due = -1;
        }
    }

private:
    struct Box {
        int x = 0, y = 0, w = 0, h = 0;
        bool operator==(const Box& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
        bool meets(const Box& o) const {
            return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
        }
    };

    void watch() {
        dirty = true;
        quiet = 0;
        if (damageEvents < 0)
            due = nowMs() + 200;
        else if (!damage)
            damage = create(display, window, kRawRectangles);
    }
    // Placed as the engine places a picture: (size - extent) / 2 from two
    // opposite edges, filling the other two.
    bool fitted(const Box& b) const {
        const int restX = width - 2 * b.x - b.w, restY = height - 2 * b.y - b.h;
        return (b.w == width && b.x == 0 && (restY == 0 || restY == 1)) ||
               (b.h == height && b.y == 0 && (restX == 0 || restX == 1));
    }
    // One drawing request. Without shared memory a picture comes in strips
    // of rows, one below the other.
    void drawn(const XRectangle& area) {
        const Box box{area.x, area.y, area.width, area.height};
        if (picture.w > 0 && !box.meets(picture))
            return; // within the bars: our own painting (exposures call watch())
        if (box.x == strips.x && box.w == strips.w && box.y == strips.y + strips.h && strips.h > 0)
            strips.h += box.h;
        else
            strips = box;
        if (!fitted(strips))
            return;
        if (dirty || !(strips == picture)) {
            paintBesides(strips);
        } else if (++quiet >= 3) {
            destroy(display, damage);
            damage = 0;
        }
        strips = {};
    }
    void paintBesides(const Box& b) {
        fill(0, 0, width, b.y);
        fill(0, b.y + b.h, width, height - b.y - b.h);
        fill(0, b.y, b.x, b.h);
        fill(b.x + b.w, b.y, width - b.x - b.w, b.h);
        picture = b;
        dirty = false;
        quiet = 0;
    }
    // One request per rectangle: the server reports each request's extent,
    // and two bars in one request would read as one window-wide drawing.
    void fill(int x, int y, int w, int h) {
        if (w > 0 && h > 0) {
            XFillRectangle(display, window, gc, x, y, unsigned(w), unsigned(h));
            XFlush(display);
        }
    }

    Display* display;
    Window window;
    GC gc = nullptr;
    int width = 0, height = 0;
    int damageEvents = -1;
    DamageCreate create = nullptr;
    DamageDestroy destroy = nullptr;
    XID damage = 0;
    Box picture; // the last picture whose bars were painted
    Box strips;  // the picture being drawn
    bool dirty = true;
    int quiet = 0;
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
