// The closing effect: boiling half sphere and the fading fan of additive copies.
#include "EffectOrdan2.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/object.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <cstring>

EffectOrdan2::~EffectOrdan2() {
    if (sphereEnvTexture) KAVLO_DELETE(sphereEnvTexture);
    if (duckTexture) KAVLO_DELETE(duckTexture);
    if (sphereMaterial) KAVLO_DELETE(sphereMaterial);
    if (duckMaterial) KAVLO_DELETE(duckMaterial);
    if (camera) KAVLO_DELETE(camera);
    if (sphereRest) KAVLO_DELETE(sphereRest);
    // The found objects before their scenes, which do not own them.
    if (sphere) KAVLO_DELETE(sphere);
    if (duck) KAVLO_DELETE(duck);
    if (sphereScene) KAVLO_DELETE(sphereScene);
    if (duckScene) KAVLO_DELETE(duckScene);
}

bool EffectOrdan2::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    sphereScene = KAVLO_NEW(SceneLoad3DS);
    duckScene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(sphereScene, 1, "3ds/insidespherehalf.3ds", "bigsphere");
    LoadScene(duckScene, 1, "3ds/radialduck.3ds", "Box01");

    duckTexture = KAVLO_NEW(TextureImageJPEG, "data/slut512x512.jpg");
    sphereEnvTexture = KAVLO_NEW(TextureImageJPEG, "data/3dmivo.jpg");

    // A missing file or object stops loading like any other effect's missing mesh.
    // Both objects are looked up first: the scenes do not own them, so one left in its
    // scene when the other is missing would outlive the effect.
    duck = duckScene->FindObject("Box01");
    sphere = sphereScene->FindObject("bigsphere");
    duckMaterial = KAVLO_NEW(Material);
    duckMaterial->SetFlag(MaterialTextured);
    duckMaterial->SetFlag(MaterialNoCull);
    duckMaterial->SetFlag(MaterialBlendAdditive);
    duckMaterial->SetTexture(duckTexture);
    if (!duck) return false;
    duck->SetMaterial(duckMaterial);

    sphereMaterial = KAVLO_NEW(Material);
    sphereMaterial->SetFlag(MaterialCullBack);
    sphereMaterial->SetFlag(MaterialEnvMapped);
    sphereMaterial->SetEnvTexture(sphereEnvTexture);
    if (!sphere) return false;
    sphere->SetMaterial(sphereMaterial);
    sphere->ComputeNormals();

    sphereRest = KAVLO_NEW(Object);
    sphereRest->CopyFrom(*sphere);
    IndexRestCoordinates();

    camera = KAVLO_NEW(Camera);
    camera->EnableDepthTest();
    camera->SetViewport(static_cast<float>(width), static_cast<float>(height));
    camera->SetFieldOfView(70);
    camera->SetFarPlane(250000);
    // The fog colour is (64, 88, 106) / 255: the surface sinks into a dark blue-grey.
    camera->SetFog(60, 81, 0.250980406999588f, 0.3450980484485626f, 0.4156862795352936f, 0);
    camera->SetLookAt(0, 0, 2000, 0, 0, 0, 0, 1, 0);
    // One frame with the fan of copies draws everything the window draws.
    WarmUp({startMs + 3000});
    return true;
}

float EffectOrdan2::Angle(unsigned t) {
    return static_cast<float>(static_cast<double>(t) * 0.0006666666666666666);
}

Vector3 EffectOrdan2::Centre(float e) {
    Vector3 v(static_cast<float>(std::sin(e)), static_cast<float>(std::cos(e)),
              static_cast<float>(std::cos(1.2f * e)));
    // Never zero: the first two components alone have length 1.
    v.Normalize();
    v *= 50.0f;
    return v;
}

EffectOrdan2::BoilTerms EffectOrdan2::TermsAt(float e) {
    const long double le = e;
    BoilTerms k;
    k.e14 = 1.4f * le;
    k.e34 = 3.4f * le;
    k.e13 = 1.3f * le;
    k.e12 = 1.2f * e;
    k.e33 = 3.3f * e;
    k.e32 = 3.2f * e;
    k.e74 = 7.4f * e;
    k.e73 = 7.3f * e;
    k.e72 = 7.2f * e;
    return k;
}

EffectOrdan2::AxisWaves EffectOrdan2::WavesX(float p, const BoilTerms& k) {
    const long double px = p;
    return {std::sin(2 * std::sin(0.03506f * px + k.e12) + 0.106f * px + k.e32),
            std::sin(0.46f * px + k.e72)};
}

EffectOrdan2::AxisWaves EffectOrdan2::WavesY(float p, const BoilTerms& k) {
    const long double py = p;
    return {std::sin(2 * std::sin(0.03206f * py + k.e13) + 0.104f * py + k.e33),
            std::sin(0.51f * py + k.e73)};
}

EffectOrdan2::AxisWaves EffectOrdan2::WavesZ(float p, const BoilTerms& k) {
    const long double pz = p;
    return {std::sin(2 * std::sin(0.03106f * pz + k.e14) + 0.103f * pz + k.e34),
            std::sin(0.63f * pz + k.e74)};
}

