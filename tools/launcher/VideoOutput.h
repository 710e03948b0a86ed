#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What the launcher learnt about the X display the engine is going to draw on.
struct DisplayFacts {
    bool reachable = false;   // the display could be opened
    bool xvImagePort = false; // an Xv adaptor that takes images (what the engine's "xv" needs)
    bool glx = false;         // the server offers GLX at all
    bool hardwareGl = false;  // OpenGL would run on a GPU, not in a software rasteriser
};

// The facts as one line naming the display they belong to, for the variable
// KZP_DISPLAY_FACTS: a player that asked once ("Player.exe --display-facts")
// spares every later launch the question, which costs tens of milliseconds
// before the engine can start.
QByteArray displayFactsText(const QByteArray& display, const DisplayFacts& facts);
// The facts of such a line when it names `display`; nothing for any other
// text (the launcher then asks the display itself).
std::optional<DisplayFacts> displayFactsFromText(const QByteArray& text, const QByteArray& display);

// Environment variables with which Mesa renders in software whatever the hardware.
struct GlEnvironment {
    QByteArray alwaysSoftware; // LIBGL_ALWAYS_SOFTWARE
    QByteArray alwaysIndirect; // LIBGL_ALWAYS_INDIRECT
    QByteArray galliumDriver;  // GALLIUM_DRIVER
};

// Whether an OpenGL client of this display gets hardware rendering. GL is
// accelerated only through DRI2/DRI3 or the vendor's own protocol (NV-GLX);
// without them Mesa falls back to its software rasteriser, or to indirect
// rendering, which is slower still. Loading the GL driver would tell for sure
// but costs a few hundred milliseconds at every start.
bool hardwareOpenGl(const QStringList& serverExtensions, const GlEnvironment& environment);

struct VideoOutputChoice {
    QString outputs;        // the "-vo" value, never ending with a comma
    QStringList options;    // engine options that belong to that output
    bool blackBars = false; // the output leaves the bars beside the picture unpainted
};

// The engine's video output for the player's native one. Where the fast
// overlay (Xv) or hardware OpenGL exists, the usual list; otherwise plain X11,
// scaled by the engine to fit the window with the picture's aspect kept:
// software OpenGL costs three to four times as much CPU for the same picture.
VideoOutputChoice chooseVideoOutput(const DisplayFacts& facts);
