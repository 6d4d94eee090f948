// The torus effect: one blob pulsating along its vertex directions and twisted by the
// vortex deformer, textured and environment-mapped in front of a background picture.
#pragma once

#include "Effect.h"

class Camera;
class Material;
class Object;
class ObjectVortex;
class SceneLoad3DS;
class Texture;

class EffectTorus : public Effect {
public:
    // At exactly startMs + 1000 and endMs - 1000 it is None: no background is drawn
    // and the camera keeps the previous frame's look-at.
    enum Phase { FadeIn, Main, FadeOut, None };

    // What moves from frame to frame, as the show starts: the look-at is kept through
    // the frames on a phase boundary, and the first sync seen in the main phase moves
    // the main phase's eye to x = 500 for good. Should the first frame fall on a
    // boundary, it gets the view the fade-in ends with rather than a degenerate one.
    struct State {
        float eyeX = 1000.0f;     // the eye's x in the main phase
        float lookEyeX = 1000.0f;  // the look-at: eye (x, 1000, 50), target (0, 0, z)
        float lookTargetZ = 500.0f;
    };
    State state;

    EffectTorus() = default;
    ~EffectTorus() override;

    // Loads the textures, "Blob01" of "3ds/blob.3ds" with its vortex copy, the camera
    // and the background. False when the blob is not in the scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Pulsates and twists the blob, clears depth (and colour in the fade-out), draws
    // the background by phase and the blob over it. Leaves depth test and blend off,
    // culling off, the camera's projection and viewport, and the current colour white
    // with the fade's alpha after a fade frame.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    void ResetState() override { state = State(); }
    // The camera's aim.
    void StepState(unsigned timeMs, int, bool sync) override { AimCamera(timeMs, sync); }
    std::vector<unsigned> PhaseEdges() const override;

    Phase PhaseAt(unsigned timeMs) const;
    // Rewrites the vortex's rest shape from the blob's untouched vertices for time t.
    void Pulsate(unsigned timeMs);
    // Sets the look-at for this frame; a sync counts only in the main phase.
    void AimCamera(unsigned timeMs, bool sync);

    const Camera* GetCamera() const { return camera; }
    const ObjectVortex* GetVortex() const { return vortex; }
    const Object* GetBlob() const { return blob; }

private:
    Camera* camera = nullptr;
    Texture* background = nullptr;
    Texture* flareTexture = nullptr;
    Texture* blobTexture = nullptr;
    Material* material = nullptr;
    SceneLoad3DS* scene = nullptr;
    ObjectVortex* vortex = nullptr;
    Object* blob = nullptr;  // found in scene; deleted by this effect before the scene
};
