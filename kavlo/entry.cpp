// Process entry of `kavlo`: reads the command line and runs the show on the real machine.
#include "GLWindow.h"
#include "main.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace {

void PrintUsage(std::FILE* to) {
    std::fprintf(to,
                 "Usage: kavlo [--windowed]\n"
                 "Plays the Kavlo demo: \"musik.xm\" and the effects of \"megadata.rar\",\n"
                 "both read from the current directory. Escape ends the show.\n"
                 "\n"
                 "  --windowed  open an 800 x 600 window instead of switching the display\n"
                 "              to 800 x 600, 32 bits per pixel at 75 Hz\n"
                 "  --help      show this text\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool fullscreen = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--windowed") == 0) {
            fullscreen = false;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "kavlo: unknown option '%s'\n", argv[i]);
            PrintUsage(stderr);
            return 2;
        }
    }
    SystemPlatform platform;
    const int result = RunDemo(platform, fullscreen);
    // Some ways out leave the window to the process's end; the display mode must not
    // outlive the process.
    GLWindow::Destroy();
    SDL_Quit();
    return result;
}
