// The beam effect: its phases at the window's edges, the camera path, what each phase
// draws and the GL state a frame leaves.
#include "FxbSupport.h"

#include "code3d/Camera.h"
#include "effectbeam.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>

using fxb::kBeamWindow;

namespace {

const int kRed[3] = {255, 0, 0};

TEST(EffectBeam, PhasesAtTheWindowEdges) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectBeam> beam(fxb::MakeEffect<EffectBeam>(kBeamWindow));
    ASSERT_TRUE(beam);
    EXPECT_EQ(beam->PhaseAt(74001), EffectBeam::FadeIn);
    EXPECT_EQ(beam->PhaseAt(74999), EffectBeam::FadeIn);
    EXPECT_EQ(beam->PhaseAt(75000), EffectBeam::None);
    EXPECT_EQ(beam->PhaseAt(75001), EffectBeam::Main);
    EXPECT_EQ(beam->PhaseAt(99999), EffectBeam::Main);
    EXPECT_EQ(beam->PhaseAt(100000), EffectBeam::None);
    EXPECT_EQ(beam->PhaseAt(100001), EffectBeam::FadeOut);
    EXPECT_EQ(beam->PhaseAt(100999), EffectBeam::FadeOut);
    EXPECT_FALSE(beam->IsActive(74000));
    EXPECT_FALSE(beam->IsActive(101000));
}

TEST(EffectBeam, AngleIsSinglePrecision) {
    // t / 1500 with the float constant, not the double quotient.
    EXPECT_EQ(EffectBeam::Angle(80000), 80000.0f * 0.00066666666f);
    EXPECT_NE(static_cast<double>(EffectBeam::Angle(80000)), 80000.0 / 1500.0);
    EXPECT_EQ(EffectBeam::Angle(0), 0.0f);
}

TEST(EffectBeam, NothingIsDrawnBetweenFadeAndMainPhase) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectBeam> beam(fxb::MakeEffect<EffectBeam>(kBeamWindow));
    ASSERT_TRUE(beam);
    for (unsigned t : {75000u, 100000u}) {
        fxb::FillFrame(1, 0, 0);
        fxb::RenderFrame(*beam, t, 16, true);
        const std::vector<uint8_t> frame = fxb::Frame();
        EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, fxb::kWidth, fxb::kHeight, kRed, 0), 0)
            << "at " << t;
    }
}

TEST(EffectBeam, FadesAddTheBackgroundAlone) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectBeam> beam(fxb::MakeEffect<EffectBeam>(kBeamWindow));
    ASSERT_TRUE(beam);
    // The synthetic background is an empty texture, so it adds plain white x alpha.
    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*beam, 74500, 16, false);
    std::vector<uint8_t> frame = fxb::Frame();
    const int overRed[3] = {255, 128, 128};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, fxb::kWidth, fxb::kHeight, overRed, 1), 0)
        << "the fade-in adds over the previous frame without clearing";

    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*beam, 100750, 16, false);
    frame = fxb::Frame();
    const int quarter[3] = {64, 64, 64};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, fxb::kWidth, fxb::kHeight, quarter, 1), 0)
        << "the fade-out clears, then adds the background at (endMs - t) / 1000";
}

TEST(EffectBeam, MainPhaseClearsDrawsTheGridAndLeavesStateOff) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectBeam> beam(fxb::MakeEffect<EffectBeam>(kBeamWindow));
    ASSERT_TRUE(beam);
    EXPECT_TRUE(glIsList(beam->DisplayList()));
    fxb::FillFrame(1, 0, 0);
    glColor4f(0.4f, 0.4f, 0.4f, 1);  // spheres and background take the current colour
    fxb::RenderFrame(*beam, 80000, 16, false);
    const std::vector<uint8_t> frame = fxb::Frame();
    const fxb::GLState s = fxb::ReadState();
    EXPECT_FALSE(s.depthTest);
    EXPECT_FALSE(s.fog);
    EXPECT_FALSE(s.blend);
    EXPECT_FALSE(s.cullFace);
    EXPECT_TRUE(s.texture2D);
    EXPECT_EQ(s.matrixMode, GL_MODELVIEW);
    EXPECT_EQ(s.modelviewDepth, 1);
    EXPECT_EQ(s.projectionDepth, 1);
    // Cleared (no red left), and the grid went through the depth test.
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, fxb::kWidth, fxb::kHeight, kRed, 30),
              fxb::kWidth * fxb::kHeight);
    EXPECT_GT(fxb::DepthWrittenPixels(), fxb::kWidth * fxb::kHeight / 50);
    fxb::SavePicture("beam_synthetic_main.png");
}

TEST(EffectBeam, CameraFollowsTimeAloneAndSyncNeverMovesIt) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectBeam> beam(fxb::MakeEffect<EffectBeam>(kBeamWindow));
    ASSERT_TRUE(beam);
    const Camera* camera = beam->GetCamera();
    fxb::FillFrame(0, 0, 0);
    fxb::RenderFrame(*beam, 90000, 16, false);
    const Vector3 eye = camera->eye, target = camera->target;
    EXPECT_EQ(eye.z, -5.0f);
    EXPECT_EQ(target.y, 0.0f);
    EXPECT_EQ(target.z, 0.0f);
    const double a = EffectBeam::Angle(90000);
    EXPECT_NEAR(eye.x, std::sin(a * 0.33333334) * 10, 1e-4);
    EXPECT_NEAR(eye.y, std::cos(a) * 5, 1e-4);
    EXPECT_NEAR(target.x, std::cos(a * 0.5) * 10, 1e-4);

    // A run of sync frames, then the same time again: the same view.
    for (unsigned t = 90010; t < 90060; t += 10) fxb::RenderFrame(*beam, t, 10, true);
    EXPECT_EQ(camera->eye.z, -5.0f);
    fxb::RenderFrame(*beam, 90000, 16, true);
    EXPECT_EQ(camera->eye.x, eye.x);
    EXPECT_EQ(camera->eye.y, eye.y);
    EXPECT_EQ(camera->eye.z, eye.z);
    EXPECT_EQ(camera->target.x, target.x);
}

}  // namespace
