// The second torus effect: two per-frame deformations drawn as ten flying tori.
#include "EffectTorus2.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/object.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>

namespace {
Material* MakeTorusMaterial(Texture* base, Texture* env) {
    Material* m = KAVLO_NEW(Material);
    m->SetFlag(MaterialTextured);
    m->SetFlag(MaterialEnvMapped);
    m->SetLineColor(1, 1, 1, 1);
    m->SetTexture(base);
    m->SetEnvTexture(env);
    m->SetFlag(MaterialCullFront);
    return m;
}

float FadeAlpha(unsigned elapsedMs) { return static_cast<float>(elapsedMs * 0.002); }
}  // namespace

EffectTorus2::~EffectTorus2() {
    if (camera) KAVLO_DELETE(camera);
    // The found object before its scene, which does not own it.
    if (torus) KAVLO_DELETE(torus);
    if (copyA) KAVLO_DELETE(copyA);
    if (copyB) KAVLO_DELETE(copyB);
    if (scene) KAVLO_DELETE(scene);
    if (background) KAVLO_DELETE(background);
    if (textureA) KAVLO_DELETE(textureA);
    if (textureB) KAVLO_DELETE(textureB);
    if (flareTexture) KAVLO_DELETE(flareTexture);
    if (materialA) KAVLO_DELETE(materialA);
    if (materialB) KAVLO_DELETE(materialB);
}

bool EffectTorus2::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    textureA = KAVLO_NEW(TextureImageJPEG, "data/torus_texture_1.jpg");
    textureB = KAVLO_NEW(TextureImageJPEG, "data/torus_texture_2.jpg");
    flareTexture = KAVLO_NEW(TextureImageJPEG, "data/flare.jpg");

    scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 1, "3ds/torus.3ds", "Torus01");

    materialA = MakeTorusMaterial(textureA, flareTexture);
    materialB = MakeTorusMaterial(textureB, flareTexture);

    torus = scene->FindObject("Torus01");
    if (!torus) return false;
    torus->ComputeNormals();

    copyA = KAVLO_NEW(Object);
    copyA->CopyFrom(*torus);
    copyA->SetMaterial(materialA);
    copyB = KAVLO_NEW(Object);
    copyB->CopyFrom(*torus);
    copyB->SetMaterial(materialB);
    copyB->SetPosition(0, 0, 0);

    camera = KAVLO_NEW(Camera);
    camera->EnableDepthTest();
    camera->SetViewport(static_cast<float>(width), static_cast<float>(height));
    camera->SetFieldOfView(45);
    // White fog up to the far plane: the tori come out of it.
    camera->SetFog(0, 2500, 1, 1, 1, 1);
    camera->SetFarPlane(2500);

    background = KAVLO_NEW(TextureImageJPEG, "data/onyx.jpg");

    WarmUp({startMs + 500, startMs + 3000, endMs - 500});
    return true;
}

EffectTorus2::State::State() {
    for (int i = 0; i < kTorusCount; ++i) drawnAt[i] = depths[i] = -2000.0f - 400.0f * i;
}

void EffectTorus2::StepState(unsigned, int dt, bool) {
    const float s = Step(dt);
    for (int j = 0; j < kTorusCount; ++j) state.drawnAt[j] = Fly(state.depths[j], s);
}

std::vector<unsigned> EffectTorus2::PhaseEdges() const {
    return {startMs, startMs + 1000, endMs - 1000, endMs};
}

EffectTorus2::Phase EffectTorus2::PhaseAt(unsigned t) const {
    if (t <= startMs + 1000) return FadeIn;
    if (t > endMs - 1000) return FadeOut;
    if (t < endMs - 1000) return Main;
    return None;
}

void EffectTorus2::Deform(unsigned t) {
    const long double T = static_cast<long double>(t) * 0.0004L;
    const float a = static_cast<float>(T);
    const float c = static_cast<float>(std::sin(4.0 * a) * 10 + 20);
    const float d = static_cast<float>(std::sin(T) * 15 + 35);
    const float e = static_cast<float>(std::sin(2.0 * a) * 10 + 30);

    const int n = std::min({torus->vertexCount, copyA->vertexCount, copyB->vertexCount});
    const Vector3* src = torus->vertices;
    for (int i = 0; i < n; ++i) {
        const long double x = src[i].x, y = src[i].y, z = src[i].z;
        const float kA = static_cast<float>(
            (std::sin(y / e + 2 * T) + std::sin(z / c + 5 * T) + std::sin(x / d + 2.6L * T)) *
                0.25L +
            1);
        const float kB = static_cast<float>(
            (std::sin(y / e + 3 * T) + std::sin(x / d + 5.6L * T) + std::sin(z / c + 2 * T)) *
                0.25L +
            1);
        const long double mA = kA * 0.8L, mB = kB * 0.8L;
        copyA->vertices[i].Set(static_cast<float>(x * mA), static_cast<float>(y * mA),
                               static_cast<float>(z * mA));
        copyB->vertices[i].Set(static_cast<float>(x * mB), static_cast<float>(y * mB),
                               static_cast<float>(z * mB));
    }
}

float EffectTorus2::Fly(float& depth, float step) {
    depth += step;
    const float drawnAt = depth;
    if (depth > 0) depth -= kRingLength;
    return drawnAt;
}

void EffectTorus2::Render(unsigned t, int dt, bool sync) {
    Deform(t);
    StepState(t, dt, sync);

    switch (PhaseAt(t)) {
    case FadeIn:
        // Alphas above 1 (after 500 ms) act as 1.
        glClear(GL_COLOR_BUFFER_BIT);
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
    glClear(GL_DEPTH_BUFFER_BIT);

    camera->SetLookAt(0, 0, 0, 0, 0, -1000, 0, 1, 0);
    camera->Begin();
    copyA->ComputeNormals();
    copyB->ComputeNormals();

    const float a = static_cast<float>(static_cast<long double>(t) * 0.0004L);
    const float v = 3.0f * a;
    // All even tori with the first copy, then all odd ones with the second.
    for (int pass = 0; pass < 2; ++pass) {
        Object* copy = pass == 0 ? copyA : copyB;
        for (int j = pass; j < kTorusCount; j += 2) {
            const float z = state.drawnAt[j];
            // The further away, the further to the right.
            copy->SetPosition(-z * 0.33333334f, 0, z);
            const float w = z * 0.00025f;
            const float spin = static_cast<float>(std::sin(double(a) + j));
            // Tumbling about x and y dies away near the eye; the spin about z does not.
            copy->SetRotation(static_cast<float>(std::sin(j + double(v)) * w * 360.0),
                              static_cast<float>(double(spin) * w * 360.0),
                              static_cast<float>(double(spin) * 360.0));
            copy->Render();
        }
    }
    camera->End();
}
