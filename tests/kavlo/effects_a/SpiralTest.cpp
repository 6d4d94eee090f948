// The opening spiral: phase bounds, flare drift and wrap, the credits' rise and fall,
// the GL state each phase leaves, and its pictures.
#include "EffectSpiral.h"
#include "EffectTestSupport.h"
#include "GLTestContext.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/Vector3.h"
#include "memory/MemoryTracker.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class SpiralTest : public ::testing::Test {};

// An effect with its window set but no media: enough for the frame logic.
struct SpiralWindow : EffectSpiral {
    SpiralWindow() { Effect::Init(800, 600, 0, 18000); }
};

TEST_F(SpiralTest, PhasesSwitchAtTheirBounds) {
    SpiralWindow s;
    EXPECT_EQ(s.PhaseAt(1), EffectSpiral::FadeIn);
    EXPECT_EQ(s.PhaseAt(500), EffectSpiral::FadeIn);
    EXPECT_EQ(s.PhaseAt(1000), EffectSpiral::FadeIn);
    EXPECT_EQ(s.PhaseAt(1001), EffectSpiral::Main);
    EXPECT_EQ(s.PhaseAt(17000), EffectSpiral::Main);
    EXPECT_EQ(s.PhaseAt(17001), EffectSpiral::FadeOut);
    EXPECT_EQ(s.PhaseAt(17999), EffectSpiral::FadeOut);
}

TEST_F(SpiralTest, FadeReachesFullStrengthAfterHalfASecond) {
    EXPECT_FLOAT_EQ(EffectSpiral::FadeAlpha(0), 0.0f);
    EXPECT_NEAR(EffectSpiral::FadeAlpha(250), 0.5f, 1e-6);
    // The single-precision factor makes 500 ms land just above 1.
    EXPECT_GE(EffectSpiral::FadeAlpha(500), 1.0f);
    EXPECT_NEAR(EffectSpiral::FadeAlpha(1000), 2.0f, 1e-6);
}

TEST_F(SpiralTest, DriftIsZeroInTheFirstTenthSecondAndWithoutTime) {
    EXPECT_EQ(EffectSpiral::Drift(0, 40), 0.0f);
    EXPECT_EQ(EffectSpiral::Drift(100, 100000), 0.0f);
    EXPECT_EQ(EffectSpiral::Drift(5000, 0), 0.0f);
    EXPECT_NEAR(EffectSpiral::Drift(101, 20), 0.2f, 1e-6);
    EXPECT_NEAR(EffectSpiral::Drift(5000, 13), 0.13f, 1e-6);
}

TEST_F(SpiralTest, FlaresWrapOnlyInTheMainPhase) {
    EXPECT_FLOAT_EQ(EffectSpiral::MoveFlare(-4.99f, 0.02f, true), 5.0f);
    EXPECT_NEAR(EffectSpiral::MoveFlare(-4.99f, 0.02f, false), -5.01f, 1e-5);
    // Exactly -5 is still on the path.
    EXPECT_FLOAT_EQ(EffectSpiral::MoveFlare(-4.98f, 0.02f, true), -5.0f);
    EXPECT_FLOAT_EQ(EffectSpiral::MoveFlare(3.0f, 0.0f, true), 3.0f);
}

TEST_F(SpiralTest, CreditsRiseStopsWithinOneStepOfTheTop) {
    SpiralWindow s;
    int frames = 0;
    for (unsigned t = 1001; t <= 4000; t += 40) {
        const float before = s.state.creditsY;
        s.MoveCredits(t, 40);
        if (s.state.creditsY != before) ++frames;
    }
    EXPECT_GE(s.state.creditsY, -0.5f);
    EXPECT_LE(s.state.creditsY, -0.473f);
    EXPECT_EQ(frames, 57);  // 1.5 units at 40/1500 a frame
    // Nothing moves between the rise and the fall.
    const float top = s.state.creditsY;
    for (unsigned t = 4001; t <= 14000; t += 40) s.MoveCredits(t, 40);
    EXPECT_EQ(s.state.creditsY, top);
}

