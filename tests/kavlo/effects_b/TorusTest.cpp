// The two torus effects: phases, the blob's pulsation and camera swing with the eye a
// sync moves, the ten tori's flight and depth wrap, and the GL state of a frame.
#include "FxbSupport.h"

#include "EffectTorus.h"
#include "EffectTorus2.h"
#include "code3d/Camera.h"
#include "code3d/ObjectVortex.h"
#include "code3d/object.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using fxb::kTorus2Window;
using fxb::kTorusWindow;

namespace {

const int kRed[3] = {255, 0, 0};

void ExpectStateOff(const char* what) {
    const fxb::GLState s = fxb::ReadState();
    EXPECT_FALSE(s.depthTest) << what;
    EXPECT_FALSE(s.fog) << what;
    EXPECT_FALSE(s.blend) << what;
    EXPECT_FALSE(s.cullFace) << what;
    EXPECT_FALSE(s.texGenS) << what;
    EXPECT_FALSE(s.texGenT) << what;
    EXPECT_TRUE(s.texture2D) << what;
    EXPECT_EQ(s.activeTexture, GL_TEXTURE0) << what;
    EXPECT_EQ(s.matrixMode, GL_MODELVIEW) << what;
    EXPECT_EQ(s.modelviewDepth, 1) << what;
    EXPECT_EQ(s.projectionDepth, 1) << what;
    EXPECT_EQ(s.viewport[2], fxb::kWidth) << what;
    EXPECT_EQ(s.viewport[3], fxb::kHeight) << what;
}

// |v| / |rest| when both point the same way from the origin, else -1.
double RadialFactor(const Vector3& v, const Vector3& rest) {
    const double rl = std::sqrt(double(rest.x) * rest.x + double(rest.y) * rest.y + double(rest.z) * rest.z);
    const double vl = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
    if (rl == 0) return vl == 0 ? 1 : -1;
    const double dot = (double(v.x) * rest.x + double(v.y) * rest.y + double(v.z) * rest.z) / (rl * vl);
    return dot > 1 - 1e-5 ? vl / rl : -1;
}

// ---- EffectTorus -------------------------------------------------------------------

class EffectTorusTest : public ::testing::Test {};

TEST_F(EffectTorusTest, PhasesAtTheWindowEdges) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus> torus(fxb::MakeEffect<EffectTorus>(kTorusWindow));
    ASSERT_TRUE(torus);
    EXPECT_EQ(torus->PhaseAt(100001), EffectTorus::FadeIn);
    EXPECT_EQ(torus->PhaseAt(100999), EffectTorus::FadeIn);
    EXPECT_EQ(torus->PhaseAt(101000), EffectTorus::None);
    EXPECT_EQ(torus->PhaseAt(101001), EffectTorus::Main);
    EXPECT_EQ(torus->PhaseAt(112999), EffectTorus::Main);
    EXPECT_EQ(torus->PhaseAt(113000), EffectTorus::None);
    EXPECT_EQ(torus->PhaseAt(113001), EffectTorus::FadeOut);
    // The pair that meets at 114000 leaves that frame to nobody.
    EXPECT_FALSE(torus->IsActive(114000));
}

TEST_F(EffectTorusTest, SwingTargetRunsFrom4500To500AndBack) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus> torus(fxb::MakeEffect<EffectTorus>(kTorusWindow));
    ASSERT_TRUE(torus);
    const EffectTorus::State& state = torus->state;
    struct Case {
        unsigned t;
        float targetZ;
    };
    for (Case c : {Case{100001, 4496.0f}, Case{100500, 2500.0f}, Case{100999, 504.0f},
                   Case{101001, 500.0f}, Case{113500, 2500.0f}, Case{113999, 4496.0f}}) {
        torus->AimCamera(c.t, false);
        EXPECT_NEAR(state.lookTargetZ, c.targetZ, 1e-2) << "at " << c.t;
        EXPECT_EQ(state.lookEyeX, 1000.0f);
    }
    // At the phase boundaries the previous frame's look-at holds.
    torus->AimCamera(100999, false);
    torus->AimCamera(101000, true);
    EXPECT_NEAR(state.lookTargetZ, 504.0f, 1e-2);
    EXPECT_EQ(state.eyeX, 1000.0f) << "a sync at the boundary is not in the main phase";
    // The frame looks along the look-at.
    fxb::FillFrame(0, 0, 0);
    fxb::RenderFrame(*torus, 101000, 16, false);
    EXPECT_NEAR(torus->GetCamera()->target.z, 504.0f, 1e-2);
    EXPECT_EQ(torus->GetCamera()->eye.x, 1000.0f);
    EXPECT_EQ(torus->GetCamera()->eye.y, 1000.0f);
    EXPECT_EQ(torus->GetCamera()->eye.z, 50.0f);
}

