// Process entry of `kavlo`: reads the command line and runs the show on the real machine.
#include "GLWindow.h"
#include "main.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace {

void PrintUsage(std::FILE* to) {
    std::fprintf(to,
                 "Usage: kavlo [--windowed] [--size WxH]\n"
                 "Plays the Kavlo demo: \"musik.xm\" and the effects of \"megadata.rar\",\n"
                 "both read from the current directory. Escape ends the show.\n"
                 "\n"
                 "  --windowed  open an 800 x 600 window instead of switching the display\n"
                 "              to 800 x 600, 32 bits per pixel at 75 Hz\n"
                 "  --size WxH  draw the show at this size (default 800x600)\n"
                 "  --help      show this text\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool fullscreen = true;
    RenderSize size;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--windowed") == 0) {
            fullscreen = false;
        } else if (std::strcmp(argv[i], "--size") == 0) {
            if (i + 1 >= argc || !ParseRenderSize(argv[i + 1], &size)) {
                std::fprintf(stderr, "kavlo: --size needs WxH, each side %d to %d\n",
                             kMinRenderSide, kMaxRenderSide);
                return 2;
            }
            ++i;
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
    const int result = RunDemo(platform, fullscreen, size);
    // Some ways out leave the window to the process's end; the display mode must not
    // outlive the process.
    GLWindow::Destroy();
    SDL_Quit();
    return result;
}
