#pragma once

#include <QList>

// The bars beside the engine's picture when it draws with plain X11: that
// output centres its picture and lets it touch two opposite edges of the
// window, but never paints what lies beside it. After a change of size it
// may still draw one picture placed for the old size, and a stream may
// change its aspect. BarKeeper reads the server's reports of what was drawn
// into the window (X Damage) and says what to paint black, and when.
//
// Every drawing is watched after a change of size or an exposure: the bars
// beside the first picture placed for the current size are painted after it
// (once the next drawing shows the picture complete).
// Once that picture has come three times more, only growth of the drawn area
// is reported (checked once a second), which costs nearly nothing; drawing
// outside the picture starts watching again.
class BarKeeper {
public:
    struct Box {
        int x = 0, y = 0, w = 0, h = 0;
        bool operator==(const Box& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
        bool meets(const Box& o) const {
            return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
        }
        bool within(const Box& o) const {
            return x >= o.x && y >= o.y && x + w <= o.x + o.w && y + h <= o.y + o.h;
        }
    };
    // What the server should report: every drawing request, or only growth
    // of the drawn area since the last acknowledgement.
    enum class Reports { Every, Growth };

    BarKeeper(int width, int height);

    // The window changed its size / was exposed: rectangles to paint now (none).
    void resized(int width, int height);
    void exposed();
    // One report: the area drawn (Every), or the drawn area so far (Growth).
    // Returns the rectangles to paint black now, one request each.
    QList<Box> drawn(const Box& area);

    // The level the reports should have. When it changes the caller makes a
    // new report and calls restarted(): a new report starts with the whole
    // visible window, which is not a drawing.
    Reports reports() const { return level; }
    void restarted() { initial = true; }

private:
    void watch();
    bool fitted(const Box& b) const;
    QList<Box> paintBesides(const Box& b);

    int width, height;
    Reports level = Reports::Every;
    bool initial = true;
    Box picture; // the last picture whose bars were painted
    Box strips;  // the drawing in progress
    bool dirty = true;
    int quiet = 0;
};