TEST_F(EffectTorusTest, SyncMovesTheEyeOnceForGoodInTheMainPhaseOnly) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus> torus(fxb::MakeEffect<EffectTorus>(kTorusWindow));
    ASSERT_TRUE(torus);
    const EffectTorus::State& state = torus->state;
    torus->AimCamera(100500, true);  // fade-in: ignored
    EXPECT_EQ(state.eyeX, 1000.0f);
    torus->AimCamera(105000, false);
    EXPECT_EQ(state.lookEyeX, 1000.0f);
    torus->AimCamera(105020, true);
    EXPECT_EQ(state.lookEyeX, 500.0f);
    torus->AimCamera(105040, false);
    EXPECT_EQ(state.lookEyeX, 500.0f) << "the kick never recovers";
    torus->AimCamera(113500, false);
    EXPECT_EQ(state.lookEyeX, 1000.0f) << "the fade-out swings from the fixed eye";
    EXPECT_EQ(state.eyeX, 500.0f);
}

TEST_F(EffectTorusTest, PulsationScalesAlongTheVertexAndDoesNotAccumulate) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus> torus(fxb::MakeEffect<EffectTorus>(kTorusWindow));
    ASSERT_TRUE(torus);
    const Object* blob = torus->GetBlob();
    const ObjectVortex* vortex = torus->GetVortex();
    ASSERT_EQ(blob->vertexCount, vortex->vertexCount);
    ASSERT_GT(blob->vertexCount, 0);
    const std::vector<Vector3> source(blob->vertices, blob->vertices + blob->vertexCount);

    torus->Pulsate(107000);
    const std::vector<Vector3> first(vortex->restVertices, vortex->restVertices + vortex->vertexCount);
    for (unsigned t = 100100; t < 114000; t += 1390) {
        torus->Pulsate(t);
        const double a = static_cast<float>(t * 0.0004L);
        const double h = static_cast<float>(std::sin(2 * a) * 0.125 + 0.13);
        for (int i = 0; i < vortex->vertexCount; ++i) {
            const double k = RadialFactor(vortex->restVertices[i], source[i]);
            ASSERT_GE(k, 0.8 * (1 - 3 * h) - 1e-5) << "vertex " << i << " at " << t;
            ASSERT_LE(k, 0.8 * (1 + 3 * h) + 1e-5) << "vertex " << i << " at " << t;
        }
    }
    torus->Pulsate(107000);
    for (int i = 0; i < vortex->vertexCount; ++i) {
        EXPECT_EQ(vortex->restVertices[i].x, first[i].x);
        EXPECT_EQ(vortex->restVertices[i].y, first[i].y);
        EXPECT_EQ(vortex->restVertices[i].z, first[i].z);
        EXPECT_EQ(blob->vertices[i].x, source[i].x) << "the source is never written";
    }
}

TEST_F(EffectTorusTest, FramesByPhase) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus> torus(fxb::MakeEffect<EffectTorus>(kTorusWindow));
    ASSERT_TRUE(torus);

    // Fade-in: no colour clear, the (empty, so white) background added at alpha 0.5.
    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*torus, 100500, 16, true);
    ExpectStateOff("after a fade-in frame");
    std::vector<uint8_t> frame = fxb::Frame();
    const int overRed[3] = {255, 128, 128};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 40, 40, overRed, 1), 0);
    EXPECT_EQ(torus->state.eyeX, 1000.0f);
    // Half-way through the swing the blob is still out of view; at its end it is in.
    EXPECT_EQ(fxb::DepthWrittenPixels(), 0);
    fxb::RenderFrame(*torus, 100999, 16, false);
    EXPECT_GT(fxb::DepthWrittenPixels(), 0) << "the blob is drawn during the fades";

    // Boundary frame: depth cleared, nothing else but the blob.
    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*torus, 101000, 16, false);
    frame = fxb::Frame();
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 40, 40, kRed, 0), 0);

    // Main phase with a sync: opaque background, eye moved.
    fxb::FillFrame(1, 0, 0);
    glColor4f(0.25f, 0.25f, 0.25f, 1);
    fxb::RenderFrame(*torus, 107000, 16, true);
    ExpectStateOff("after a main frame");
    frame = fxb::Frame();
    const int grey[3] = {64, 64, 64};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 40, 40, grey, 1), 0);
    EXPECT_EQ(torus->GetCamera()->eye.x, 500.0f);
    fxb::SavePicture("torus_synthetic_main.png");

    // Fade-out: cleared, background at 0.25 over black.
    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*torus, 113750, 16, false);
    ExpectStateOff("after a fade-out frame");
    frame = fxb::Frame();
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 40, 40, grey, 1), 0);
    fxb::RenderFrame(*torus, 113001, 16, false);
    EXPECT_GT(fxb::DepthWrittenPixels(), 0) << "the blob is drawn during the fades";
}

