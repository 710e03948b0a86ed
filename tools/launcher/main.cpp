// "Player.exe": the engine launcher the player starts. It adapts the engine's
// fixed argument list to this platform and then becomes the engine (exec), so
// the process the player holds, kills and waits for is the engine itself.

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "tools/launcher/BlurayTitle.h"
#include "tools/launcher/DisplayProbe.h"
#include "tools/launcher/EngineArguments.h"
#include "tools/launcher/SideFiles.h"

int main(int argc, char** argv) {
#ifdef __linux__
    // The engine must not outlive the player, however the player ends (even
    // kill -9). The setting survives exec. If the player died before this
    // line, the signal would never come: give up instead of playing on alone.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        return 1;
#endif

    // Asked once by the player: what the display offers, as one line.
    if (argc == 2 && std::strcmp(argv[1], "--display-facts") == 0) {
        const QByteArray line = displayFactsText(qgetenv("DISPLAY"), probeDisplay()) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        return 0;
    }

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));

    // KZP_VO names the outputs outright (tests: null, x11); otherwise the
    // display decides, and only when the player asked for its native output.
    QByteArray videoOutput = qgetenv("KZP_VO");
    QStringList videoOptions;
    if (videoOutput.isEmpty() && arguments.contains(QStringLiteral("-vo"))) {
        const std::optional<DisplayFacts> told =
            displayFactsFromText(qgetenv("KZP_DISPLAY_FACTS"), qgetenv("DISPLAY"));
        const VideoOutputChoice choice = chooseVideoOutput(told ? *told : probeDisplay());
        videoOutput = choice.outputs.toLocal8Bit();
        videoOptions = choice.options;
        if (choice.blackBars)
            keepWindowBlack(windowIdArgument(arguments));
    }
    adaptEngineArguments(arguments, videoOutput, qgetenv("KZP_AO"), videoOptions);
    translateBlurayTitle(arguments);
    if (!avoidBlockingSideFiles(arguments))
        return 1; // the player takes the engine's end for the end of playback

    QByteArray program = qgetenv("KZP_ENGINE");
    if (program.isEmpty())
        program = "mplayer";

    std::vector<std::string> storage;
    storage.push_back(program.toStdString());
    for (const QString& argument : std::as_const(arguments))
        storage.push_back(QFile::encodeName(argument).toStdString());
    std::vector<char*> list;
    for (std::string& s : storage)
        list.push_back(s.data());
    list.push_back(nullptr);

    execvp(list[0], list.data());
    std::fprintf(stderr, "Player.exe: cannot run %s: %s\n", list[0], std::strerror(errno));
    return 127;
}
