// The feedback effect: a smeared trail built from faint additive copies of one sphere.
#include "EffectFeedback.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/object.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <cmath>

EffectFeedback::~EffectFeedback() {
    if (sphereTexture) KAVLO_DELETE(sphereTexture);
    // The scene does not own its objects: the found one goes first, then the scene.
    if (scene) {
        Object* found = scene->FindObject("Sphere01");
        if (found) KAVLO_DELETE(found);
    }
    if (material) KAVLO_DELETE(material);
    if (scene) KAVLO_DELETE(scene);
    if (camera) KAVLO_DELETE(camera);
    if (background) KAVLO_DELETE(background);
    if (depths) KAVLO_DELETE_ARRAY(depths);
}

bool EffectFeedback::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 1, "3ds/kasse_kugle.3ds", "Sphere01");

    material = KAVLO_NEW(Material);
    material->SetFlag(MaterialTextured);
    material->SetLineColor(1.0f, 1.0f, 1.0f, 1.0f);
    sphereTexture = KAVLO_NEW(TextureImageJPEG, "data/kasse.jpg");
    material->SetTexture(sphereTexture);
    material->SetFlag(MaterialCullFront);

    sphere = scene->FindObject("Sphere01");
    if (!sphere) return false;
    sphere->SetMaterial(material);

    background = KAVLO_NEW(TextureImageJPEG, "data/kasse_back.jpg");

    camera = KAVLO_NEW(Camera);
    camera->DisableDepthTest();
    camera->SetViewport(static_cast<float>(width), static_cast<float>(height));
    camera->SetFieldOfView(45.0f);
    camera->SetFarPlane(2500.0f);
    camera->SetLookAt(0.0f, 0.0f, -75.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);

    depths = KAVLO_NEW_ARRAY(float, kCopyCount);
    for (int i = 0; i < kCopyCount; ++i) depths[i] = 30.0f * static_cast<float>(i);
    WarmUp({startMs + 500, startMs + 3000, endMs - 500});
    return true;
}

void EffectFeedback::KickCamera(bool sync) {
    float& z = state.cameraZ;
    if (sync) {
        z = -150.0f;
        z += 10.0f;
    } else if (z < kRestCameraZ) {
        z += 10.0f;
    }
}

void EffectFeedback::StepSkipCount(bool fadingOut) {
    int& skip = state.skipCount;
    if (fadingOut) {
        if (skip < kMaxSkip) skip += 1;
    } else if (skip > 0) {
        skip -= 1;
    }
}

void EffectFeedback::StepState(unsigned t, int, bool sync) {
    if (InFadeIn(t)) return;
    KickCamera(sync);
    StepSkipCount(InFadeOut(t));
}

std::vector<unsigned> EffectFeedback::PhaseEdges() const {
    return {startMs, startMs + 1000, endMs - 1000, endMs};
}

void EffectFeedback::Render(unsigned t, int dt, bool sync) {
    StepState(t, dt, sync);
    if (InFadeIn(t)) {
        // Added over the spiral still fading out underneath: no clear.
        background->DrawScreenBlended(
            width, height, 0.0f,
            static_cast<float>(static_cast<double>(t - startMs) * static_cast<double>(0.002f)));
        return;
    }

    // Depth testing stays off in this effect, so only colour is cleared.
    glClear(GL_COLOR_BUFFER_BIT);
    camera->SetLookAt(0.0f, 0.0f, state.cameraZ, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);

    if (InFadeOut(t)) {
        background->DrawScreenBlended(
            width, height, 0.0f,
            static_cast<float>(static_cast<double>(endMs - t) * static_cast<double>(0.002f)));
    } else {
        // Opaque: every frame of this effect ends with blending off and white colour.
        background->DrawScreen(width, height, 0.0f);
    }

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    camera->Begin();

    const float e = static_cast<float>(t * 0.000625);
    const float g = static_cast<float>(std::sin(e * 0.5) * 360.0);
    const float h = e * 0.33333334f;
    const float py = static_cast<float>(std::cos(e * 7.0) * 30.0);
    const float px = static_cast<float>(std::sin(e * 4.0) * 30.0);
    for (int i = state.skipCount > 0 ? state.skipCount : 0; i < kCopyCount; ++i) {
        glColor4f(1.0f, 1.0f, 1.0f, 0.05f);
        const double o = i * 0.03333333333333333;
        sphere->SetRotation(static_cast<float>(std::sin(e + o) * 360.0),
                            static_cast<float>(std::cos(h + o) * 360.0), g);
        sphere->SetPosition(px, py, depths[i]);
        sphere->Render();
    }

    camera->End();
    glDisable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}
