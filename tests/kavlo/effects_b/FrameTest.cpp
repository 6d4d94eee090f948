// Pictures of the beam, torus and Ordan effects with the default show data: frames at
// each phase and where neighbouring effects overlap, written as PNG for people to look
// at, with the properties every such frame must have, and the time each frame takes.
#include "FxbSupport.h"

#include "EffectOrdan.h"
#include "EffectOrdan2.h"
#include "EffectTorus.h"
#include "EffectTorus2.h"
#include "code3d/Camera.h"
#include "code3d/object.h"
#include "effectbeam.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// Links the default show data into the working directory, so the archive reader's log
// stays in this program's own folder.
bool ShowDataReady() {
    static const bool ready = [] {
        struct stat st;
        if (stat("megadata.rar", &st) == 0) return true;
        const std::string source = std::string(KAVLO_BINARY_DIR) + "/show/megadata.rar";
        if (stat(source.c_str(), &st) != 0) return false;
        return symlink(source.c_str(), "megadata.rar") == 0;
    }();
    return ready;
}

#define REQUIRE_SHOW_DATA()                                                         \
    do {                                                                            \
        FXB_REQUIRE_GL();                                                           \
        if (!ShowDataReady()) GTEST_SKIP() << "the default show data is not built"; \
        ASSERT_TRUE(Effects().Ok());                                                \
    } while (0)

const int kW = fxb::kWidth, kH = fxb::kHeight;

// The five effects, loaded once for the whole program: loading the show data is what
// takes the time here.
struct ShowEffects {
    std::unique_ptr<EffectBeam> beam;
    std::unique_ptr<EffectTorus> torus;
    std::unique_ptr<EffectTorus2> tori;
    std::unique_ptr<EffectOrdan> ordan;
    std::unique_ptr<EffectOrdan2> ordan2;
    bool Ok() const { return beam && torus && tori && ordan && ordan2; }
};

ShowEffects& Effects() {
    static ShowEffects fx = [] {
        ShowEffects e;
        e.beam.reset(fxb::MakeEffect<EffectBeam>(fxb::kBeamWindow));
        e.torus.reset(fxb::MakeEffect<EffectTorus>(fxb::kTorusWindow));
        e.tori.reset(fxb::MakeEffect<EffectTorus2>(fxb::kTorus2Window));
        e.ordan.reset(fxb::MakeEffect<EffectOrdan>(fxb::kOrdanWindow));
        e.ordan2.reset(fxb::MakeEffect<EffectOrdan2>(fxb::kOrdan2Window));
        return e;
    }();
    return fx;
}

double Brightness() { return fxb::MeanBrightness(fxb::Frame(), 0, 0, kW, kH); }

// Renders and saves one frame; returns its mean brightness.
double Shot(Effect& effect, unsigned t, int dt, bool sync, const std::string& name) {
    fxb::RenderFrame(effect, t, dt, sync);
    fxb::SavePicture(name);
    return Brightness();
}

// Milliseconds per frame over a few main-phase frames, printed for the report.
template <class E>
void TimeFrames(E& effect, const char* name, unsigned t0, int frames) {
    fxb::FillFrame(0, 0, 0);
    fxb::RenderFrame(effect, t0, 16, false);  // warm-up: first use of every GL path
    glFinish();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= frames; ++i) effect.Render(t0 + 16u * i, 16, false);
    glFinish();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
        frames;
    std::printf("[ frame time ] %-12s %8.2f ms per frame (%.2f x the 13.3 ms budget of 75 Hz)\n",
                name, ms, ms / 13.333);
    ::testing::Test::RecordProperty(std::string(name) + "_ms", std::to_string(ms));
}

TEST(ShowFrames, Beam) {
    REQUIRE_SHOW_DATA();
    EffectBeam* beam = Effects().beam.get();
    fxb::FillFrame(0.1f, 0.1f, 0.1f);
    const double before = Brightness();
    const double fadeIn = Shot(*beam, 74500, 16, false, "beam_74500_fadein.png");
    EXPECT_GT(fadeIn, before) << "the background is added over the previous frame";
    EXPECT_GT(Shot(*beam, 80000, 16, false, "beam_80000_main.png"), 10.0);
    Shot(*beam, 92000, 16, true, "beam_92000_main_sync.png");
    const double late = Shot(*beam, 100500, 16, false, "beam_100500_fadeout.png");
    fxb::FillFrame(0, 0, 0);
    EXPECT_LT(Shot(*beam, 100990, 16, false, "beam_100990_fadeout_end.png"), late);
}

TEST(ShowFrames, Torus) {
    REQUIRE_SHOW_DATA();
    Effects().torus->ResetState();
    EffectTorus* torus = Effects().torus.get();
    fxb::FillFrame(0, 0, 0);
    Shot(*torus, 100500, 16, false, "torus_100500_fadein.png");
    Shot(*torus, 100999, 16, false, "torus_100999_fadein_end.png");
    const double main = Shot(*torus, 106000, 16, false, "torus_106000_main.png");
    EXPECT_GT(main, 10.0);
    Shot(*torus, 106016, 16, true, "torus_106016_main_sync.png");
    EXPECT_EQ(torus->GetCamera()->eye.x, 500.0f);
    Shot(*torus, 110000, 16, false, "torus_110000_after_sync.png");
    Shot(*torus, 113500, 16, false, "torus_113500_fadeout.png");
    Effects().torus->ResetState();
}

