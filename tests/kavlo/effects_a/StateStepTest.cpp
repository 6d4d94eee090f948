// Stepping an effect's state without drawing leaves it where drawing the same frames
// does, frame by frame, for every effect that keeps state: a seek relies on it.
#include "EffectFeedback.h"
#include "EffectSekskanter.h"
#include "EffectSpiral.h"
#include "EffectTestSupport.h"
#include "EffectTorus.h"
#include "EffectTorus2.h"
#include "EffectTwister.h"
#include "code3d/Camera.h"
#include "code3d/ObjectVortex.h"
#include "code3d/Vector3.h"
#include "effectvortexc.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

struct Case {
    const char* name;
    Effect* effect;
    unsigned startMs, endMs;
    std::function<std::vector<double>()> state;
};

void Add(std::vector<double>* out, const Vector3& v) { out->insert(out->end(), {v.x, v.y, v.z}); }

TEST(StateStep, StepsAsRenderDoesFrameByFrame) {
    FX_REQUIRE_DATA();
    fxtest::ResetRunLongValues();
    EffectSpiral spiral;
    EffectFeedback feedback;
    EffectVortexC vortex;
    EffectTwister twister;
    EffectTorus torus;
    EffectTorus2 torus2;
    EffectSekskanter hexagons;
    const std::vector<Case> cases = {
        {"spiral", &spiral, 0, 18000,
         [&] {
             std::vector<double> s = {EffectSpiral::creditsY};
             for (int i = 0; i < EffectSpiral::kFlareCount; ++i) s.push_back(spiral.FlarePositions()[i].x);
             return s;
         }},
        {"feedback", &feedback, 17000, 28000,
         [] { return std::vector<double> {EffectFeedback::cameraZ, double(EffectFeedback::skipCount)}; }},
        {"vortex", &vortex, 27000, 45000,
         [&] {
             std::vector<double> s = {EffectVortexC::cameraZ};
             Add(&s, vortex.Vortex()->twist);
             return s;
         }},
        {"twister", &twister, 44000, 75000,
         [] {
             return std::vector<double> {double(EffectTwister::sliceCount),
                                         double(EffectTwister::sliceDivisor), EffectTwister::orbitRadius};
         }},
        {"torus", &torus, 100000, 114000,
         [&] {
             std::vector<double> s = {EffectTorus::eyeX};
             Add(&s, torus.GetCamera()->eye);
             Add(&s, torus.GetCamera()->target);
             return s;
         }},
        {"torus2", &torus2, 114000, 141000,
         [&] { return std::vector<double>(torus2.Depths(), torus2.Depths() + EffectTorus2::kTorusCount); }},
        {"hexagons", &hexagons, 17000, 27000,
         [&] { return std::vector<double> {hexagons.stripA.x, hexagons.stripB.x}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Small, so that the drawing costs little; the state does not depend on the size
        // but for the twister's band count, which both runs share.
        ASSERT_TRUE(c.effect->Init(200, 150, c.startMs, c.endMs));
        // Uneven steps (a stall among them), syncs now and then, every phase edge.
        struct Step {
            unsigned t;
            int dt;
            bool sync;
        };
        std::vector<Step> frames;
        const int steps[] = {16, 17, 17, 3, 33, 16, 250, 17};
        unsigned t = c.startMs, prev = c.startMs;
        for (size_t n = 0; t < c.endMs; ++n) {
            if (c.effect->IsActive(t)) frames.push_back({t, static_cast<int>(t - prev), n % 9 == 4});
            prev = t;
            // Dense around the edges of the fades and the twister's last seconds.
            const unsigned into = t - c.startMs, left = c.endMs - t;
            const bool edge = into < 1100 || (left < 3100 && left > 2900) || left < 1100;
            t += edge ? steps[n % 8] : 450;
        }
        for (unsigned edge : {c.startMs + 1000, c.endMs - 1000})
            frames.push_back({edge, 17, false});  // the boundary frames themselves
        std::vector<std::vector<double>> drawn, stepped;
        c.effect->ResetState();
        for (const Step& f : frames) {
            c.effect->Render(f.t, f.dt, f.sync);
            drawn.push_back(c.state());
        }
        c.effect->ResetState();
        for (const Step& f : frames) {
            c.effect->StepState(f.t, f.dt, f.sync);
            stepped.push_back(c.state());
        }
        ASSERT_EQ(drawn.size(), stepped.size());
        for (size_t i = 0; i < drawn.size(); ++i) ASSERT_EQ(drawn[i], stepped[i]) << "frame at " << frames[i].t;
        EXPECT_TRUE(fxtest::TakeErrors().empty());
    }
}

}  // namespace
