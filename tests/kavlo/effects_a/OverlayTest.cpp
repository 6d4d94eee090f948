// The two overlays: the hexagon band's scroll and wrap, the greetings' slide, what each
// leaves of the frame below, and the GL state they hand on.
#include "EffectSekskanter.h"
#include "EffectTestSupport.h"
#include "GLTestContext.h"
#include "EffectFeedback.h"
#include "EffectSpiral.h"
#include "EffectTwister.h"
#include "effectgreet.h"
#include "effectvortexc.h"
#include "memory/MemoryTracker.h"

#include <gtest/gtest.h>

namespace {

struct StripWindow : EffectSekskanter {
    StripWindow() {
        Effect::Init(800, 600, 17000, 27000);
    }
};

TEST(SekskanterTest, BandScrollsAThirdOfTheScreenPerSecond) {
    StripWindow s;
    s.Scroll(18000, 0);
    EXPECT_EQ(s.state.stripA.x, 2.0f) << "no time, no move";
    s.Scroll(18000, 1500);
    EXPECT_NEAR(s.state.stripA.x, 1.0f, 1e-6);
    EXPECT_NEAR(s.state.stripB.x, 3.0f, 1e-6);
}

TEST(SekskanterTest, WrapIsStrictAndOnlyBeforeTheLastFiveSeconds) {
    StripWindow s;
    s.state.stripA.x = -2.0f;
    s.Scroll(20000, 0);
    EXPECT_EQ(s.state.stripA.x, -2.0f);
    s.state.stripA.x = -2.0001f;
    s.Scroll(21999, 0);
    EXPECT_EQ(s.state.stripA.x, 2.0f);
    s.state.stripB.x = -2.5f;
    s.Scroll(22000, 0);
    EXPECT_EQ(s.state.stripB.x, -2.5f) << "from endMs - 5000 on the band runs out";
    // The move follows the wrap test in the same frame.
    s.state.stripA.x = -2.1f;
    s.Scroll(20000, 150);
    EXPECT_NEAR(s.state.stripA.x, 1.9f, 1e-6);
}

TEST(SekskanterTest, OneSteadyPassOverTheWindow) {
    StripWindow s;
    for (unsigned t = 17013; t < 27000; t += 13) s.Scroll(t, 13);
    EXPECT_NEAR(s.state.stripA.x, 2.0f - 769 * 13 / 1500.0f, 1e-3);
    EXPECT_LT(s.state.stripB.x, -2.0f) << "both copies gone by the last second";
}

TEST(SekskanterTest, FirstFrameShowsNothingAndLeavesItsAlphaFunction) {
    FX_REQUIRE_GL();
    EffectSekskanter s;
    ASSERT_TRUE(s.Init(800, 600, 17000, 27000));
    EXPECT_EQ(s.state.stripA.x, 2.0f);
    EXPECT_EQ(s.state.stripB.x, 4.0f);
    fxtest::ClearFrame();
    glClearColor(0.1f, 0.5f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<uint8_t> before = testsupport::SharedGL().ReadPixels();
    // Copy A's left edge stands a few pixels inside the right border at most.
    fxtest::RenderFrame(s, 17013, 13, false);
    EXPECT_EQ(fxtest::DifferingPixels(before, testsupport::SharedGL().ReadPixels(), 0, 0, 795,
                                      600, 0),
              0);
    const fxtest::GLState st = fxtest::ReadState();
    EXPECT_FALSE(st.alphaTest);
    EXPECT_EQ(st.alphaFunc, GL_LESS);
    EXPECT_FLOAT_EQ(st.alphaRef, 0.5f);
    EXPECT_FALSE(st.blend);
    EXPECT_EQ(st.modelviewDepth, 1);
}

TEST(SekskanterTest, BandCoversOnlyTheLowerPartOfTheScreen) {
    FX_REQUIRE_DATA();
    EffectSekskanter s;
    ASSERT_TRUE(s.Init(800, 600, 17000, 27000));
    fxtest::ClearFrame();
    glClearColor(0.1f, 0.5f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<uint8_t> before = testsupport::SharedGL().ReadPixels();
    s.state.stripA.x = 0.0f;
    s.state.stripB.x = 2.0f;
    fxtest::RenderFrame(s, 20000, 0, false);
    const std::vector<uint8_t> after = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("sekskanter_band.png");
    EXPECT_EQ(fxtest::DifferingPixels(before, after, 0, 0, 800, 224, 0), 0);
    EXPECT_GT(fxtest::DifferingPixels(before, after, 0, 226, 800, 600, 0), 1000);
    // The opaque shapes are windows: some of the lower part keeps the frame below.
    EXPECT_GT(226 * 800 + 374 * 800 - fxtest::DifferingPixels(before, after, 0, 0, 800, 600, 0),
              226 * 800 + 1000);
}

TEST(GreetTest, SlideValuesOverTheWindow) {
    EffectGreet g;
    g.Effect::Init(800, 600, 60000, 70000);
    EXPECT_NEAR(g.SlideAt(60001), 0.99994f, 2e-5);
    EXPECT_NEAR(g.SlideAt(61999), 0.0055f, 1e-4);
    for (unsigned t : {62000u, 65000u, 68000u}) {
        EXPECT_EQ(g.FadeAt(t), 0.0f) << t;
        EXPECT_EQ(g.SlideAt(t), 0.0f) << t;
    }
    EXPECT_GT(g.SlideAt(68001), 0.0f);
    EXPECT_NEAR(g.SlideAt(69999), 0.99994f, 2e-5);
    EXPECT_NEAR(g.FadeAt(60001), 0.9995f, 1e-7);
    EXPECT_NEAR(g.FadeAt(69000), 0.5f, 1e-7);
}

TEST(GreetTest, ShortWindowsTakeTheSlideOut) {
    EffectGreet g;
    g.Effect::Init(800, 600, 1000, 3000);
    EXPECT_NEAR(g.FadeAt(1500), 1.0f - 1500 * 0.0005f, 1e-6);
}

TEST(GreetTest, CentredPictureAndShiftedPicture) {
    FX_REQUIRE_GL();
    EffectGreet g;
    ASSERT_TRUE(g.Init(800, 600, 60000, 70000));
    fxtest::ClearFrame();
    glClearColor(0.2f, 0.2f, 0.7f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<uint8_t> below = testsupport::SharedGL().ReadPixels();

    // Shifted right by half the screen: the left half keeps the frame below.
    fxtest::RenderFrame(g, 60001, 13, false);
    std::vector<uint8_t> frame = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("greet_60001.png");
    EXPECT_EQ(fxtest::DifferingPixels(below, frame, 0, 0, 398, 600, 0), 0);

    glClear(GL_COLOR_BUFFER_BIT);
    fxtest::RenderFrame(g, 65000, 13, false);
    frame = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("greet_65000.png");
    if (fxtest::ShowDataReady()) {
        EXPECT_GT(fxtest::DifferingPixels(below, frame, 0, 0, 400, 600, 0), 1000);
    }

    const fxtest::GLState st = fxtest::ReadState();
    EXPECT_FALSE(st.alphaTest);
    EXPECT_EQ(st.alphaFunc, GL_GREATER);
    EXPECT_NEAR(st.alphaRef, 0.1f, 1e-6);
    EXPECT_FALSE(st.blend);
    EXPECT_EQ(st.matrixMode, GL_MODELVIEW);
    EXPECT_EQ(st.modelviewDepth, 1);
}

}  // namespace

// Frames of the show where several of these effects draw together, in list order.
namespace {

TEST(OverlayFrames, SpiralFeedbackAndHexagonsAt17500) {
    FX_REQUIRE_DATA();
    EffectSpiral spiral;
    EffectFeedback feedback;
    EffectSekskanter hexagons;
    ASSERT_TRUE(spiral.Init(800, 600, 0, 18000));
    ASSERT_TRUE(feedback.Init(800, 600, 17000, 28000));
    ASSERT_TRUE(hexagons.Init(800, 600, 17000, 27000));
    fxtest::ClearFrame();
    fxtest::RenderFrame(spiral, 17500, 13, false);
    fxtest::RenderFrame(feedback, 17500, 13, false);
    hexagons.state.stripA.x = 0.5f;
    hexagons.state.stripB.x = 2.5f;
    fxtest::RenderFrame(hexagons, 17500, 0, false);
    fxtest::SavePicture("frame_17500.png");
    // The spiral hands blending on, the feedback fade-in switches it off again.
    EXPECT_FALSE(fxtest::ReadState().blend);

    fxtest::RenderFrame(feedback, 21000, 13, true);
    fxtest::RenderFrame(hexagons, 21000, 0, false);
    fxtest::SavePicture("frame_21000_sync.png");
}

TEST(OverlayFrames, GreetingsOverTheTwister) {
    FX_REQUIRE_DATA();
    EffectTwister twister;
    EffectGreet greet;
    ASSERT_TRUE(twister.Init(800, 600, 44000, 75000));
    ASSERT_TRUE(greet.Init(800, 600, 60000, 70000));
    twister.state.sliceCount = 300;
    fxtest::ClearFrame();
    for (unsigned t : {60500u, 65000u}) {
        fxtest::RenderFrame(twister, t, 13, false);
        const std::vector<uint8_t> under = testsupport::SharedGL().ReadPixels();
        fxtest::RenderFrame(greet, t, 13, false);
        const std::vector<uint8_t> over = testsupport::SharedGL().ReadPixels();
        fxtest::SavePicture("frame_" + std::to_string(t) + ".png");
        EXPECT_GT(fxtest::DifferingPixels(under, over, 0, 0, 800, 600, 8), 1000) << t;
    }
}

}  // namespace

namespace {

// Each destructor deletes exactly what its Init created: found objects before their
// scenes, every texture, material, camera and array (the sanitizer build also catches
// any read of what was already deleted).
template <typename E>
void ExpectReleasedAfterInit(unsigned startMs, unsigned endMs) {
    SCOPED_TRACE(testing::Message() << "the effect of the window " << startMs << "-" << endMs);
    // A first instance warms the GL driver's own caches, which also allocate through
    // the tracked operators (llvmpipe compiles its shaders in C++).
    {
        E warmUp;
        ASSERT_TRUE(warmUp.Init(800, 600, startMs, endMs));
    }
    const unsigned before = MemoryTracker::LiveUnitCount();
    E* effect = new E;
    ASSERT_TRUE(effect->Init(800, 600, startMs, endMs));
    EXPECT_TRUE(fxtest::TakeErrors().empty()) << "GL error during Init";
    EXPECT_GT(MemoryTracker::LiveUnitCount(), before);
    delete effect;
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
}

TEST(EffectLifetime, DestructorsReleaseWhatInitCreated) {
    FX_REQUIRE_DATA();
    ExpectReleasedAfterInit<EffectSpiral>(0, 18000);
    ExpectReleasedAfterInit<EffectFeedback>(17000, 28000);
    ExpectReleasedAfterInit<EffectVortexC>(27000, 45000);
    ExpectReleasedAfterInit<EffectTwister>(44000, 75000);
    ExpectReleasedAfterInit<EffectSekskanter>(17000, 27000);
    ExpectReleasedAfterInit<EffectGreet>(60000, 70000);
}

}  // namespace
