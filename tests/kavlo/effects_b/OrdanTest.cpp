// The Ordan and Ordan2 effects: phases, the twisting box and its camera path, the
// boiling sphere, the fan's brightness, and the GL state of a frame.
#include "FxbSupport.h"

#include "EffectOrdan.h"
#include "EffectOrdan2.h"
#include "code3d/Camera.h"
#include "code3d/ObjectVortex.h"
#include "code3d/object.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>

#include <cmath>
#include <memory>
#include <vector>

using fxb::kOrdan2Window;
using fxb::kOrdanWindow;

namespace {

const int kRed[3] = {255, 0, 0};

void ExpectStateOff(const char* what) {
    const fxb::GLState s = fxb::ReadState();
    EXPECT_FALSE(s.depthTest) << what;
    EXPECT_FALSE(s.fog) << what;
    EXPECT_FALSE(s.blend) << what;
    EXPECT_FALSE(s.cullFace) << what;
    EXPECT_FALSE(s.alphaTest) << what;
    EXPECT_FALSE(s.texGenS) << what;
    EXPECT_FALSE(s.texGenT) << what;
    EXPECT_TRUE(s.depthMask) << what;
    EXPECT_TRUE(s.texture2D) << what;
    EXPECT_EQ(s.activeTexture, GL_TEXTURE0) << what;
    EXPECT_EQ(s.matrixMode, GL_MODELVIEW) << what;
    EXPECT_EQ(s.modelviewDepth, 1) << what;
    EXPECT_EQ(s.projectionDepth, 1) << what;
}

std::vector<Vector3> Vertices(const Object* o) {
    return std::vector<Vector3>(o->vertices, o->vertices + o->vertexCount);
}

bool SameVertices(const std::vector<Vector3>& a, const Object* o) {
    if (static_cast<int>(a.size()) != o->vertexCount) return false;
    for (int i = 0; i < o->vertexCount; ++i)
        if (a[i].x != o->vertices[i].x || a[i].y != o->vertices[i].y || a[i].z != o->vertices[i].z)
            return false;
    return true;
}

// ---- EffectOrdan -------------------------------------------------------------------

TEST(EffectOrdan, PhasesAtTheWindowEdges) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectOrdan> ordan(fxb::MakeEffect<EffectOrdan>(kOrdanWindow));
    ASSERT_TRUE(ordan);
    EXPECT_EQ(ordan->PhaseAt(140001), EffectOrdan::FadeIn);
    EXPECT_EQ(ordan->PhaseAt(141000), EffectOrdan::FadeIn);
    EXPECT_EQ(ordan->PhaseAt(141001), EffectOrdan::Main);
    EXPECT_EQ(ordan->PhaseAt(153999), EffectOrdan::Main);
    EXPECT_EQ(ordan->PhaseAt(154000), EffectOrdan::None);
    EXPECT_EQ(ordan->PhaseAt(154001), EffectOrdan::FadeOut);
    EXPECT_FALSE(ordan->IsActive(155000));
}

TEST(EffectOrdan, CameraSwingsRoundTheBoxAndItsAimSlidesAlongX) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectOrdan> ordan(fxb::MakeEffect<EffectOrdan>(kOrdanWindow));
    ASSERT_TRUE(ordan);
    const Camera* camera = ordan->GetCamera();
    for (unsigned t : {140001u, 147500u, 154999u}) {
        ordan->Animate(t);
        const double e = t * 0.0006666666666666666;
        const double ef = static_cast<float>(e);
        EXPECT_NEAR(camera->eye.x, 1200 * std::sin(e), 1e-3);
        EXPECT_NEAR(camera->eye.y, 1200 * std::cos(ef), 1e-3);
        EXPECT_EQ(camera->eye.y, camera->eye.z);
        EXPECT_EQ(camera->target.x, static_cast<float>(t - 140000.0 - 7500.0));
        EXPECT_EQ(camera->up.z, 1.0f);
        const Vector3 twist = ordan->GetVortex()->twist;
        EXPECT_NEAR(twist.y, 3 * std::cos(0.5 * ef), 1e-5);
        EXPECT_NEAR(twist.x, 3 * std::sin(2.4 * ef) + 2 * std::sin(e), 1e-5);
    }
}

