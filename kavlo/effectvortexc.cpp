// The vortex effect: a twisting hair mesh, sphere-mapped, in front of its background.
#include "effectvortexc.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/ObjectVortex.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <cmath>

EffectVortexC::~EffectVortexC() {
    if (hairTexture) KAVLO_DELETE(hairTexture);
    // The scene does not own its objects: the found one goes first, then the scene.
    if (scene) {
        Object* found = scene->FindObject("Cylinder05");
        if (found) KAVLO_DELETE(found);
        KAVLO_DELETE(scene);
    }
    if (vortex) KAVLO_DELETE(vortex);
    if (camera) KAVLO_DELETE(camera);
    if (material) KAVLO_DELETE(material);
    if (background) KAVLO_DELETE(background);
    if (flareTexture) KAVLO_DELETE(flareTexture);
}

bool EffectVortexC::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 1, "3ds/hair3.3ds", "Cylinder05");
    Object* source = scene->FindObject("Cylinder05");
    if (!source) return false;
    // The source mesh stays as loaded and is never drawn; the copy twists.
    vortex = KAVLO_NEW(ObjectVortex, *source);

    camera = KAVLO_NEW(Camera);
    camera->EnableDepthTest();
    camera->SetViewport(static_cast<float>(width), static_cast<float>(height));
    camera->SetFieldOfView(60.0f);
    camera->SetFarPlane(4000.0f);
    camera->SetLookAt(0.0f, 0.0f, -200.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);

    material = KAVLO_NEW(Material);
    material->SetLineColor(1.0f, 1.0f, 1.0f, 0.5f);
    material->SetFlag(MaterialTextured);
    material->SetFlag(MaterialEnvMapped);
    hairTexture = KAVLO_NEW(TextureImageJPEG, "data/hair.jpg");
    material->SetTexture(hairTexture);
    flareTexture = KAVLO_NEW(TextureImageJPEG, "data/start_flare.jpg");
    material->SetEnvTexture(flareTexture);
    vortex->SetMaterial(material);

    background = KAVLO_NEW(TextureImageJPEG, "data/vortex_back.jpg");
    vortex->SetPosition(-15.0f, 15.0f, 0.0f);

    WarmUp({startMs + 500, startMs + 3000, endMs - 500});
    return true;
}

void EffectVortexC::KickCamera(bool sync) {
    float& z = state.cameraZ;
    if (sync) {
        z = 0.0f;
        z -= 10.0f;
    } else if (z > kRestCameraZ) {
        z -= 10.0f;
    }
}

namespace {
float Angle(unsigned t) { return static_cast<float>(t * 0.0006666666666666666); }
}  // namespace

void EffectVortexC::StepState(unsigned t, int, bool sync) {
    if (InFadeIn(t)) return;
    // The kick runs in the last second too, though the mesh is no longer drawn there.
    KickCamera(sync);
    if (InFadeOut(t)) return;
    const float a = Angle(t);
    state.twist.Set(static_cast<float>(std::sin(static_cast<double>(a)) * 10.0),
                    static_cast<float>(std::cos(static_cast<double>(a * 0.33333334f)) * 15.0),
                    static_cast<float>(std::sin(a * 0.25) * 10.0));
}

std::vector<unsigned> EffectVortexC::PhaseEdges() const {
    return {startMs, startMs + 1000, endMs - 1000, endMs};
}

void EffectVortexC::Render(unsigned t, int dt, bool sync) {
    if (InFadeIn(t)) {
        background->DrawScreenBlended(
            width, height, 0.0f,
            static_cast<float>(static_cast<double>(t - startMs) * static_cast<double>(0.001f)));
        return;
    }

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (InFadeOut(t)) {
        StepState(t, dt, sync);
        background->DrawScreenBlended(
            width, height, 0.0f,
            static_cast<float>(static_cast<double>(endMs - t) * static_cast<double>(0.002f)));
        return;
    }

    background->DrawScreen(width, height, 0.0f);
    // Deformed before the step sets the next twist: the drawn shape lags it by a frame.
    vortex->twist = state.twist;
    vortex->Deform();
    StepState(t, dt, sync);
    const float a = Angle(t);
    camera->SetLookAt(static_cast<float>(std::sin(static_cast<double>(a)) * 500.0),
                      static_cast<float>(std::cos(static_cast<double>(a)) * 100.0), state.cameraZ,
                      0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
    camera->Begin();
    vortex->ComputeNormals();
    vortex->Render();
    camera->End();
}
