// The same show on Mesa's two software rasterisers: a frame from every effect window,
// drawn by llvmpipe and by softpipe, must agree. A reliance on one implementation's
// behaviour (undefined state, precision, read-back order) would otherwise show only on
// people's GPUs, as every other drawing test runs on llvmpipe.
#include "GLTestContext.h"
#include "Psnr.h"
#include "kavlo/Timeline.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// One or two times in each effect window, as the contact sheet takes them.
const auto& kTimesMs = kContactSheetMs;
constexpr double kMinPsnr = 38.0;  // measured: 41 to 60 dB at 160 x 120, 10 fps

// The renderer's name when the offscreen driver runs on the given Gallium driver.
std::string RendererWith(const char* driver) {
    setenv("GALLIUM_DRIVER", driver, 1);
    std::string name;
    {
        testsupport::OffscreenGL gl(16, 16);
        if (gl.Ok()) name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    }
    unsetenv("GALLIUM_DRIVER");
    SDL_Quit();
    return name;
}

std::vector<unsigned char> ReadRgb(const std::string& path, int* width, int* height) {
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return rgb;
}

TEST(RendererAgreement, LlvmpipeAndSoftpipeDrawTheSameShow) {
    const std::string show = std::string(KAVLO_BINARY_DIR) + "/show";
    if (access((show + "/megadata.rar").c_str(), R_OK) != 0)
        GTEST_SKIP() << "the show data is not built";
    const std::string soft = RendererWith("softpipe");
    if (soft.find("softpipe") == std::string::npos)
        GTEST_SKIP() << "no softpipe in this Mesa (renderer: " << soft << ")";

    std::string times;
    for (unsigned t : kTimesMs) times += (times.empty() ? "" : ",") + std::to_string(t);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string here = cwd;
    for (const char* driver : {"llvmpipe", "softpipe"}) {
        const std::string out = here + "/" + driver + "/";
        const std::string cmd = "mkdir -p " + out + " && cd " + show + " && GALLIUM_DRIVER=" +
                                driver + " " + CAPTURE_TOOL + " -q --fps 10 --size 160x120 --at " +
                                times + " -o " + out;
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd;
    }
    for (unsigned t : kTimesMs) {
        const std::string name = "/at_" + std::to_string(t) + ".png";
        int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
        const auto a = ReadRgb(here + "/llvmpipe" + name, &w1, &h1);
        const auto b = ReadRgb(here + "/softpipe" + name, &w2, &h2);
        ASSERT_FALSE(a.empty() || b.empty()) << name;
        ASSERT_TRUE(w1 == w2 && h1 == h2) << name;
        EXPECT_GE(testsupport::Psnr(a, b), kMinPsnr) << "at " << t << " ms (frames in " << here << ")";
    }
}

}  // namespace