TEST(EffectOrdan, DeformationDependsOnTimeAlone) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectOrdan> ordan(fxb::MakeEffect<EffectOrdan>(kOrdanWindow));
    ASSERT_TRUE(ordan);
    fxb::FillFrame(0, 0, 0);
    fxb::RenderFrame(*ordan, 146000, 16, false);
    const std::vector<Vector3> first = Vertices(ordan->GetVortex());
    fxb::RenderFrame(*ordan, 149000, 16, true);
    EXPECT_FALSE(SameVertices(first, ordan->GetVortex()));
    fxb::RenderFrame(*ordan, 146000, 3000, true);
    EXPECT_TRUE(SameVertices(first, ordan->GetVortex()));
}

TEST(EffectOrdan, FramesByPhase) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectOrdan> ordan(fxb::MakeEffect<EffectOrdan>(kOrdanWindow));
    ASSERT_TRUE(ordan);

    // The fade-in adds onto what the frame holds; alpha 1 is reached at 500 ms.
    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*ordan, 140250, 16, false);
    ExpectStateOff("after a fade-in frame");
    std::vector<uint8_t> frame = fxb::Frame();
    const int overRed[3] = {255, 128, 128};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, overRed, 1), 0);

    // 141000 is still the fade-in, at alpha 2: saturated white.
    fxb::FillFrame(0, 0, 0);
    fxb::RenderFrame(*ordan, 141000, 16, false);
    frame = fxb::Frame();
    const int white[3] = {255, 255, 255};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, white, 0), 0);

    fxb::FillFrame(1, 0, 0);
    glColor4f(0.25f, 0.25f, 0.25f, 1);
    fxb::RenderFrame(*ordan, 148000, 16, false);
    ExpectStateOff("after a main frame");
    frame = fxb::Frame();
    const int grey[3] = {64, 64, 64};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, grey, 1), 0);
    // Mid-window the aim passes the box, which is then in view.
    fxb::RenderFrame(*ordan, 147500, 16, false);
    EXPECT_GT(fxb::DepthWrittenPixels(), 0);
    fxb::SavePicture("ordan_synthetic_main.png");

    // 154000: no clear and no background; the box over the previous contents.
    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*ordan, 154000, 16, false);
    frame = fxb::Frame();
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, kRed, 0), 0);

    fxb::FillFrame(1, 0, 0);
    fxb::RenderFrame(*ordan, 154750, 16, false);
    ExpectStateOff("after a fade-out frame");
    frame = fxb::Frame();
    const int half[3] = {128, 128, 128};
    EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, 20, 20, half, 1), 0);
}

// ---- EffectOrdan2 ------------------------------------------------------------------

TEST(EffectOrdan2, CopyBrightnessOverTheWindow) {
    const unsigned s = kOrdan2Window.startMs;
    EXPECT_EQ(EffectOrdan2::CopyBrightness(s, s), 0.0f);
    EXPECT_EQ(EffectOrdan2::CopyBrightness(s + 1000, s), 0.03125f);
    EXPECT_EQ(EffectOrdan2::CopyBrightness(s + 1999, s), static_cast<float>(1999 * 0.0005 * 0.0625));
    for (unsigned u : {2000u, 4500u, 7000u}) EXPECT_EQ(EffectOrdan2::CopyBrightness(s + u, s), 0.0625f);
    EXPECT_EQ(EffectOrdan2::CopyBrightness(s + 8000, s), 0.03125f);
    EXPECT_EQ(EffectOrdan2::CopyBrightness(s + 9000, s), 0.0f);
    // Past nine seconds it goes negative, which OpenGL clamps to black.
    EXPECT_LT(EffectOrdan2::CopyBrightness(s + 12000, s), 0.0f);
}

TEST(EffectOrdan2, CentreWandersOnASphereOfRadius50) {
    for (unsigned t : {155001u, 160000u, 171999u}) {
        const float e = EffectOrdan2::Angle(t);
        EXPECT_EQ(e, static_cast<float>(t * 0.0006666666666666666));
        const Vector3 v = EffectOrdan2::Centre(e);
        EXPECT_NEAR(v.Length(), 50.0f, 1e-4);
        EXPECT_GT(v.x * std::sin(e), 0.0f);
    }
}

