#include "tools/launcher/VideoOutput.h"

#include <cstring>

#include "tools/launcher/EngineArguments.h"

namespace {

// Mesa's reading of a boolean variable: unset, empty and the usual "no" words are false.
bool mesaTrue(const QByteArray& value) {
    const QByteArray v = value.trimmed().toLower();
    return !v.isEmpty() && v != "0" && v != "n" && v != "no" && v != "f" && v != "false";
}

} // namespace

QByteArray displayFactsText(const QByteArray& display, const DisplayFacts& facts) {
    auto flag = [](bool value) { return value ? '1' : '0'; };
    return QByteArrayLiteral("reachable=") + flag(facts.reachable) + " xv=" + flag(facts.xvImagePort) +
           " glx=" + flag(facts.glx) + " hwgl=" + flag(facts.hardwareGl) + " display=" + display;
}

std::optional<DisplayFacts> displayFactsFromText(const QByteArray& text, const QByteArray& display) {
    // Exactly the shape written above, for this display: anything else is
    // not ours to trust.
    const QList<QByteArray> fields = text.split(' ');
    if (fields.size() != 5 || fields[4] != "display=" + display || display.isEmpty())
        return std::nullopt;
    const char* const names[] = {"reachable=", "xv=", "glx=", "hwgl="};
    bool values[4] = {};
    for (int i = 0; i < 4; ++i) {
        const QByteArray& field = fields[i];
        if (!field.startsWith(names[i]) || field.size() != qsizetype(std::strlen(names[i])) + 1)
            return std::nullopt;
        const char value = field.back();
        if (value != '0' && value != '1')
            return std::nullopt;
        values[i] = value == '1';
    }
    DisplayFacts facts;
    facts.reachable = values[0];
    facts.xvImagePort = values[1];
    facts.glx = values[2];
    facts.hardwareGl = values[3];
    return facts;
}

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