TEST_F(SpiralTest, CreditsFallStopsAtTheFirstFrameBelowTheScreen) {
    SpiralWindow s;
    s.state.creditsY = -0.48f;
    for (unsigned t = 14001; t <= 17000; t += 40) s.MoveCredits(t, 40);
    EXPECT_LE(s.state.creditsY, -2.0f);
    EXPECT_GT(s.state.creditsY, -2.0f - 40.0f / 1500.0f - 1e-6f);
}

TEST_F(SpiralTest, CreditsDoNotMoveWithoutTime) {
    SpiralWindow s;
    s.MoveCredits(2000, 0);
    EXPECT_EQ(s.state.creditsY, -2.0f);
}

TEST_F(SpiralTest, InitPlacesTheFlaresHalfAUnitApart) {
    FX_REQUIRE_GL();
    EffectSpiral s;
    ASSERT_TRUE(s.Init(800, 600, 0, 18000));
    for (int i = 0; i < EffectSpiral::kFlareCount; ++i) EXPECT_FLOAT_EQ(s.state.flareX[i], i * 0.5f);
    EXPECT_EQ(s.state.creditsY, -2.0f) << "warming up leaves nothing moved";
}

TEST_F(SpiralTest, EachPhaseLeavesItsGLState) {
    FX_REQUIRE_GL();
    EffectSpiral s;
    ASSERT_TRUE(s.Init(800, 600, 0, 18000));

    fxtest::ClearFrame();
    fxtest::RenderFrame(s, 500, 13, false);
    fxtest::GLState st = fxtest::ReadState();
    EXPECT_FALSE(st.blend);
    EXPECT_NEAR(st.color[3], 1.0f, 1e-6);
    EXPECT_EQ(st.matrixMode, GL_MODELVIEW);
    EXPECT_EQ(st.modelviewDepth, 1);

    fxtest::RenderFrame(s, 5000, 13, false);
    st = fxtest::ReadState();
    EXPECT_FALSE(st.blend);
    EXPECT_FALSE(st.alphaTest);
    EXPECT_EQ(st.alphaFunc, GL_GREATER);
    EXPECT_FLOAT_EQ(st.alphaRef, 0.5f);
    EXPECT_EQ(st.blendSrc, GL_SRC_ALPHA);
    EXPECT_EQ(st.blendDst, GL_ONE);
    EXPECT_FLOAT_EQ(st.color[3], 0.75f);
    EXPECT_TRUE(st.texture2D);
    EXPECT_EQ(st.modelviewDepth, 1);
    EXPECT_EQ(st.viewport[2], 800);

    // The last second hands blending on to the effects drawn after it.
    fxtest::RenderFrame(s, 17500, 13, false);
    st = fxtest::ReadState();
    EXPECT_TRUE(st.blend);
    EXPECT_EQ(st.blendSrc, GL_SRC_ALPHA);
    EXPECT_EQ(st.blendDst, GL_ONE);
    EXPECT_FLOAT_EQ(st.color[3], 0.75f);
    glDisable(GL_BLEND);
}

TEST_F(SpiralTest, FlaresDriftAndStayOnTheirPathInTheMainPhase) {
    FX_REQUIRE_GL();
    EffectSpiral s;
    ASSERT_TRUE(s.Init(800, 600, 0, 18000));
    // t <= 100 never moves them; dt 0 neither.
    fxtest::RenderFrame(s, 50, 40, false);
    fxtest::RenderFrame(s, 2000, 0, false);
    for (int i = 0; i < EffectSpiral::kFlareCount; ++i)
        EXPECT_FLOAT_EQ(s.state.flareX[i], i * 0.5f);
    // 1.5 s of 40 ms frames: every flare has passed -5 once or is on its way.
    for (unsigned t = 2040; t < 3500; t += 40) fxtest::RenderFrame(s, t, 40, false);
    for (int i = 0; i < EffectSpiral::kFlareCount; ++i) {
        EXPECT_GE(s.state.flareX[i], -5.0f);
        EXPECT_LE(s.state.flareX[i], 14.5f);
    }
    EXPECT_NEAR(s.state.flareX[0], 5.0f - (37 - 13) * 0.4f, 1e-4)
        << "flare 0 wrapped after 13 frames and drifted on";
}