TEST(EffectOrdan2, BoilingMovesEachVertexOnItsLineThroughTheCentre) {
    const float e = EffectOrdan2::Angle(163000);
    const Vector3 v = EffectOrdan2::Centre(e);
    const EffectOrdan2::BoilTerms k = EffectOrdan2::TermsAt(e);
    EXPECT_EQ(k.e12, 1.2f * e);
    EXPECT_EQ(k.e14, 1.4f * static_cast<long double>(e));

    // The centre itself stays put.
    const Vector3 c = EffectOrdan2::BoilVertex(v, v, k);
    EXPECT_EQ(c.x, v.x);
    EXPECT_EQ(c.y, v.y);
    EXPECT_EQ(c.z, v.z);

    // Any other point moves along its line through the centre, by cos of a bounded
    // angle: at most back to itself, at least to about -0.58 of the way.
    for (float r : {10.0f, 70.0f, 300.0f})
        for (int i = 0; i < 16; ++i) {
            const Vector3 p(r * std::cos(i * 0.4f), r * std::sin(i * 0.7f), r * std::cos(i * 1.3f));
            const Vector3 q = EffectOrdan2::BoilVertex(p, v, k);
            Vector3 from = p;
            from -= v;
            Vector3 to = q;
            to -= v;
            const double f = (double(to.x) * from.x + double(to.y) * from.y + double(to.z) * from.z) /
                             (double(from.x) * from.x + double(from.y) * from.y + double(from.z) * from.z);
            EXPECT_LE(f, 1.0 + 1e-6);
            EXPECT_GE(f, std::cos(1.1 * (0.3 * 3 + 0.031 * 3)) - 1e-6);
            Vector3 off = from;
            off *= static_cast<float>(f);
            off -= to;
            EXPECT_LT(off.Length(), 1e-3f * r);
        }
}

TEST(EffectOrdan2, SphereIsRebuiltFromItsRestShapeEveryFrame) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectOrdan2> ordan2(fxb::MakeEffect<EffectOrdan2>(kOrdan2Window));
    ASSERT_TRUE(ordan2);
    const Object* sphere = ordan2->GetSphere();
    const Object* rest = ordan2->GetSphereRest();
    ASSERT_GT(sphere->vertexCount, 0);
    ASSERT_EQ(rest->vertexCount, sphere->vertexCount);
    const std::vector<Vector3> restShape = Vertices(rest);
    ordan2->Boil(160000);
    const std::vector<Vector3> first = Vertices(sphere);
    ordan2->Boil(165000);
    EXPECT_FALSE(SameVertices(first, sphere));
    ordan2->Boil(160000);
    EXPECT_TRUE(SameVertices(first, sphere));
    EXPECT_TRUE(SameVertices(restShape, rest));

    // The waves shared by repeated coordinates give BoilVertex's result to the bit.
    const float e = EffectOrdan2::Angle(160000);
    const Vector3 centre = EffectOrdan2::Centre(e);
    const EffectOrdan2::BoilTerms k = EffectOrdan2::TermsAt(e);
    for (int i = 0; i < rest->vertexCount; ++i) {
        const Vector3 q = EffectOrdan2::BoilVertex(rest->vertices[i], centre, k);
        ASSERT_EQ(std::memcmp(&q, &first[i], sizeof q), 0) << "vertex " << i;
    }
}

TEST(EffectOrdan2, FramesAndTheStateTheyLeave) {
    FXB_REQUIRE_SYNTHETIC();
    std::unique_ptr<EffectOrdan2> ordan2(fxb::MakeEffect<EffectOrdan2>(kOrdan2Window));
    ASSERT_TRUE(ordan2);
    for (unsigned t : {155001u, 158000u, 163000u, 170000u}) {
        fxb::FillFrame(1, 0, 0);
        glColor4f(0.5f, 0.5f, 0.5f, 1);
        fxb::RenderFrame(*ordan2, t, 16, t == 158000u);
        ExpectStateOff("after an Ordan2 frame");
        const fxb::GLState s = fxb::ReadState();
        for (int c = 0; c < 4; ++c) EXPECT_EQ(s.color[c], 1.0f) << "colour left white";
        const std::vector<uint8_t> frame = fxb::Frame();
        // Cleared: the red is gone everywhere.
        EXPECT_EQ(fxb::PixelsNotColour(frame, 0, 0, fxb::kWidth, fxb::kHeight, kRed, 30),
                  fxb::kWidth * fxb::kHeight)
            << "at " << t;
        EXPECT_GT(fxb::DepthWrittenPixels(), 0) << "the sphere is drawn at " << t;
        if (t == 158000u) fxb::SavePicture("ordan2_synthetic_glow.png");
    }
}

}  // namespace
