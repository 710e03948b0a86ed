#include "tools/launcher/VideoOutput.h"

#include "tools/launcher/EngineArguments.h"

namespace {

// Mesa's reading of a boolean variable: unset, empty and the usual "no" words are false.
bool mesaTrue(const QByteArray& value) {
    const QByteArray v = value.trimmed().toLower();
    return !v.isEmpty() && v != "0" && v != "n" && v != "no" && v != "f" && v != "false";
}

} // namespace

bool hardwareOpenGl(const QStringList& serverExtensions, const GlEnvironment& environment) {
    if (mesaTrue(environment.alwaysSoftware) || mesaTrue(environment.alwaysIndirect))
        return false;
    const QByteArray gallium = environment.galliumDriver.trimmed().toLower();
    if (gallium == "llvmpipe" || gallium == "softpipe" || gallium == "swr")
        return false;
    if (!serverExtensions.contains(QLatin1String("GLX")))
        return false;
    for (const char* name : {"DRI3", "DRI2", "NV-GLX"})
        if (serverExtensions.contains(QLatin1String(name)))
            return true;
    return false;
}

VideoOutputChoice chooseVideoOutput(const DisplayFacts& facts) {
    VideoOutputChoice choice;
    choice.outputs = QLatin1String(kDefaultVideoOutputs);
    // Unknown display: the engine finds out for itself, as it always did.
    if (!facts.reachable || facts.xvImagePort || (facts.glx && facts.hardwareGl))
        return choice;
    // "-zoom" makes the X11 output scale; inside the player's window "-fs"
    // only tells it to fit the picture with its aspect kept (nothing is
    // asked of the window manager).
    choice.outputs = QStringLiteral("x11");
    choice.options = {QStringLiteral("-zoom"), QStringLiteral("-fs")};
    choice.blackBars = true;
    return choice;
}
