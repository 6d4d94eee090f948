// A seek shows what the steady run shows: with the effects' state replayed up to the
// seek's frame, that frame draws the steady run's picture, pixel for pixel, for the
// first effects of the show and their overlay.
#include "EffectFeedback.h"
#include "EffectSekskanter.h"
#include "EffectSpiral.h"
#include "EffectTestSupport.h"
#include "EffectTwister.h"
#include "Player.h"
#include "effectvortexc.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Only what a replay asks of the machine: nothing.
struct NoClock : ShowClock {
    void StartAt(uint32_t) override {}
    uint32_t FrameTime() override { return 0; }
};
struct NoMusic : ShowMusic {
    bool OpenMusic(const char*) override { return true; }
    void SetSyncCallback(SyncCallback) override {}
    bool PlayMusic() override { return true; }
    bool CheckPosition() override { return true; }
};
struct NoScreen : ShowScreen {
    bool CreateWindow(int, int, int, int, bool) override { return true; }
    bool LoadExtensions() override { return true; }
    void SwapAndPump() override {}
    void DestroyWindow() override {}
};

void DrawRunFrame(const std::vector<EffectEntry>& effects, const player::Frame& f) {
    for (const EffectEntry& entry : effects)
        if (entry.effect->IsActive(f.timeMs)) fxtest::RenderFrame(*entry.effect, f.timeMs, f.deltaMs, f.sync);
}

// The effects draw at 200 x 150, into the lower left of the picture read back.
std::vector<uint8_t> Drawn() {
    const std::vector<uint8_t> all = testsupport::SharedGL().ReadPixels();
    std::vector<uint8_t> corner;
    for (int y = fxtest::kHeight - 150; y < fxtest::kHeight; ++y) {
        const auto row = all.begin() + (static_cast<size_t>(y) * fxtest::kWidth) * 4;
        corner.insert(corner.end(), row, row + 200 * 4);
    }
    return corner;
}

TEST(SeekFrames, EqualTheSteadyRunsFrames) {
    FX_REQUIRE_DATA();
    EffectSpiral spiral;
    EffectFeedback feedback;
    EffectVortexC vortex;
    EffectTwister twister;
    EffectSekskanter hexagons;
    // The show's order and overlaps, with shorter windows.
    struct Window {
        Effect* effect;
        unsigned startMs, endMs;
    };
    const Window windows[] = {{&spiral, 0, 6000},      {&feedback, 5000, 10000},
                              {&vortex, 9000, 14000},  {&twister, 13000, 20000},
                              {&hexagons, 5000, 10000}};
    std::vector<EffectEntry> effects;
    for (const Window& w : windows) {
        ASSERT_TRUE(w.effect->Init(200, 150, w.startMs, w.endMs));
        effects.push_back({w.effect, 0});
    }
    std::vector<MusicSync> syncs;
    for (double t = 750; t < 16000; t += 1300) syncs.push_back({t, 0});

    // Main phases, where every frame covers the picture: credits rising, the kicked
    // trail under the hexagons, the twist lagging a frame, the bands growing.
    const uint64_t seeks[] = {player::GridFrameAt(2500), player::GridFrameAt(7500),
                              player::GridFrameAt(11500), player::GridFrameAt(15500)};
    // The seek's frame and the one after it.
    std::vector<std::vector<uint8_t>> steady;
    fxtest::ClearFrame();
    for (uint64_t n = 0; n <= seeks[3] + 1; ++n) {
        DrawRunFrame(effects, player::RunFrame(syncs, n));
        for (uint64_t k : seeks)
            if (n == k || n == k + 1) steady.push_back(Drawn());
    }

    ASSERT_EQ(steady.size(), 8u);
    NoClock clock;
    NoMusic music;
    NoScreen screen;
    QuitOnlyInput input;
    const ShellPlatform platform {clock, music, screen, input};
    for (size_t i = 0; i < steady.size(); ++i) {
        const uint64_t frame = seeks[i / 2] + i % 2;
        SCOPED_TRACE(player::GridTime(frame));
        if (i % 2 == 0) {
            fxtest::ClearFrame();
            player::ReplayUpTo(platform, effects, syncs, frame);
        }
        DrawRunFrame(effects, player::RunFrame(syncs, frame));
        EXPECT_EQ(fxtest::MaxDifference(Drawn(), steady[i]), 0);
    }
}

}  // namespace
