// The twister: band count growth and shrink with dt, the camera pull, band placement,
// the phases, a failed load, and the bands on the offscreen context.
#include "EffectTestSupport.h"
#include "EffectTwister.h"
#include "GLTestContext.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class TwisterTest : public ::testing::Test {};

struct TwisterWindow : EffectTwister {
    TwisterWindow() { Effect::Init(800, 600, 44000, 75000); }
};

TEST_F(TwisterTest, BandsGrowWithTheFrameStep) {
    TwisterWindow tw;
    tw.UpdateSliceCount(45001, 13);
    EXPECT_EQ(tw.state.sliceCount, 12) << "10 + trunc(13 * 0.2)";
    tw.UpdateSliceCount(45014, 4);
    EXPECT_EQ(tw.state.sliceCount, 12) << "under 5 ms nothing is added";
    tw.UpdateSliceCount(45020, 5);
    EXPECT_EQ(tw.state.sliceCount, 13);
    // At 75 frames a second it reaches 300 about two seconds later.
    int frames = 0;
    for (unsigned t = 45033; tw.state.sliceCount < 300 && t < 47000; t += 13, ++frames)
        tw.UpdateSliceCount(t, 13);
    EXPECT_EQ(tw.state.sliceCount, 301);
    EXPECT_EQ(frames, 144);
    tw.UpdateSliceCount(46990, 13);
    EXPECT_EQ(tw.state.sliceCount, 301) << "stops once it has reached height / 2";
}

TEST_F(TwisterTest, GrowthOvershootsByLessThanAStepAndEndsAtThreeSeconds) {
    TwisterWindow tw;
    tw.state.sliceCount = 299;
    tw.UpdateSliceCount(46000, 40);
    EXPECT_EQ(tw.state.sliceCount, 307);
    tw.state.sliceCount = 100;
    tw.UpdateSliceCount(47000, 40);
    EXPECT_EQ(tw.state.sliceCount, 100) << "no growth from startMs + 3000 on";
    tw.UpdateSliceCount(60000, 40);
    EXPECT_EQ(tw.state.sliceCount, 100);
}

TEST_F(TwisterTest, BandsShrinkInTheLastThreeSecondsAndMayGoNegative) {
    TwisterWindow tw;
    tw.state.sliceCount = 300;
    tw.UpdateSliceCount(72000, 40);
    EXPECT_EQ(tw.state.sliceCount, 300) << "the shrink starts after endMs - 3000";
    tw.UpdateSliceCount(72001, 40);
    EXPECT_EQ(tw.state.sliceCount, 292);
    tw.UpdateSliceCount(72010, 4);
    EXPECT_EQ(tw.state.sliceCount, 292);
    tw.state.sliceCount = 3;
    tw.UpdateSliceCount(74000, 40);
    EXPECT_EQ(tw.state.sliceCount, -5);
    tw.UpdateSliceCount(74040, 40);
    EXPECT_EQ(tw.state.sliceCount, -5) << "no shrink below 1";
}

TEST_F(TwisterTest, SyncPullsTheOrbitInAndItDriftsBackPerFrame) {
    EffectTwister tw;
    tw.PullCamera(true);
    EXPECT_FLOAT_EQ(tw.state.orbitRadius, 310.0f);
    int frames = 0;
    while (tw.state.orbitRadius < 400.0f && frames < 100) {
        tw.PullCamera(false);
        ++frames;
    }
    EXPECT_EQ(frames, 9);
    tw.PullCamera(false);
    EXPECT_FLOAT_EQ(tw.state.orbitRadius, 400.0f);
}

TEST_F(TwisterTest, BandsStackTwoRowsEachFromTheTop) {
    EXPECT_EQ(EffectTwister::BandY(600, 300, 1), 598);
    EXPECT_EQ(EffectTwister::BandY(600, 300, 2), 596);
    EXPECT_EQ(EffectTwister::BandY(600, 300, 300), 0);
    EXPECT_EQ(EffectTwister::BandY(600, 300, 301), -2) << "past the bottom: clipped away";
    EXPECT_FLOAT_EQ(EffectTwister::BandStep(1.0f, 600), static_cast<float>(std::sin(1.0) / 75));
}

