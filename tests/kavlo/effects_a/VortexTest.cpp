// The vortex: the camera pull and its recovery, the phases, a failed load, and the
// frames on the offscreen context.
#include "EffectTestSupport.h"
#include "GLTestContext.h"
#include "code3d/ObjectVortex.h"
#include "effectvortexc.h"

#include <gtest/gtest.h>

namespace {

class VortexTest : public ::testing::Test {};

struct VortexWindow : EffectVortexC {
    VortexWindow() { Effect::Init(800, 600, 27000, 45000); }
};

TEST_F(VortexTest, SyncPullsTheCameraInAndItBacksOffPerFrame) {
    EffectVortexC v;
    v.KickCamera(false);
    EXPECT_FLOAT_EQ(v.state.cameraZ, -200.0f) << "rests without a sync";
    v.KickCamera(true);
    EXPECT_FLOAT_EQ(v.state.cameraZ, -10.0f);
    v.KickCamera(false);
    EXPECT_FLOAT_EQ(v.state.cameraZ, -20.0f);
    int frames = 1;
    while (v.state.cameraZ > -200.0f && frames < 100) {
        v.KickCamera(false);
        ++frames;
    }
    EXPECT_EQ(frames, 19);
}

TEST_F(VortexTest, PhaseBounds) {
    VortexWindow v;
    EXPECT_TRUE(v.InFadeIn(28000));
    EXPECT_FALSE(v.InFadeIn(28001));
    EXPECT_FALSE(v.InFadeOut(43999));
    EXPECT_TRUE(v.InFadeOut(44000)) << "the last second starts inclusively here";
}

TEST_F(VortexTest, InitFailsWithoutTheMesh) {
    FX_REQUIRE_GL();
    fxtest::NoDataDirectory empty;
    ASSERT_TRUE(empty.Ok());
    EffectVortexC* v = new EffectVortexC;
    EXPECT_FALSE(v->Init(800, 600, 27000, 45000));
    EXPECT_EQ(v->Vortex(), nullptr);
    delete v;
}

class VortexFrames : public VortexTest {
protected:
    void SetUp() override {
        VortexTest::SetUp();
        FX_REQUIRE_DATA();
        ASSERT_TRUE(effect.Init(800, 600, 27000, 45000));
    }
    EffectVortexC effect;
};

TEST_F(VortexFrames, FadeInIsAddedOverThePreviousFrame) {
    fxtest::ClearFrame();
    glClearColor(0.5f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    fxtest::RenderFrame(effect, 28000, 13, true);
    const std::vector<uint8_t> frame = testsupport::SharedGL().ReadPixels();
    EXPECT_GE(fxtest::MeanChannel(frame, 0, 0, 800, 600, 0), 127.0);
    EXPECT_FLOAT_EQ(effect.state.cameraZ, -200.0f) << "no kick in the fade-in";
    fxtest::SavePicture("vortex_28000.png");
}

TEST_F(VortexFrames, MainFramesDrawTheTwistedMesh) {
    fxtest::ClearFrame();
    glClearColor(0.5f, 0.0f, 0.0f, 1.0f);
    fxtest::RenderFrame(effect, 30000, 13, false);
    const std::vector<uint8_t> first = testsupport::SharedGL().ReadPixels();
    // Cleared: no trace of the red clear colour under the opaque background.
    const fxtest::GLState st = fxtest::ReadState();
    EXPECT_FALSE(st.depthTest);
    EXPECT_FALSE(st.cullFace);
    EXPECT_EQ(st.matrixMode, GL_MODELVIEW);
    EXPECT_EQ(st.modelviewDepth, 1);
    fxtest::SavePicture("vortex_30000.png");

    // The shape lags the twist by one frame: a second frame at the same time shows the
    // twist that the first one set.
    fxtest::RenderFrame(effect, 30000, 0, false);
    const std::vector<uint8_t> second = testsupport::SharedGL().ReadPixels();
    EXPECT_GT(fxtest::DifferingPixels(first, second, 0, 0, 800, 600, 8), 100);
    fxtest::RenderFrame(effect, 30000, 0, false);
    EXPECT_EQ(fxtest::DifferingPixels(second, testsupport::SharedGL().ReadPixels(), 0, 0, 800,
                                      600, 0),
              0);

    fxtest::RenderFrame(effect, 30013, 13, true);
    EXPECT_FLOAT_EQ(effect.state.cameraZ, -10.0f);
    fxtest::SavePicture("vortex_30013_sync.png");
}

TEST_F(VortexFrames, LastSecondShowsOnlyTheBackground) {
    fxtest::ClearFrame();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    fxtest::RenderFrame(effect, 44500, 13, true);
    EXPECT_FLOAT_EQ(effect.state.cameraZ, -10.0f) << "kicked in the last second too";
    const std::vector<uint8_t> frame = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("vortex_44500.png");
    // Without the mesh the camera does not matter: the kick changes nothing on screen.
    fxtest::ClearFrame();
    fxtest::RenderFrame(effect, 44500, 0, false);
    EXPECT_EQ(fxtest::MaxDifference(frame, testsupport::SharedGL().ReadPixels()), 0);
    EXPECT_FALSE(fxtest::ReadState().blend);
}

}  // namespace