// ---- EffectTorus2 ------------------------------------------------------------------

TEST(EffectTorus2, PhasesAtTheWindowEdges) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus2> tori(fxb::MakeEffect<EffectTorus2>(kTorus2Window));
    ASSERT_TRUE(tori);
    EXPECT_FALSE(tori->IsActive(114000));
    EXPECT_EQ(tori->PhaseAt(114001), EffectTorus2::FadeIn);
    EXPECT_EQ(tori->PhaseAt(115000), EffectTorus2::FadeIn);
    EXPECT_EQ(tori->PhaseAt(115001), EffectTorus2::Main);
    EXPECT_EQ(tori->PhaseAt(139999), EffectTorus2::Main);
    EXPECT_EQ(tori->PhaseAt(140000), EffectTorus2::None);
    EXPECT_EQ(tori->PhaseAt(140001), EffectTorus2::FadeOut);
}

TEST(EffectTorus2, FlightAndDepthWrap) {
    // Drawn where it moved to; sent back by the ring length afterwards, once.
    float depth = -10.0f;
    EXPECT_EQ(EffectTorus2::Fly(depth, 8.0f), -2.0f);
    EXPECT_EQ(depth, -2.0f);
    EXPECT_EQ(EffectTorus2::Fly(depth, 2.0f), 0.0f);
    EXPECT_EQ(depth, 0.0f) << "exactly at the eye is not yet past it";
    EXPECT_EQ(EffectTorus2::Fly(depth, 8.0f), 8.0f);
    EXPECT_EQ(depth, -3992.0f);
    // A frame step beyond a whole ring still wraps only once.
    depth = -100.0f;
    EXPECT_EQ(EffectTorus2::Fly(depth, 9000.0f), 8900.0f);
    EXPECT_EQ(depth, 4900.0f);

    EXPECT_EQ(EffectTorus2::Step(16), 8.0f);
    EXPECT_EQ(EffectTorus2::Step(0), 0.0f);

    // At 0.5 units per ms the nearest torus reaches the eye after 4 s, and a ring of
    // ten keeps its 400-unit spacing however long it flies.
    float ring[10];
    for (int i = 0; i < 10; ++i) ring[i] = -2000.0f - 400.0f * i;
    int frames = 0;
    while (ring[0] < 0) {
        EffectTorus2::Fly(ring[0], EffectTorus2::Step(20));
        ++frames;
    }
    EXPECT_EQ(frames * 20, 4000);
    for (int i = 0; i < 10; ++i) ring[i] = -2000.0f - 400.0f * i;
    for (int f = 0; f < 1357; ++f)
        for (float& d : ring) EffectTorus2::Fly(d, EffectTorus2::Step(17));
    for (int i = 0; i < 10; ++i) {
        EXPECT_LE(ring[i], 0.0f);
        EXPECT_GT(ring[i], -4000.0f);
        const float gap = std::fmod(ring[i] - ring[(i + 1) % 10] + 8000.0f, 4000.0f);
        EXPECT_NEAR(gap, 400.0f, 0.05f) << "torus " << i;
    }
}

TEST(EffectTorus2, DepthsStartAtInitAndMoveByFrameTime) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus2> tori(fxb::MakeEffect<EffectTorus2>(kTorus2Window));
    ASSERT_TRUE(tori);
    const float* depths = tori->state.depths;
    for (int i = 0; i < EffectTorus2::kTorusCount; ++i) EXPECT_EQ(depths[i], -2000.0f - 400.0f * i);
    fxb::FillFrame(0, 0, 0);
    fxb::RenderFrame(*tori, 120000, 100, true);
    fxb::RenderFrame(*tori, 120040, 40, false);
    for (int i = 0; i < EffectTorus2::kTorusCount; ++i) EXPECT_EQ(depths[i], -2000.0f - 400.0f * i + 70.0f);
    fxb::RenderFrame(*tori, 120040, 0, false);
    EXPECT_EQ(depths[0], -1930.0f) << "no frame time, no flight";
}