Vector3 EffectOrdan2::Displace(const Vector3& p, const Vector3& v, const AxisWaves& x,
                               const AxisWaves& y, const AxisWaves& z) {
    const long double px = p.x, py = p.y, pz = p.z;
    const long double w = y.ripple + z.ripple + x.ripple;
    const long double m = 0.3f * (x.wave + y.wave + z.wave) + 1 + 0.031f * w;
    const long double f = std::cos(1.1f * (m - 1));
    return Vector3(static_cast<float>(v.x + (px - v.x) * f), static_cast<float>(v.y + (py - v.y) * f),
                   static_cast<float>(v.z + (pz - v.z) * f));
}

Vector3 EffectOrdan2::BoilVertex(const Vector3& p, const Vector3& v, const BoilTerms& k) {
    return Displace(p, v, WavesX(p.x, k), WavesY(p.y, k), WavesZ(p.z, k));
}

void EffectOrdan2::IndexRestCoordinates() {
    const int n = sphereRest->vertexCount;
    for (int axis = 0; axis < 3; ++axis) {
        AxisValues& a = axis == 0 ? restX : axis == 1 ? restY : restZ;
        auto coordinate = [&](int i) {
            const Vector3& p = sphereRest->vertices[i];
            return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
        };
        auto bits = [](float f) {
            uint32_t b;
            std::memcpy(&b, &f, sizeof b);
            return b;
        };
        std::vector<uint32_t> keys(n);
        for (int i = 0; i < n; ++i) keys[i] = bits(coordinate(i));
        std::vector<uint32_t> distinct = keys;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        a.values.resize(distinct.size());
        for (size_t v = 0; v < distinct.size(); ++v) std::memcpy(&a.values[v], &distinct[v], sizeof(float));
        a.indexOf.resize(n);
        for (int i = 0; i < n; ++i)
            a.indexOf[i] = static_cast<uint32_t>(
                std::lower_bound(distinct.begin(), distinct.end(), keys[i]) - distinct.begin());
        a.waves.resize(distinct.size());
    }
}

float EffectOrdan2::CopyBrightness(unsigned t, unsigned start) {
    const unsigned u = t - start;
    double b = 0.0625;
    if (t < start + 2000) b = u * 0.0005 * 0.0625;
    if (t > start + 7000) b = (1 - (u - 7000) * 0.0005) * 0.0625;
    return static_cast<float>(b);
}

void EffectOrdan2::Boil(unsigned t) {
    const float e = Angle(t);
    const Vector3 centre = Centre(e);
    const BoilTerms terms = TermsAt(e);
    // The same values give the same waves: BoilVertex, with each sine taken once.
    for (size_t v = 0; v < restX.values.size(); ++v) restX.waves[v] = WavesX(restX.values[v], terms);
    for (size_t v = 0; v < restY.values.size(); ++v) restY.waves[v] = WavesY(restY.values[v], terms);
    for (size_t v = 0; v < restZ.values.size(); ++v) restZ.waves[v] = WavesZ(restZ.values[v], terms);
    const int n = std::min(sphere->vertexCount, sphereRest->vertexCount);
    for (int i = 0; i < n; ++i)
        sphere->vertices[i] =
            Displace(sphereRest->vertices[i], centre, restX.waves[restX.indexOf[i]],
                     restY.waves[restY.indexOf[i]], restZ.waves[restZ.indexOf[i]]);
}

void EffectOrdan2::Render(unsigned t, int, bool) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const float e = Angle(t);
    Boil(t);
    sphere->ComputeNormals();

    camera->SetLookAt(1, -2, 21, 0, 0, 0, 0, 0, 1);
    camera->RenderScene(sphereScene);

    // Looking down the z axis with y pointing down the screen.
    camera->SetLookAt(0, 0, 25, 0, 0, 1, 0, -10, 0);
    camera->Begin();
    const int n = sphere->vertexCount;
    const float p = static_cast<float>(
        0.4000000059604645 * std::sin(static_cast<long double>(5.0f * static_cast<long double>(e)) + n) +
        0.6000000238418579);
    const float b = CopyBrightness(t, startMs);
    glColor4f(b, b, b, 1);
    const float g = 0.8f * e;
    // From 9 s on the copies' colour is zero or below and GL clamps it to black: added
    // on, they change no pixel, so they are not drawn at all (the fan costs most of the
    // frame on a software renderer).
    const int copies = b > 0 ? kCopyCount : 0;
    for (int j = 0; j < copies; ++j) {
        const float q = j * p;
        duck->SetScale(static_cast<float>(0.05000000074505806 * std::cos(0.15f * q + g) +
                                          0.15000000596046448));
        duck->SetRotation(-90, static_cast<float>(30.0 * std::sin(0.05f * q + double(e))), 0);
        duck->Render();
    }
    camera->End();
    glColor4f(1, 1, 1, 1);
}
