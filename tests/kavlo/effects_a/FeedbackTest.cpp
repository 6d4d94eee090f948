// The feedback trail: the camera kick and its recovery, the copy count's growth and
// fade, the phases, a failed load, and the frames on the offscreen context.
#include "EffectFeedback.h"
#include "EffectTestSupport.h"
#include "GLTestContext.h"
#include "code3d/object.h"

#include <gtest/gtest.h>

namespace {

class FeedbackTest : public ::testing::Test {};

struct FeedbackWindow : EffectFeedback {
    FeedbackWindow() { Effect::Init(800, 600, 17000, 28000); }
};

TEST_F(FeedbackTest, SyncThrowsTheCameraBackAndItGlidesForwardPerFrame) {
    EffectFeedback f;
    f.KickCamera(true);
    EXPECT_FLOAT_EQ(f.state.cameraZ, -140.0f);
    f.KickCamera(true);
    EXPECT_FLOAT_EQ(f.state.cameraZ, -140.0f) << "two syncs in a row";
    int frames = 0;
    while (f.state.cameraZ < -50.0f && frames < 100) {
        f.KickCamera(false);
        ++frames;
    }
    EXPECT_EQ(frames, 9);
    f.KickCamera(false);
    EXPECT_FLOAT_EQ(f.state.cameraZ, -50.0f) << "rests there";
}

TEST_F(FeedbackTest, CopiesGrowToAllAndFadeToEighteen) {
    EffectFeedback f;
    f.StepSkipCount(false);
    EXPECT_EQ(f.state.skipCount, 13) << "the first frame draws 19 copies";
    for (int i = 0; i < 20; ++i) f.StepSkipCount(false);
    EXPECT_EQ(f.state.skipCount, 0);
    for (int i = 0; i < 20; ++i) f.StepSkipCount(true);
    EXPECT_EQ(f.state.skipCount, 14);
}

TEST_F(FeedbackTest, PhaseBounds) {
    FeedbackWindow f;
    EXPECT_TRUE(f.InFadeIn(18000));
    EXPECT_FALSE(f.InFadeIn(18001));
    EXPECT_FALSE(f.InFadeOut(27000));
    EXPECT_TRUE(f.InFadeOut(27001));
}

TEST_F(FeedbackTest, InitFailsWithoutTheSphere) {
    FX_REQUIRE_GL();
    fxtest::NoDataDirectory empty;
    ASSERT_TRUE(empty.Ok());
    EffectFeedback* f = new EffectFeedback;
    EXPECT_FALSE(f->Init(800, 600, 17000, 28000));
    EXPECT_EQ(f->Sphere(), nullptr);
    delete f;  // what was made before the failure goes with it
}

class FeedbackFrames : public FeedbackTest {
protected:
    void SetUp() override {
        FeedbackTest::SetUp();
        FX_REQUIRE_DATA();
        ASSERT_TRUE(effect.Init(800, 600, 17000, 28000));
    }
    EffectFeedback effect;
};

TEST_F(FeedbackFrames, InitSetsUpTheSphere) {
    ASSERT_NE(effect.Sphere(), nullptr);
    EXPECT_NE(effect.Sphere()->material, nullptr);
    EXPECT_FLOAT_EQ(effect.Depths()[0], 0.0f);
    EXPECT_FLOAT_EQ(effect.Depths()[31], 930.0f);
}

TEST_F(FeedbackFrames, FadeInAddsTheBackgroundWithoutClearing) {
    fxtest::ClearFrame();
    glClearColor(0.0f, 0.0f, 0.5f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<uint8_t> before = testsupport::SharedGL().ReadPixels();
    fxtest::RenderFrame(effect, 17100, 13, true);
    const std::vector<uint8_t> after = testsupport::SharedGL().ReadPixels();
    // Added, never subtracted; a sync here does nothing.
    EXPECT_GE(fxtest::MeanChannel(after, 0, 0, 800, 600, 2), 127.0);
    EXPECT_GT(fxtest::MeanBrightness(after, 0, 0, 800, 600),
              fxtest::MeanBrightness(before, 0, 0, 800, 600));
    EXPECT_FLOAT_EQ(effect.state.cameraZ, -50.0f);
    EXPECT_EQ(effect.state.skipCount, 14);
    fxtest::SavePicture("feedback_17100.png");
}

TEST_F(FeedbackFrames, MainFramesDrawTheTrailAndLeaveBlendOff) {
    fxtest::ClearFrame();
    fxtest::RenderFrame(effect, 18001, 13, false);
    EXPECT_EQ(effect.state.skipCount, 13);
    const fxtest::GLState st = fxtest::ReadState();
    EXPECT_FALSE(st.blend);
    EXPECT_FALSE(st.depthTest);
    EXPECT_FALSE(st.cullFace);
    EXPECT_FLOAT_EQ(st.color[0], 1.0f);
    EXPECT_FLOAT_EQ(st.color[3], 1.0f);
    EXPECT_EQ(st.matrixMode, GL_MODELVIEW);
    EXPECT_EQ(st.modelviewDepth, 1);
    fxtest::SavePicture("feedback_18001.png");

    for (unsigned t = 18014; t < 18400; t += 13) fxtest::RenderFrame(effect, t, 13, false);
    EXPECT_EQ(effect.state.skipCount, 0);
    const std::vector<uint8_t> rest = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("feedback_18400.png");

    // A sync throws the camera back: the trail shrinks towards the centre.
    fxtest::RenderFrame(effect, 18400, 0, true);
    EXPECT_FLOAT_EQ(effect.state.cameraZ, -140.0f);
    const std::vector<uint8_t> kicked = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("feedback_18400_sync.png");
    EXPECT_GT(fxtest::DifferingPixels(rest, kicked, 0, 0, 800, 600, 8), 1000);
}

TEST_F(FeedbackFrames, LastSecondFadesTheBackgroundOverAClearedFrame) {
    effect.state.skipCount = 0;
    fxtest::ClearFrame();
    glClearColor(0.0f, 0.5f, 0.0f, 1.0f);
    fxtest::RenderFrame(effect, 27990, 13, false);
    EXPECT_EQ(effect.state.skipCount, 1);
    const std::vector<uint8_t> late = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("feedback_27990.png");
    fxtest::RenderFrame(effect, 27200, 13, false);
    const std::vector<uint8_t> early = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("feedback_27200.png");
    EXPECT_LT(fxtest::MeanBrightness(late, 0, 0, 800, 600),
              fxtest::MeanBrightness(early, 0, 0, 800, 600));
    EXPECT_FALSE(fxtest::ReadState().blend);
}

}  // namespace