TEST(EffectTorus2, SyncChangesNothing) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus2> plain(fxb::MakeEffect<EffectTorus2>(kTorus2Window));
    std::unique_ptr<EffectTorus2> synced(fxb::MakeEffect<EffectTorus2>(kTorus2Window));
    ASSERT_TRUE(plain && synced);
    fxb::FillFrame(0, 0, 0);
    fxb::RenderFrame(*plain, 125000, 30, false);
    const std::vector<uint8_t> a = fxb::Frame();
    fxb::FillFrame(0, 0, 0);
    fxb::RenderFrame(*synced, 125000, 30, true);
    const std::vector<uint8_t> b = fxb::Frame();
    EXPECT_EQ(a, b);
    for (int i = 0; i < EffectTorus2::kTorusCount; ++i) EXPECT_EQ(plain->state.depths[i], synced->state.depths[i]);
}

TEST(EffectTorus2, CopiesAreScaledFromTheUntouchedSource) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus2> tori(fxb::MakeEffect<EffectTorus2>(kTorus2Window));
    ASSERT_TRUE(tori);
    const Object* source = tori->GetTorus();
    const Object* a = tori->CopyA();
    const Object* b = tori->CopyB();
    ASSERT_GT(source->vertexCount, 0);
    ASSERT_EQ(a->vertexCount, source->vertexCount);
    const std::vector<Vector3> rest(source->vertices, source->vertices + source->vertexCount);
    tori->Deform(130000);
    const std::vector<Vector3> first(a->vertices, a->vertices + a->vertexCount);
    bool differ = false;
    for (unsigned t : {114100u, 121000u, 139900u}) {
        tori->Deform(t);
        for (int i = 0; i < source->vertexCount; ++i) {
            const double ka = RadialFactor(a->vertices[i], rest[i]);
            const double kb = RadialFactor(b->vertices[i], rest[i]);
            ASSERT_GE(ka, 0.2 - 1e-5);
            ASSERT_LE(ka, 1.4 + 1e-5);
            ASSERT_GE(kb, 0.2 - 1e-5);
            ASSERT_LE(kb, 1.4 + 1e-5);
            differ = differ || a->vertices[i].x != b->vertices[i].x;
        }
    }
    EXPECT_TRUE(differ) << "the two copies follow different waves";
    tori->Deform(130000);
    for (int i = 0; i < a->vertexCount; ++i) {
        EXPECT_EQ(a->vertices[i].x, first[i].x);
        EXPECT_EQ(source->vertices[i].x, rest[i].x);
    }
}

TEST(EffectTorus2, FramesByPhase) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectTorus2> tori(fxb::MakeEffect<EffectTorus2>(kTorus2Window));
    ASSERT_TRUE(tori);

    // The first frame: the colour buffer cleared, the background at a small alpha.
    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*tori, 114001, 16, false);
    ExpectStateOff("after a fade-in frame");
    std::vector<uint8_t> frame = fxb::Frame();
    EXPECT_LE(fxb::Pixel(frame, 2, 2)[0], 1);
    EXPECT_GT(fxb::DepthWrittenPixels(), 0) << "the tori are drawn from the first frame";

    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*tori, 115000, 16, false);
    frame = fxb::Frame();
    const int white[3] = {255, 255, 255};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, white, 0), 0) << "alpha 2 saturates";

    // At endMs - 1000 neither background nor clear: the old frame shows round the tori.
    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*tori, 140000, 16, false);
    frame = fxb::Frame();
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, kRed, 0), 0);

    fxb::FillFrame(1, 0, 0);
    glColor4f(0.25f, 0.25f, 0.25f, 1);
    fxb::RenderFrame(*tori, 130000, 16, false);
    ExpectStateOff("after a main frame");
    frame = fxb::Frame();
    const int grey[3] = {64, 64, 64};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, grey, 1), 0);
    fxb::SavePicture("torus2_synthetic_main.png");

    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*tori, 140900, 16, false);
    ExpectStateOff("after a fade-out frame");
    frame = fxb::Frame();
    const int faded[3] = {51, 51, 51};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, faded, 1), 0);
}

}  // namespace
