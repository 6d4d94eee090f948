// Helpers of the beam, torus and Ordan effect tests.
#include "FxbSupport.h"

#include "Effect.h"
#include "GLTestContext.h"
#include "platform/window/GLWindow.h"

#include <GL/glext.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace fxb {

ScratchDirectory::ScratchDirectory(const std::string& name) {
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer)) return;
    previous = buffer;
    mkdir(name.c_str(), 0755);
    ok = chdir(name.c_str()) == 0;
}

ScratchDirectory::~ScratchDirectory() {
    if (ok && chdir(previous.c_str()) != 0) std::abort();
}

void FillFrame(float r, float g, float b) {
    TakeErrors();
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_TRUE);
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(r, g, b, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Effects rely on the clear colour being black, as start-up leaves it.
    glClearColor(0, 0, 0, 0);
    glColor4f(1, 1, 1, 1);
}

void RenderFrame(Effect& effect, unsigned timeMs, int deltaMs, bool sync) {
    effect.Render(timeMs, deltaMs, sync);
    const std::vector<GLenum> errors = TakeErrors();
    EXPECT_TRUE(errors.empty()) << "GL error 0x" << std::hex << (errors.empty() ? 0 : errors[0])
                                << " after the frame at " << std::dec << timeMs;
}

std::vector<uint8_t> Frame() { return testsupport::SharedGL().ReadPixels(); }

std::vector<int> Pixel(const std::vector<uint8_t>& rgba, int x, int y) {
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
    return {p[0], p[1], p[2]};
}

double MeanBrightness(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1) {
    double sum = 0;
    long count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
            sum += (p[0] + p[1] + p[2]) / 3.0;
            ++count;
        }
    return count ? sum / count : 0;
}

int PixelsNotColour(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1,
                    const int rgb[3], int tolerance) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
            for (int c = 0; c < 3; ++c)
                if (std::abs(p[c] - rgb[c]) > tolerance) {
                    ++n;
                    break;
                }
        }
    return n;
}

int DepthWrittenPixels() {
    std::vector<float> depth(static_cast<size_t>(kWidth) * kHeight);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    int n = 0;
    for (float d : depth)
        if (d < 1.0f) ++n;
    return n;
}

std::string SavePicture(const std::string& name) {
    // The screen shows no alpha; written as is, additive frames would look washed out
    // in a picture viewer.
    std::vector<uint8_t> rgba = Frame();
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    const std::string path = testsupport::OutputPath(name);
    return testsupport::WritePNG(path, kWidth, kHeight, rgba) ? path : std::string();
}

}  // namespace fxb
