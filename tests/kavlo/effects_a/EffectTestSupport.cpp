// Shared helpers of the effect tests.
#include "EffectTestSupport.h"

#include "Effect.h"
#include "GLTestContext.h"
#include "platform/window/GLWindow.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

namespace fxtest {

bool ShowDataReady() {
    static bool ready = [] {
        struct stat st;
        if (stat("megadata.rar", &st) == 0) return true;
        const std::string source = std::string(KAVLO_BINARY_DIR) + "/show/megadata.rar";
        if (stat(source.c_str(), &st) != 0) return false;
        return symlink(source.c_str(), "megadata.rar") == 0;
    }();
    return ready;
}

void ClearFrame() {
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glViewport(0, 0, kWidth, kHeight);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    TakeErrors();
}

double MeanChannel(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1,
                   int channel) {
    double sum = 0.0;
    long count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            sum += rgba[(static_cast<size_t>(y) * kWidth + x) * 4 + channel];
            ++count;
        }
    return count ? sum / count : 0.0;
}

double MeanBrightness(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1) {
    return (MeanChannel(rgba, x0, y0, x1, y1, 0) + MeanChannel(rgba, x0, y0, x1, y1, 1) +
            MeanChannel(rgba, x0, y0, x1, y1, 2)) /
           3.0;
}

int DifferingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int x0,
                    int y0, int x1, int y1, int tolerance) {
    int count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const size_t p = (static_cast<size_t>(y) * kWidth + x) * 4;
            for (int c = 0; c < 3; ++c)
                if (std::abs(int(a[p + c]) - int(b[p + c])) > tolerance) {
                    ++count;
                    break;
                }
        }
    return count;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int most = 0;
    for (size_t p = 0; p < a.size() && p < b.size(); ++p) {
        if (p % 4 == 3) continue;
        most = std::max(most, std::abs(int(a[p]) - int(b[p])));
    }
    return most;
}

void RenderFrame(Effect& effect, unsigned timeMs, int deltaMs, bool sync) {
    TakeErrors();
    effect.Render(timeMs, deltaMs, sync);
    const std::vector<GLenum> errors = TakeErrors();
    EXPECT_TRUE(errors.empty()) << "GL error 0x" << std::hex << (errors.empty() ? 0 : errors[0])
                                << " after the frame at " << std::dec << timeMs << " ms";
}

std::string SavePicture(const std::string& name) {
    // The screen shows no destination alpha, so neither does the picture.
    std::vector<uint8_t> rgba = testsupport::SharedGL().ReadPixels();
    for (size_t p = 3; p < rgba.size(); p += 4) rgba[p] = 255;
    const std::string path = testsupport::OutputPath(name);
    return testsupport::WritePNG(path, kWidth, kHeight, rgba) ? path : std::string();
}

}  // namespace fxtest

namespace fxtest {

NoDataDirectory::NoDataDirectory() {
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return;
    previous = buffer;
    mkdir("no-data", 0755);
    ok = chdir("no-data") == 0;
}

NoDataDirectory::~NoDataDirectory() {
    if (ok && chdir(previous.c_str()) != 0) ADD_FAILURE() << "cannot return to " << previous;
}

}  // namespace fxtest
