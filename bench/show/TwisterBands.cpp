// kavlo-twister-bench: the twister's 300 bands drawn from the whole display list and
// with each band's faces only, in turn, frame by frame in one run: the time of each and
// whether the pictures are the same. Run it in a folder that holds the show's data.
#include "EffectTwister.h"
#include "platform/window/GLWindow.h"
#include "main.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <time.h>
#include <vector>

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double ProcessCpu() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--help")) {
            std::printf("Usage: kavlo-twister-bench [--rounds N]\n"
                        "Draws twister frames of 300 bands at six times, N rounds (default 5),\n"
                        "each frame from the whole display list and with culled bands in\n"
                        "turn; prints the medians, their ratio, and whether the pictures match.\n");
            return 0;
        } else {
            std::fprintf(stderr, "kavlo-twister-bench: unknown option '%s'\n", argv[i]);
            return 2;
        }
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!GLWindow::Create(800, 600, 75, 32, false) || !GLWindow::LoadExtensions()) {
        std::fprintf(stderr, "kavlo-twister-bench: no GL window\n");
        return 1;
    }
    glEnable(GL_TEXTURE_2D);
    EffectTwister twister;
    if (!twister.Init(800, 600, kTimeline[3].startMs, kTimeline[3].endMs)) {
        std::fprintf(stderr, "kavlo-twister-bench: the twister did not load (run it in the show's folder)\n");
        return 1;
    }
    if (!twister.BandCulling()) std::printf("band culling is not possible with this scene\n");

    const unsigned times[] = {47000, 50000, 55555, 60000, 66666, 71000};
    std::vector<double> wall[2], cpu[2];
    std::vector<uint8_t> pixels[2] = {std::vector<uint8_t>(800 * 600 * 4),
                                      std::vector<uint8_t>(800 * 600 * 4)};
    long differing = 0;
    for (int r = 0; r < rounds; ++r)
        for (unsigned t : times) {
            for (int culled = 0; culled < 2; ++culled) {
                twister.SetBandCulling(culled == 1);
                twister.state.sliceCount = EffectTwister::BandCount(600);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                glFinish();
                const double w0 = Now(), c0 = ProcessCpu();
                twister.Render(t, 0, false);
                glFinish();
                wall[culled].push_back((Now() - w0) * 1000);
                cpu[culled].push_back((ProcessCpu() - c0) * 1000);
                glReadPixels(0, 0, 800, 600, GL_RGBA, GL_UNSIGNED_BYTE, pixels[culled].data());
                GLWindow::SwapAndPump();
            }
            for (size_t k = 0; k < pixels[0].size(); ++k) differing += pixels[0][k] != pixels[1][k];
        }
    GLWindow::Destroy();
    std::printf("twister, 300 bands, %zu frames each:\n", wall[0].size());
    std::printf("  whole display list a band: median %.2f ms (processor %.2f ms)\n", Median(wall[0]),
                Median(cpu[0]));
    std::printf("  each band's faces only:     median %.2f ms (processor %.2f ms)\n", Median(wall[1]),
                Median(cpu[1]));
    std::printf("  culled / whole: %.2f (processor %.2f); pictures %s\n",
                Median(wall[1]) / Median(wall[0]), Median(cpu[1]) / Median(cpu[0]),
                differing ? "DIFFER" : "identical");
    if (differing) std::printf("  %ld bytes differ\n", differing);
    return differing ? 1 : 0;
}