// The spiral's first frames equal its background drawn opaque at full brightness.
TEST_F(SpiralTest, FullBrightnessAfterHalfASecond) {
    FX_REQUIRE_GL();
    EffectSpiral s;
    ASSERT_TRUE(s.Init(800, 600, 0, 18000));
    std::unique_ptr<Texture> background(new TextureImageJPEG("data/spiral_back.jpg"));

    fxtest::ClearFrame();
    background->DrawScreen(800, 600, 0.0f);
    const std::vector<uint8_t> reference = testsupport::SharedGL().ReadPixels();

    for (unsigned t : {500u, 1000u}) {
        fxtest::ClearFrame();
        glClearColor(0.3f, 0.6f, 0.9f, 1.0f);  // the spiral clears for itself
        glClear(GL_COLOR_BUFFER_BIT);
        fxtest::RenderFrame(s, t, 13, false);
        EXPECT_LE(fxtest::MaxDifference(reference, testsupport::SharedGL().ReadPixels()), 1)
            << "at " << t;
        if (t == 500) fxtest::SavePicture("spiral_0500.png");
    }

    // A quarter second in, the picture is at half strength.
    fxtest::ClearFrame();
    fxtest::RenderFrame(s, 250, 13, false);
    const std::vector<uint8_t> half = testsupport::SharedGL().ReadPixels();
    EXPECT_NEAR(fxtest::MeanBrightness(half, 0, 0, 800, 600),
                fxtest::MeanBrightness(reference, 0, 0, 800, 600) * 0.5, 2.0);
}

TEST_F(SpiralTest, MainPhaseAddsFlaresAndRaisesTheCredits) {
    FX_REQUIRE_DATA();
    EffectSpiral s;
    ASSERT_TRUE(s.Init(800, 600, 0, 18000));
    std::unique_ptr<Texture> background(new TextureImageJPEG("data/spiral_back.jpg"));
    fxtest::ClearFrame();
    glColor4f(1, 1, 1, 0.75f);
    background->DrawScreen(800, 600, 0.0f);
    const std::vector<uint8_t> reference = testsupport::SharedGL().ReadPixels();

    // Credits below the screen: the flares only ever add light. The second frame in
    // the same millisecond moves nothing, so the next one draws the same flares.
    fxtest::RenderFrame(s, 6000, 13, false);
    fxtest::RenderFrame(s, 6000, 0, false);
    const std::vector<uint8_t> flaresOnly = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("spiral_6000_flares.png");
    EXPECT_GT(fxtest::DifferingPixels(reference, flaresOnly, 0, 0, 800, 600, 8), 5000);
    int darker = 0;
    for (size_t p = 0; p < reference.size(); ++p)
        if (p % 4 != 3 && flaresOnly[p] + 1 < reference[p]) ++darker;
    EXPECT_EQ(darker, 0);

    // Raised to the top, the credits cover part of the lower three quarters only.
    s.state.creditsY = -0.5f;
    fxtest::RenderFrame(s, 6000, 0, false);
    const std::vector<uint8_t> withCredits = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("spiral_6000_credits.png");
    EXPECT_EQ(fxtest::DifferingPixels(flaresOnly, withCredits, 0, 0, 800, 148, 0), 0);
    EXPECT_GT(fxtest::DifferingPixels(flaresOnly, withCredits, 0, 150, 800, 600, 8), 1000);

    // The last second: the flares over a fading background, no credits.
    fxtest::RenderFrame(s, 17500, 13, false);
    fxtest::SavePicture("spiral_17500.png");
    glDisable(GL_BLEND);
}

TEST_F(SpiralTest, DestructorReleasesEverythingInitCreated) {
    FX_REQUIRE_GL();
    const unsigned before = MemoryTracker::LiveUnitCount();
    EffectSpiral* s = new EffectSpiral;
    ASSERT_TRUE(s->Init(800, 600, 0, 18000));
    EXPECT_GT(MemoryTracker::LiveUnitCount(), before);
    delete s;
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
}

}  // namespace