// Taller pictures keep the twist's 300 bands and angles; the bands tile the rows exactly.
TEST_F(TwisterTest, TallerPicturesKeepThreeHundredBandsThatTileTheScreen) {
    EXPECT_EQ(EffectTwister::BandCount(600), 300);
    EXPECT_EQ(EffectTwister::BandCount(300), 150);
    EXPECT_EQ(EffectTwister::BandCount(1200), 300);
    EXPECT_FLOAT_EQ(EffectTwister::BandStep(1.0f, 1200), EffectTwister::BandStep(1.0f, 600));
    EXPECT_EQ(EffectTwister::BandY(1200, 300, 1), 1196);
    for (int height : {1080, 1200, 777}) {
        int rows = 0;
        for (int i = 1; i <= 300; ++i) {
            const int h = EffectTwister::BandY(height, 300, i - 1) - EffectTwister::BandY(height, 300, i);
            EXPECT_GE(h, height / 300) << height << " band " << i;
            rows += h;
        }
        EXPECT_EQ(EffectTwister::BandY(height, 300, 300), 0);
        EXPECT_EQ(rows, height);
    }
}

TEST_F(TwisterTest, InitFailsWithoutTheCylinders) {
    FX_REQUIRE_GL();
    fxtest::NoDataDirectory empty;
    ASSERT_TRUE(empty.Ok());
    EffectTwister* tw = new EffectTwister;
    EXPECT_FALSE(tw->Init(800, 600, 44000, 75000));
    EXPECT_EQ(tw->DisplayList(), 0u);
    delete tw;
}

class TwisterFrames : public TwisterTest {
protected:
    void SetUp() override {
        TwisterTest::SetUp();
        FX_REQUIRE_DATA();
        ASSERT_TRUE(effect.Init(800, 600, 44000, 75000));
        ASSERT_NE(effect.DisplayList(), 0u);
    }
    EffectTwister effect;
};

TEST_F(TwisterFrames, NothingIsDrawnAtTheEndOfTheFadeIn) {
    fxtest::ClearFrame();
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<uint8_t> before = testsupport::SharedGL().ReadPixels();
    fxtest::RenderFrame(effect, 45000, 13, true);
    EXPECT_EQ(fxtest::MaxDifference(before, testsupport::SharedGL().ReadPixels()), 0);
    EXPECT_EQ(effect.state.sliceCount, 10);
    EXPECT_EQ(effect.state.sliceDivisor, 0);
    EXPECT_FLOAT_EQ(effect.state.orbitRadius, 400.0f);

    fxtest::RenderFrame(effect, 44500, 13, false);
    EXPECT_GT(fxtest::MeanBrightness(testsupport::SharedGL().ReadPixels(), 0, 0, 800, 600),
              fxtest::MeanBrightness(before, 0, 0, 800, 600));
    fxtest::SavePicture("twister_44500.png");
}

// Only the rows of the bands drawn so far differ from the plain background.
TEST_F(TwisterFrames, BandsCoverTwoRowsEachFromTheTop) {
    effect.state.sliceCount = 0;
    fxtest::ClearFrame();
    fxtest::RenderFrame(effect, 50000, 0, false);
    EXPECT_EQ(effect.state.sliceDivisor, 300);
    const std::vector<uint8_t> backgroundOnly = testsupport::SharedGL().ReadPixels();

    effect.state.sliceCount = 60;
    fxtest::RenderFrame(effect, 50000, 0, false);
    const std::vector<uint8_t> sixty = testsupport::SharedGL().ReadPixels();
    fxtest::SavePicture("twister_50000_60bands.png");
    EXPECT_EQ(fxtest::DifferingPixels(backgroundOnly, sixty, 0, 120, 800, 600, 0), 0);
    EXPECT_GT(fxtest::DifferingPixels(backgroundOnly, sixty, 0, 0, 800, 120, 8), 500);

    const fxtest::GLState st = fxtest::ReadState();
    EXPECT_FALSE(st.scissorTest);
    EXPECT_FALSE(st.depthTest);
    EXPECT_EQ(st.matrixMode, GL_MODELVIEW);
    EXPECT_EQ(st.modelviewDepth, 1);
}

