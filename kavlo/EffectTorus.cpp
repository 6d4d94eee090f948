// The torus effect: per-frame pulsation, vortex twist and the fading camera swing.
#include "EffectTorus.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/ObjectVortex.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/object.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>

namespace {
// The wave phases run at t / 2500 in extended precision.
long double PhaseTime(unsigned t) { return static_cast<long double>(t) * 0.0004L; }

// Target z of the swing: 4500 at the window's edge, 500 one second inside it.
float SwingTargetZ(unsigned msFromEdge) {
    return static_cast<float>((1.0 - msFromEdge * 0.001) * 4000.0 + 500.0);
}
}  // namespace

EffectTorus::~EffectTorus() {
    if (camera) KAVLO_DELETE(camera);
    if (flareTexture) KAVLO_DELETE(flareTexture);
    if (blobTexture) KAVLO_DELETE(blobTexture);
    if (material) KAVLO_DELETE(material);
    if (vortex) KAVLO_DELETE(vortex);
    // The found object before its scene, which does not own it.
    if (blob) KAVLO_DELETE(blob);
    if (scene) KAVLO_DELETE(scene);
    if (background) KAVLO_DELETE(background);
}

bool EffectTorus::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    // "data/torus_1.jpg" was loaded here once and never drawn; it is left in the archive.
    flareTexture = KAVLO_NEW(TextureImageJPEG, "data/flare.jpg");
    blobTexture = KAVLO_NEW(TextureImageJPEG, "data/torus_2.jpg");

    scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 1, "3ds/blob.3ds", "Blob01");

    material = KAVLO_NEW(Material);
    material->SetFlag(MaterialTextured);
    material->SetFlag(MaterialEnvMapped);
    material->SetLineColor(1, 1, 1, 1);
    material->SetTexture(blobTexture);
    material->SetEnvTexture(flareTexture);
    material->SetFlag(MaterialCullFront);

    blob = scene->FindObject("Blob01");
    if (!blob) return false;
    blob->SetMaterial(material);

    vortex = KAVLO_NEW(ObjectVortex, *blob);
    vortex->ComputeNormals();
    vortex->Deform();

    camera = KAVLO_NEW(Camera);
    camera->EnableDepthTest();
    camera->SetViewport(static_cast<float>(width), static_cast<float>(height));
    camera->SetFieldOfView(45);
    camera->SetFarPlane(25000);

    background = KAVLO_NEW(TextureImageJPEG, "data/fly.jpg");

    // The meshes are rebuilt from the blob every frame.
    WarmUp({startMs + 500, startMs + 3000, endMs - 500});
    return true;
}

std::vector<unsigned> EffectTorus::PhaseEdges() const {
    return {startMs, startMs + 1000, endMs - 1000, endMs};
}

EffectTorus::Phase EffectTorus::PhaseAt(unsigned t) const {
    if (t < startMs + 1000) return FadeIn;
    if (t > endMs - 1000) return FadeOut;
    if (t > startMs + 1000 && t < endMs - 1000) return Main;
    return None;
}

void EffectTorus::Pulsate(unsigned t) {
    const long double T = PhaseTime(t);
    const float a = static_cast<float>(T);
    const float g = static_cast<float>(std::sin(T) * 25 + 50);
    const float e = static_cast<float>(std::sin(a * 0.5) * 10 + 30);
    const float f = static_cast<float>(std::sin(a * 0.25) * 5 + 20);
    const float h = static_cast<float>(std::sin(2.0 * a) * 0.125 + 0.13);

    const int n = std::min(vortex->vertexCount, blob->vertexCount);
    const Vector3* src = blob->vertices;
    Vector3* rest = vortex->restVertices;
    for (int i = 0; i < n; ++i) {
        const long double x = src[i].x, y = src[i].y, z = src[i].z;
        const float k = static_cast<float>(
            h * (std::sin(2 * T + y / e) + std::sin(5 * T + z / f) + std::sin(2.6L * T + x / g)) +
            1);
        const long double m = k * 0.8L;
        rest[i].Set(static_cast<float>(x * m), static_cast<float>(y * m),
                    static_cast<float>(z * m));
    }

    vortex->SetTwist(static_cast<float>(std::sin(T) * 10), static_cast<float>(std::cos(a * 0.5) * 10),
                     static_cast<float>(std::sin(a * double(0.33333334f)) * 10));
}

void EffectTorus::AimCamera(unsigned t, bool sync) {
    switch (PhaseAt(t)) {
    case FadeIn:
        state.lookEyeX = 1000;
        state.lookTargetZ = SwingTargetZ(t - startMs);
        break;
    case Main:
        if (sync) state.eyeX = 500.0f;
        state.lookEyeX = state.eyeX;
        state.lookTargetZ = 500;
        break;
    case FadeOut:
        state.lookEyeX = 1000;
        state.lookTargetZ = SwingTargetZ(endMs - t);
        break;
    case None:
        break;
    }
}

void EffectTorus::Render(unsigned t, int dt, bool sync) {
    Pulsate(t);
    vortex->Deform();
    vortex->ComputeNormals();

    glClear(GL_DEPTH_BUFFER_BIT);
    switch (PhaseAt(t)) {
    case FadeIn:
        // No colour clear: the background is added over the previous effect's frame.
        background->DrawScreenBlended(width, height, 0.0f,
                                      static_cast<float>((t - startMs) * 0.001));
        break;
    case Main:
        background->DrawScreen(width, height, 0.0f);
        break;
    case FadeOut:
        glClear(GL_COLOR_BUFFER_BIT);
        background->DrawScreenBlended(width, height, 0.0f,
                                      static_cast<float>((endMs - t) * 0.001));
        break;
    case None:
        break;
    }
    StepState(t, dt, sync);
    camera->SetLookAt(state.lookEyeX, 1000, 50, 0, 0, state.lookTargetZ, 0, 1, 0);

    camera->Begin();
    vortex->Render();
    camera->End();
}
