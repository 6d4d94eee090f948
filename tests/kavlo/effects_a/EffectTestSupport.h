// Shared helpers of the effect tests: the GL context with extensions loaded, the show
// data linked into the working directory, GL state snapshots and small picture
// measurements.
#pragma once

#include "GLState.h"
#include "GLTestContext.h"

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

class Effect;

namespace fxtest {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// The shared 800 x 600 context with extensions loaded and GL_TEXTURE_2D on, as at
// start-up; false (with the reason in *why) when there is none.
inline bool ContextReady(std::string* why) { return testsupport::DemoContextReady(why); }

// Links ${KAVLO_BINARY_DIR}/show/megadata.rar into the working directory on first use
// (so the logs the loaders write stay in this program's own folder); true when the
// default show data is there to load.
bool ShowDataReady();

// The GL state an effect's frame leaves behind.
using GLState = testsupport::GLState;
inline GLState ReadState() { return testsupport::ReadGLState(); }
inline std::vector<GLenum> TakeErrors() { return testsupport::TakeGLErrors(); }

// Clears the frame to black (colour and depth) and resets what an effect's caller
// would find at start-up: blend, alpha test, scissor off, colour white.
void ClearFrame();

// Mean of one channel (0 = R .. 2 = B) over a rectangle of the read-back picture,
// rows counted from the top.
double MeanChannel(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1, int channel);
// Mean brightness (R + G + B) / 3 over a rectangle.
double MeanBrightness(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1);
// Number of pixels in a rectangle that differ from `other` by more than `tolerance`
// in any colour channel.
int DifferingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int x0,
                    int y0, int x1, int y1, int tolerance);
// Largest per-channel difference over the whole picture (alpha ignored).
int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Renders one frame of `effect`, and fails the current test when GL reports an error.
void RenderFrame(Effect& effect, unsigned timeMs, int deltaMs, bool sync);

// Writes the current back buffer under the test's output folder; returns its path.
std::string SavePicture(const std::string& name);

}  // namespace fxtest

#define FX_REQUIRE_GL()                                      \
    do {                                                     \
        std::string fx_why;                                  \
        if (!fxtest::ContextReady(&fx_why))                  \
            GTEST_SKIP() << "no GL context: " << fx_why;     \
    } while (0)

#define FX_REQUIRE_DATA()                                                   \
    do {                                                                    \
        FX_REQUIRE_GL();                                                    \
        if (!fxtest::ShowDataReady())                                       \
            GTEST_SKIP() << "the default show data has not been built";     \
    } while (0)

namespace fxtest {

// Changes into an empty folder of the working directory for its lifetime, so loaders
// find no data archive there; goes back on destruction.
class NoDataDirectory {
public:
    NoDataDirectory();
    ~NoDataDirectory();
    bool Ok() const { return ok; }

private:
    bool ok = false;
    std::string previous;
};

}  // namespace fxtest
