// The closing effect: the inside of a half sphere whose surface boils around a
// wandering centre, with a fan of sixteen additive copies of a second mesh glowing in
// front of it for the first nine seconds.
#pragma once

#include "Effect.h"
#include "code3d/Vector3.h"

#include <cstdint>
#include <vector>

class Camera;
class Material;
class Object;
class SceneLoad3DS;
class Texture;

class EffectOrdan2 : public Effect {
public:
    static constexpr int kCopyCount = 16;

    // The per-frame terms of the boiling surface for one time e (t / 1500, single
    // precision). Three products stay in extended precision, the rest are rounded.
    struct BoilTerms {
        long double e14, e34, e13;
        float e12, e33, e32, e74, e73, e72;
    };

    EffectOrdan2() = default;
    ~EffectOrdan2() override;

    // Loads "bigsphere" of "3ds/insidespherehalf.3ds" and "Box01" of
    // "3ds/radialduck.3ds", their textures and materials, the sphere's rest copy and the
    // fogged camera. False when either object is not in its scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Clears colour and depth, boils the sphere and draws it through its scene, then
    // the sixteen additive copies. Leaves depth test, fog, blend, culling and texture
    // generation off, depth writes on, the current colour (1, 1, 1, 1), the camera's
    // projection and viewport. deltaMs and the sync flag change nothing.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;

    // t / 1500, rounded to single precision.
    static float Angle(unsigned timeMs);
    // The point the surface moves about: on a sphere of radius 50.
    static Vector3 Centre(float e);
    static BoilTerms TermsAt(float e);
    // Where the rest vertex p lies this frame: on the line through the centre, scaled
    // about it by a factor between about -0.6 and 1.
    static Vector3 BoilVertex(const Vector3& p, const Vector3& centre, const BoilTerms& terms);
    // The waves of one coordinate: its term of the sum X + Y + Z and its sine in W.
    struct AxisWaves {
        long double wave, ripple;
    };
    static AxisWaves WavesX(float px, const BoilTerms& k);
    static AxisWaves WavesY(float py, const BoilTerms& k);
    static AxisWaves WavesZ(float pz, const BoilTerms& k);
    // BoilVertex from the waves of p's three coordinates.
    static Vector3 Displace(const Vector3& p, const Vector3& centre, const AxisWaves& x,
                            const AxisWaves& y, const AxisWaves& z);
    // Each copy's colour: rising over the first 2 s, 1/16 until 7 s, falling to 0 at
    // 9 s and negative after (which OpenGL clamps to black).
    static float CopyBrightness(unsigned timeMs, unsigned startMs);
    // Rewrites the sphere's vertices from its rest copy for time t.
    void Boil(unsigned timeMs);

    const Camera* GetCamera() const { return camera; }
    const Object* GetSphere() const { return sphere; }
    const Object* GetSphereRest() const { return sphereRest; }
    const Object* GetCopyMesh() const { return duck; }

private:
    Texture* sphereEnvTexture = nullptr;
    Texture* duckTexture = nullptr;
    Material* sphereMaterial = nullptr;
    Material* duckMaterial = nullptr;
    SceneLoad3DS* sphereScene = nullptr;
    SceneLoad3DS* duckScene = nullptr;
    Camera* camera = nullptr;
    Object* sphereRest = nullptr;
    Object* sphere = nullptr;  // found in sphereScene; deleted before that scene
    Object* duck = nullptr;    // found in duckScene; deleted before that scene

    // The rest shape's coordinates repeat (a ring shares its z, mirrored slices their x
    // and y): each axis's waves are taken once per distinct value (bit pattern) a frame.
    struct AxisValues {
        std::vector<float> values;
        std::vector<uint32_t> indexOf;  // per vertex
        std::vector<AxisWaves> waves;   // per value, this frame
    };
    void IndexRestCoordinates();
    AxisValues restX, restY, restZ;
};