TEST_F(TwisterTest, BandCullingKeepsEveryFaceThatMayReachTheRows) {
    // Eye 400 units out on +x at z = -200; band rows 298-299 of 600 (the middle).
    const EffectTwister::BandView v =
        EffectTwister::ViewOfBand(400, 0, -200, 45, 298, 2, 600);
    auto bounds = [](float zLow, float zHigh, float x) {
        return EffectTwister::FaceBounds{zLow, zHigh, x, 0, 5};
    };
    EXPECT_TRUE(EffectTwister::MayReachBand(bounds(-201, -199, 0), v)) << "across the middle";
    EXPECT_FALSE(EffectTwister::MayReachBand(bounds(-150, -140, 0), v)) << "well above";
    EXPECT_FALSE(EffectTwister::MayReachBand(bounds(-260, -250, 0), v)) << "well below";
    // A row is about 0.55 units at this distance: a face starting under a row above
    // the band is kept by the margin, one three rows above is not.
    EXPECT_TRUE(EffectTwister::MayReachBand(bounds(-199.6f, -190, 0), v));
    EXPECT_FALSE(EffectTwister::MayReachBand(bounds(-197, -190, 0), v));
    EXPECT_TRUE(EffectTwister::MayReachBand(bounds(-150, -140, 395), v)) << "at the eye: GL's";
}

TEST_F(TwisterFrames, CulledBandsDrawTheWholeListsPicture) {
    ASSERT_TRUE(effect.BandCulling());
    for (unsigned t : {50000u, 61234u, 70500u}) {
        std::vector<uint8_t> frames[2];
        for (int culled = 0; culled < 2; ++culled) {
            effect.SetBandCulling(culled == 1);
            effect.state.sliceCount = 300;
            fxtest::ClearFrame();
            fxtest::RenderFrame(effect, t, 0, false);
            frames[culled] = testsupport::SharedGL().ReadPixels();
        }
        EXPECT_EQ(fxtest::MaxDifference(frames[0], frames[1]), 0) << "at " << t;
    }
}

TEST_F(TwisterFrames, GrowthAndFullTwist) {
    // Far below zero the count stays below 1 after its growth: the background alone.
    effect.state.sliceCount = -100;
    fxtest::ClearFrame();
    fxtest::RenderFrame(effect, 45013, 13, false);
    const std::vector<uint8_t> backgroundOnly = testsupport::SharedGL().ReadPixels();

    // The first main-phase frame grows before it draws: 12 bands, the top 24 rows.
    effect.state.sliceCount = 10;
    fxtest::RenderFrame(effect, 45013, 13, false);
    EXPECT_EQ(effect.state.sliceCount, 12);
    EXPECT_EQ(fxtest::DifferingPixels(backgroundOnly, testsupport::SharedGL().ReadPixels(), 0,
                                      24, 800, 600, 0),
              0);
    fxtest::SavePicture("twister_45013.png");

    effect.state.sliceCount = 300;
    fxtest::RenderFrame(effect, 55000, 13, false);
    fxtest::SavePicture("twister_55000.png");
    fxtest::RenderFrame(effect, 55013, 13, true);
    EXPECT_FLOAT_EQ(effect.state.orbitRadius, 310.0f);
    fxtest::SavePicture("twister_55013_sync.png");

    // Bands withdraw upwards at the end, leaving the background.
    effect.state.sliceCount = 100;
    fxtest::RenderFrame(effect, 74000, 40, false);
    EXPECT_EQ(effect.state.sliceCount, 92);
    fxtest::SavePicture("twister_74000.png");
}

}  // namespace
