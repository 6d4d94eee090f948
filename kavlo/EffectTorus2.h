// The second torus effect: ten wobbling tori fly out of white fog towards the eye, one
// after another, from two deformed copies of one mesh, over a background picture.
#pragma once

#include "Effect.h"

class Camera;
class Material;
class Object;
class SceneLoad3DS;
class Texture;

class EffectTorus2 : public Effect {
public:
    // Fade-in up to startMs + 1000 inclusive, fade-out after endMs - 1000; at exactly
    // endMs - 1000 it is None: no background and no colour clear.
    enum Phase { FadeIn, Main, FadeOut, None };

    static constexpr int kTorusCount = 10;
    // The ring's length: a torus that passed the eye re-enters this much further away.
    static constexpr float kRingLength = 4000.0f;

    EffectTorus2() = default;
    ~EffectTorus2() override;

    // Loads the textures, "Torus01" of "3ds/torus.3ds" and its two copies, the materials,
    // the fogged camera and the background. False when the torus is not in the scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Reshapes both copies, draws the background by phase, clears depth and flies the
    // ten tori by deltaMs. Leaves depth test, fog, blend and culling off, the camera's
    // projection and viewport. The sync flag changes nothing.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    void ResetState() override { state = State(); }
    // The flight of the ten tori.
    void StepState(unsigned timeMs, int deltaMs, bool sync) override;
    std::vector<unsigned> PhaseEdges() const override;

    Phase PhaseAt(unsigned timeMs) const;
    // Rewrites both copies' vertices from the untouched torus for time t.
    void Deform(unsigned timeMs);
    // Moves one torus by `step` towards the eye. Returns the depth to draw it at this
    // frame; a torus beyond the eye is sent back by one ring length afterwards, at most
    // once per frame.
    static float Fly(float& depth, float step);
    // The flight step of a frame: 0.5 units per millisecond.
    static float Step(int deltaMs) { return static_cast<float>(deltaMs * 0.5); }

    // What moves from frame to frame: the ten depths, 400 apart from -2000 as the show
    // starts, and where the last step drew each (before a pass of the eye sent it back).
    struct State {
        State();
        float depths[kTorusCount];
        float drawnAt[kTorusCount];
    };
    State state;

    const Camera* GetCamera() const { return camera; }
    const Object* CopyA() const { return copyA; }
    const Object* CopyB() const { return copyB; }
    const Object* GetTorus() const { return torus; }

private:
    Camera* camera = nullptr;
    Texture* background = nullptr;
    Texture* textureA = nullptr;
    Texture* textureB = nullptr;
    Texture* flareTexture = nullptr;
    Object* copyA = nullptr;
    Object* copyB = nullptr;
    Object* torus = nullptr;  // found in scene; deleted by this effect before the scene
    Material* materialA = nullptr;
    Material* materialB = nullptr;
    SceneLoad3DS* scene = nullptr;
};
