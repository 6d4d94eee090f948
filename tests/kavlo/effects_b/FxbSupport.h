// Helpers of the beam, torus and Ordan effect tests: the GL context, a small
// synthetic data archive with every mesh these effects look up, GL state snapshots
// and picture measurements.
#pragma once

#include "GLState.h"
#include "GLTestContext.h"

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class Effect;

namespace fxb {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// The shared 800 x 600 context with extensions loaded and GL_TEXTURE_2D on, as at
// start-up; false with the reason in *why when there is none.
inline bool ContextReady(std::string* why) { return testsupport::DemoContextReady(why); }

// Meshes the effects look up, and which of them the synthetic archive holds.
enum SyntheticMesh : unsigned {
    kBeamSphere = 1u << 0,   // "3ds/beam2.3ds" Sphere01
    kBlob = 1u << 1,         // "3ds/blob.3ds" Blob01
    kTorus = 1u << 2,        // "3ds/torus.3ds" Torus01
    kBox = 1u << 3,          // "3ds/underligmiddle.3ds" Box02
    kBigSphere = 1u << 4,    // "3ds/insidespherehalf.3ds" bigsphere
    kRadialDuck = 1u << 5,   // "3ds/radialduck.3ds" Box01
    kAllMeshes = 0x3fu,
};

// Writes "megadata.rar" into the current directory: stored entries holding the chosen
// meshes and no pictures, so every texture stays empty and draws as its colour.
// False with a reason when the archive could not be written.
bool WriteSyntheticArchive(unsigned meshes, std::string* error);

// Writes the archive with every mesh into the working directory once per program;
// false (after reporting why) when that failed.
bool SyntheticDataReady();

// Runs in a fresh sub-folder of the working directory for its lifetime (so a
// different archive can be written there); goes back on destruction.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& name);
    ~ScratchDirectory();
    bool Ok() const { return ok; }

private:
    bool ok = false;
    std::string previous;
};

// The GL state a frame leaves behind.
using GLState = testsupport::GLState;
inline GLState ReadState() { return testsupport::ReadGLState(); }
inline std::vector<GLenum> TakeErrors() { return testsupport::TakeGLErrors(); }

// Clears colour (to r, g, b in 0..1) and depth, and sets what a caller would find at
// start-up: blend, depth test and fog off, colour white, texturing on.
void FillFrame(float r, float g, float b);

// Renders one frame and fails the current test when GL reports an error.
void RenderFrame(Effect& effect, unsigned timeMs, int deltaMs, bool sync);

// The back buffer, first row at the top.
std::vector<uint8_t> Frame();
// One pixel as {r, g, b}, y counted from the top.
std::vector<int> Pixel(const std::vector<uint8_t>& rgba, int x, int y);
// Mean of (R + G + B) / 3 over a rectangle.
double MeanBrightness(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1);
// Pixels of a rectangle whose colour differs from `rgb` by more than `tolerance`.
int PixelsNotColour(const std::vector<uint8_t>& rgba, int x0, int y0, int x1, int y1,
                    const int rgb[3], int tolerance);
// Pixels whose depth is nearer than the cleared far value, over the whole frame.
int DepthWrittenPixels();
// Writes the back buffer, opaque, for people to look at; returns its path.
std::string SavePicture(const std::string& name);

}  // namespace fxb

namespace fxb {

// The five effects' windows on the timeline (rows 4 to 8).
struct Window {
    unsigned startMs, endMs;
};
constexpr Window kBeamWindow{74000, 101000};
constexpr Window kTorusWindow{100000, 114000};
constexpr Window kTorus2Window{114000, 141000};
constexpr Window kOrdanWindow{140000, 155000};
constexpr Window kOrdan2Window{155000, 174000};

// A new effect of type E, Init-ed on the 800 x 600 screen with its window; null (after
// a failed expectation) when Init returned false.
template <class E>
E* MakeEffect(Window w) {
    E* effect = new E();
    const bool ok = effect->Init(kWidth, kHeight, w.startMs, w.endMs);
    if (!ok) {
        ADD_FAILURE() << "Init failed";
        delete effect;
        return nullptr;
    }
    return effect;
}

}  // namespace fxb

#define FXB_REQUIRE_GL()                                  \
    do {                                                  \
        std::string fxb_why;                              \
        if (!fxb::ContextReady(&fxb_why))                 \
            GTEST_SKIP() << "no GL context: " << fxb_why; \
    } while (0)

#define FXB_REQUIRE_SYNTHETIC()                \
    do {                                       \
        FXB_REQUIRE_GL();                      \
        ASSERT_TRUE(fxb::SyntheticDataReady()); \
    } while (0)
