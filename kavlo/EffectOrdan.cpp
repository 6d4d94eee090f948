// The Ordan effect: the twisting box, its swinging camera and the fading background.
#include "EffectOrdan.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/ObjectVortex.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/object.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <cmath>

namespace {
float FadeAlpha(unsigned elapsedMs) { return static_cast<float>(elapsedMs * 0.002f); }
}  // namespace

EffectOrdan::~EffectOrdan() {
    if (background) KAVLO_DELETE(background);
    if (boxTexture) KAVLO_DELETE(boxTexture);
    if (flareTexture) KAVLO_DELETE(flareTexture);
    if (material) KAVLO_DELETE(material);
    if (camera) KAVLO_DELETE(camera);
    if (vortex) KAVLO_DELETE(vortex);
    // The found object before its scene, which does not own it.
    if (box) KAVLO_DELETE(box);
    if (scene) KAVLO_DELETE(scene);
}

bool EffectOrdan::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 1, "3ds/underligmiddle.3ds", "Box02");

    background = KAVLO_NEW(TextureImageJPEG, "data/credit_back.jpg");
    boxTexture = KAVLO_NEW(TextureImageJPEG, "data/twist1.jpg");
    flareTexture = KAVLO_NEW(TextureImageJPEG, "data/start_flare.jpg");

    material = KAVLO_NEW(Material);
    material->SetFlag(MaterialTextured);
    material->SetFlag(MaterialCullFront);
    material->SetFlag(MaterialEnvMapped);
    material->SetTexture(boxTexture);
    material->SetEnvTexture(flareTexture);

    // A missing file or object stops loading like any other effect's missing mesh.
    box = scene->FindObject("Box02");
    if (!box) return false;
    box->SetMaterial(material);
    box->ComputeNormals();

    vortex = KAVLO_NEW(ObjectVortex, *box);
    vortex->ComputeNormals();
    vortex->Deform();

    camera = KAVLO_NEW(Camera);
    camera->EnableDepthTest();
    camera->SetViewport(static_cast<float>(width), static_cast<float>(height));
    camera->SetFieldOfView(60);
    camera->SetFarPlane(250000);
    camera->SetLookAt(0, 0, 2000, 0, 0, 0, 0, 1, 0);
    WarmUp({startMs + 500, startMs + 3000, endMs - 500});
    return true;
}

std::vector<unsigned> EffectOrdan::PhaseEdges() const {
    return {startMs, startMs + 1000, endMs - 1000, endMs};
}

EffectOrdan::Phase EffectOrdan::PhaseAt(unsigned t) const {
    if (t <= startMs + 1000) return FadeIn;
    if (t > endMs - 1000) return FadeOut;
    if (t < endMs - 1000) return Main;
    return None;
}

void EffectOrdan::Animate(unsigned t) {
    // t / 1500 in extended precision; its sine is taken unrounded.
    const long double e = static_cast<long double>(t) * 0.0006666666666666666;
    const long double s = std::sin(e);
    const float ef = static_cast<float>(e);

    vortex->SetTwist(static_cast<float>(3 * std::sin(2.4 * ef) + 2 * s),
                     static_cast<float>(3 * std::cos(0.5f * ef)),
                     static_cast<float>(2 * std::sin(0.33333334f * ef) + 3 * std::sin(1.2 * ef)));

    // The aim slides along x from -half the window to +half over its length.
    const double targetX =
        static_cast<double>(t - startMs) - 0.5 * static_cast<double>(endMs - startMs);
    const long double c = std::cos(static_cast<long double>(ef));
    camera->SetLookAt(static_cast<float>(1200 * s), static_cast<float>(1200 * c),
                      static_cast<float>(1200 * c), static_cast<float>(targetX), 0, 0, 0, 0, 1);
}

void EffectOrdan::Render(unsigned t, int, bool) {
    // The colour buffer is kept: the fade-in adds onto the previous effect's frame.
    glClear(GL_DEPTH_BUFFER_BIT);
    switch (PhaseAt(t)) {
    case FadeIn:
        // Alpha 1 is reached after 500 ms; larger alphas saturate.
        background->DrawScreenBlended(width, height, 0.0f, FadeAlpha(t - startMs));
        break;
    case FadeOut:
        glClear(GL_COLOR_BUFFER_BIT);
        background->DrawScreenBlended(width, height, 0.0f, FadeAlpha(endMs - t));
        break;
    case Main:
        background->DrawScreen(width, height, 0.0f);
        break;
    case None:
        break;
    }

    Animate(t);
    vortex->Deform();
    vortex->ComputeNormals();

    camera->Begin();
    vortex->Render();
    camera->End();
}