TEST(ShowFrames, Torus2) {
    REQUIRE_SHOW_DATA();
    EffectTorus2* tori = Effects().tori.get();
    fxb::FillFrame(1, 0, 0);
    Shot(*tori, 114001, 16, false, "torus2_114001_first.png");
    Shot(*tori, 114300, 299, false, "torus2_114300_fadein.png");
    // Whole seconds at a time: the flight only depends on the summed frame time.
    unsigned t = 114300;
    while (t < 118000) {
        fxb::RenderFrame(*tori, t + 1000, 1000, false);
        t += 1000;
    }
    EXPECT_GT(Shot(*tori, 118300, 1000, false, "torus2_118300_main.png"), 10.0);
    Shot(*tori, 126000, 1000, true, "torus2_126000_main_sync.png");
    Shot(*tori, 140500, 1000, false, "torus2_140500_fadeout.png");
}

TEST(ShowFrames, Ordan) {
    REQUIRE_SHOW_DATA();
    EffectOrdan* ordan = Effects().ordan.get();
    fxb::FillFrame(0, 0, 0);
    Shot(*ordan, 140250, 16, false, "ordan_140250_fadein.png");
    EXPECT_GT(Shot(*ordan, 147500, 16, false, "ordan_147500_main.png"), 10.0);
    Shot(*ordan, 151000, 16, true, "ordan_151000_main.png");
    Shot(*ordan, 154500, 16, false, "ordan_154500_fadeout.png");
}

TEST(ShowFrames, Ordan2) {
    REQUIRE_SHOW_DATA();
    EffectOrdan2* ordan2 = Effects().ordan2.get();
    const double rising = Shot(*ordan2, 156000, 16, false, "ordan2_156000_glow_rising.png");
    const double full = Shot(*ordan2, 160000, 16, false, "ordan2_160000_glow.png");
    const double dark = Shot(*ordan2, 166000, 16, false, "ordan2_166000_sphere.png");
    EXPECT_GT(full, 5.0);
    EXPECT_GT(dark, 5.0) << "the sphere boils on after the glow is gone";
    (void)rising;
    Shot(*ordan2, 171500, 16, true, "ordan2_171500_end.png");
}

// Where one effect hands over to the next, both draw into the same frame, in list
// order, as the frame loop does.
TEST(ShowFrames, Handovers) {
    REQUIRE_SHOW_DATA();
    Effects().torus->ResetState();
    ShowEffects& fx = Effects();
    Effect* list[] = {fx.beam.get(), fx.torus.get(), fx.tori.get(), fx.ordan.get(), fx.ordan2.get()};

    struct Case {
        unsigned t;
        const char* name;
        int drawn;
    };
    for (Case c : {Case{100500, "handover_100500_beam_torus.png", 2},
                   Case{114000, "handover_114000_nobody.png", 0},
                   Case{140600, "handover_140600_torus2_ordan.png", 2},
                   Case{155000, "handover_155000_nobody.png", 0}}) {
        fxb::FillFrame(0.2f, 0, 0.2f);
        int drawn = 0;
        for (Effect* e : list)
            if (e->IsActive(c.t)) {
                fxb::RenderFrame(*e, c.t, 16, false);
                ++drawn;
            }
        EXPECT_EQ(drawn, c.drawn) << "at " << c.t;
        if (drawn == 0) {
            const int fill[3] = {51, 0, 51};
            EXPECT_EQ(fxb::PixelsNotColour(fxb::Frame(), 0, 0, kW, kH, fill, 0), 0);
        }
        fxb::SavePicture(c.name);
    }
    Effects().torus->ResetState();
}

TEST(ShowFrames, FrameTimes) {
    REQUIRE_SHOW_DATA();
    Effects().torus->ResetState();
    const int frames = 6;
    {
        EffectBeam* e = Effects().beam.get();
        TimeFrames(*e, "EffectBeam", 85000, frames);
    }
    {
        EffectTorus* e = Effects().torus.get();
        TimeFrames(*e, "EffectTorus", 106000, frames);
    }
    {
        EffectTorus2* e = Effects().tori.get();
        TimeFrames(*e, "EffectTorus2", 125000, frames);
    }
    {
        EffectOrdan* e = Effects().ordan.get();
        TimeFrames(*e, "EffectOrdan", 147500, frames);
    }
    {
        EffectOrdan2* e = Effects().ordan2.get();
        TimeFrames(*e, "EffectOrdan2", 159000, frames);
        // The processor's share: the boiling surface alone.
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i) e->Boil(159000 + 16u * i);
        const double ms = std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - start).count() / frames;
        std::printf("[ frame time ] %-12s %8.2f ms per frame of it boiling %d vertices\n",
                    "EffectOrdan2", ms, e->GetSphere()->vertexCount);
    }
}

}  // namespace
