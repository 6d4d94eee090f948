// The third effect: one environment-mapped mesh twisted by the vortex deformer, seen
// by a swinging camera in front of a background picture.
#pragma once

#include "Effect.h"
#include "code3d/Vector3.h"

class Camera;
class Material;
class ObjectVortex;
class SceneLoad3DS;
class Texture;

class EffectVortexC : public Effect {
public:
    static constexpr float kRestCameraZ = -200.0f;

    // What moves from frame to frame, as the show starts.
    struct State {
        float cameraZ = kRestCameraZ;  // the camera's eye z
        Vector3 twist;  // what the next main frame deforms with; the deformer's own at first
    };
    State state;

    EffectVortexC() = default;
    ~EffectVortexC() override;

    // Loads "Cylinder05" and makes the deformable copy that is drawn; false when the
    // mesh is not in the scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // First second: background added, nothing cleared. Then clears colour and depth;
    // the last second shows only the fading background. Leaves depth test off, the
    // modelview matrix current.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    void ResetState() override { state = State(); }
    // After the first second the camera's kick; in the main phase also the twist for
    // the next frame's shape.
    void StepState(unsigned timeMs, int deltaMs, bool sync) override;
    std::vector<unsigned> PhaseEdges() const override;

    bool InFadeIn(unsigned timeMs) const { return timeMs <= startMs + 1000; }
    bool InFadeOut(unsigned timeMs) const { return timeMs >= endMs - 1000; }
    // A sync pulls the camera to 0 and the same frame's step puts it at -10; without
    // one it backs off 10 units a frame until it rests at -200.
    void KickCamera(bool sync);

    ObjectVortex* Vortex() const { return vortex; }

private:
    SceneLoad3DS* scene = nullptr;
    ObjectVortex* vortex = nullptr;
    Camera* camera = nullptr;
    Material* material = nullptr;
    Texture* background = nullptr;
    Texture* hairTexture = nullptr;
    Texture* flareTexture = nullptr;
};
