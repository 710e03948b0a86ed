#include "tools/launcher/BarKeeper.h"

BarKeeper::BarKeeper(int width, int height) : width(width), height(height) {}

void BarKeeper::resized(int newWidth, int newHeight) {
    if (newWidth == width && newHeight == height)
        return; // moved only
    width = newWidth;
    height = newHeight;
    picture = {};
    watch();
}

void BarKeeper::exposed() {
    watch();
}

void BarKeeper::watch() {
    dirty = true;
    quiet = 0;
    strips = {};
    level = Reports::Every;
}

// Placed as the engine places a picture: (size - extent) / 2 from two
// opposite edges, filling the other two.
bool BarKeeper::fitted(const Box& b) const {
    const int restX = width - 2 * b.x - b.w, restY = height - 2 * b.y - b.h;
    return (b.w == width && b.x == 0 && (restY == 0 || restY == 1)) ||
           (b.h == height && b.y == 0 && (restX == 0 || restX == 1));
}

QList<BarKeeper::Box> BarKeeper::drawn(const Box& area) {
    if (initial) {
        initial = false;
        return {};
    }
    if (level == Reports::Growth) {
        // Anything beyond the picture (a new aspect, someone else's
        // painting) may have left the bars unclean.
        if (!area.within(picture)) {
            picture = {};
            watch();
        }
        return {};
    }
    if (picture.w > 0 && !area.meets(picture))
        return {}; // within the bars: our own painting (exposures come as exposed())
    // Without shared memory a picture comes in strips of rows, one below the
    // other; it is complete when the next drawing starts elsewhere (a strip
    // one row short of it would look centred all the same).
    if (strips.h > 0 && area.x == strips.x && area.w == strips.w && area.y == strips.y + strips.h) {
        strips.h += area.h;
        return {};
    }
    const Box complete = strips;
    strips = area;
    if (!fitted(complete))
        return {}; // none yet, or one placed for another size
    if (dirty || !(complete == picture))
        return paintBesides(complete);
    if (++quiet >= 3)
        level = Reports::Growth;
    return {};
}

QList<BarKeeper::Box> BarKeeper::paintBesides(const Box& b) {
    picture = b;
    dirty = false;
    quiet = 0;
    QList<Box> bars;
    const Box all[] = {{0, 0, width, b.y},
                       {0, b.y + b.h, width, height - b.y - b.h},
                       {0, b.y, b.x, b.h},
                       {b.x + b.w, b.y, width - b.x - b.w, b.h}};
    for (const Box& bar : all)
        if (bar.w > 0 && bar.h > 0)
            bars.append(bar);
    return bars;
}
