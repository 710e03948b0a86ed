// "tool": the media probe the player runs for a file's length. It becomes
// ffmpeg printing the file's header on stderr (where the "Duration: " line is).
// Accepts "-i FILE" or just "FILE"; the name is passed on untouched, as one
// argument, whatever characters it holds.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* file = nullptr;
    if (argc == 3 && std::strcmp(argv[1], "-i") == 0)
        file = argv[2];
    else if (argc == 2)
        file = argv[1];
    if (!file) {
        std::fprintf(stderr, "usage: tool [-i] FILE\n");
        return 2;
    }
    const char* program = std::getenv("KZP_FFMPEG");
    if (!program || !*program)
        program = "ffmpeg";
    char* const arguments[] = {const_cast<char*>(program),    const_cast<char*>("-hide_banner"),
                               const_cast<char*>("-nostdin"), const_cast<char*>("-i"),
                               const_cast<char*>(file),       nullptr};
    execvp(program, arguments);
    std::fprintf(stderr, "tool: cannot run %s: %s\n", program, std::strerror(errno));
    return 127;
}
