// Frame times of each effect on this machine's renderer, against the 75 Hz budget.
// Disabled in normal runs (tests never assert on time); run with
// --gtest_also_run_disabled_tests --gtest_filter='*FrameTime*'.
#include "EffectFeedback.h"
#include "EffectSekskanter.h"
#include "EffectSpiral.h"
#include "EffectTestSupport.h"
#include "EffectTwister.h"
#include "effectgreet.h"
#include "effectvortexc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr double kBudgetMs = 1000.0 / 75.0;

void Measure(const char* name, Effect& effect, unsigned startMs, unsigned endMs, int frames) {
    // Main-phase times well inside the window.
    const unsigned t0 = startMs + (endMs - startMs) / 2;
    effect.Render(t0, 13, false);
    glFinish();
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) effect.Render(t0 + 13 * i, 13, false);
    glFinish();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
            .count() /
        frames;
    std::printf("%-18s %8.2f ms/frame  %6.2f x the 75 Hz budget\n", name, ms, ms / kBudgetMs);
}

TEST(FrameTime, DISABLED_EachEffectInItsMainPhase) {
    FX_REQUIRE_DATA();
    EffectSpiral spiral;
    EffectFeedback feedback;
    EffectVortexC vortex;
    EffectTwister twister;
    EffectSekskanter hexagons;
    EffectGreet greet;
    ASSERT_TRUE(spiral.Init(800, 600, 0, 18000));
    ASSERT_TRUE(feedback.Init(800, 600, 17000, 28000));
    ASSERT_TRUE(vortex.Init(800, 600, 27000, 45000));
    ASSERT_TRUE(twister.Init(800, 600, 44000, 75000));
    ASSERT_TRUE(hexagons.Init(800, 600, 17000, 27000));
    ASSERT_TRUE(greet.Init(800, 600, 60000, 70000));
    twister.state.sliceCount = 300;
    // The band on screen, where it stands in the middle of its window.
    hexagons.state.stripA.x = 0.5f;
    hexagons.state.stripB.x = 2.5f;
    Measure("EffectSpiral", spiral, 0, 18000, 20);
    Measure("EffectFeedback", feedback, 17000, 28000, 20);
    Measure("EffectVortexC", vortex, 27000, 45000, 20);
    Measure("EffectTwister", twister, 44000, 75000, 5);
    Measure("EffectSekskanter", hexagons, 17000, 27000, 20);
    Measure("EffectGreet", greet, 60000, 70000, 20);
}

}  // namespace
