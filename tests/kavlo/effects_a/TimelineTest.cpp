// These six effects in list order over their part of the timeline, as the frame loop
// draws them: only active effects render, and no frame leaves a GL error, a matrix
// pushed or the scissor test on for the effects after it.
#include "EffectFeedback.h"
#include "EffectSekskanter.h"
#include "EffectSpiral.h"
#include "EffectTestSupport.h"
#include "EffectTwister.h"
#include "GLTestContext.h"
#include "effectgreet.h"
#include "effectvortexc.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Row {
    Effect* effect;
    unsigned startMs, endMs;
};

TEST(TimelineWalk, FramesAroundEveryBoundary) {
    FX_REQUIRE_DATA();
    EffectSpiral spiral;
    EffectFeedback feedback;
    EffectVortexC vortex;
    EffectTwister twister;
    EffectSekskanter hexagons;
    EffectGreet greet;
    // List order is drawing order: the overlays come last.
    const std::vector<Row> rows = {{&spiral, 0, 18000},      {&feedback, 17000, 28000},
                                   {&vortex, 27000, 45000},   {&twister, 44000, 75000},
                                   {&hexagons, 17000, 27000}, {&greet, 60000, 70000}};
    for (const Row& r : rows) ASSERT_TRUE(r.effect->Init(800, 600, r.startMs, r.endMs));

    const unsigned times[] = {0,     1,     1000,  1001,  17000, 17001, 17500, 18000,
                              18001, 27000, 27001, 27500, 28000, 28001, 30000, 44000,
                              44001, 44999, 45000, 45001, 46000, 47000, 60001, 62000, 68000,
                              69999, 72001, 74500, 75000};
    unsigned previous = 0;
    fxtest::ClearFrame();
    for (unsigned t : times) {
        const int dt = static_cast<int>(t - previous);
        previous = t;
        int drawn = 0;
        for (const Row& r : rows) {
            if (!r.effect->IsActive(t)) continue;
            fxtest::RenderFrame(*r.effect, t, dt, t == 30000 || t == 47000);
            ++drawn;
        }
        const fxtest::GLState st = fxtest::ReadState();
        EXPECT_EQ(st.modelviewDepth, 1) << t;
        EXPECT_EQ(st.projectionDepth, 1) << t;
        EXPECT_FALSE(st.scissorTest) << t;
        EXPECT_FALSE(st.depthTest) << t;
        EXPECT_TRUE(st.texture2D) << t;
        if (t == 0 || t == 75000) {
            EXPECT_EQ(drawn, 0) << "windows are strict at " << t;
        }
        if (t == 17500) {
            EXPECT_EQ(drawn, 3);
        }
        if (t == 17500 || t == 44999 || t == 60001 || t == 74500)
            fxtest::SavePicture("timeline_" + std::to_string(t) + ".png");
    }
}

}  // namespace
