// The Ordan effect: one box-shaped mesh writhing under the vortex deformer, textured
// and environment-mapped, with the camera swinging round it over a background picture.
#pragma once

#include "Effect.h"

class Camera;
class Material;
class Object;
class ObjectVortex;
class SceneLoad3DS;
class Texture;

class EffectOrdan : public Effect {
public:
    // Fade-in up to startMs + 1000 inclusive, fade-out after endMs - 1000; at exactly
    // endMs - 1000 it is None: no background and no colour clear.
    enum Phase { FadeIn, Main, FadeOut, None };

    EffectOrdan() = default;
    ~EffectOrdan() override;

    // Loads "Box02" of "3ds/underligmiddle.3ds" and its vortex copy, the three
    // textures, the material and the camera. False when the box is not in the scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Clears depth only (and colour in the fade-out), draws the background by phase,
    // twists the box and draws it. Leaves depth test, blend and culling off, the
    // camera's projection and viewport, and the current colour white with the fade's
    // alpha after a fade frame. deltaMs and the sync flag change nothing.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    std::vector<unsigned> PhaseEdges() const override;

    Phase PhaseAt(unsigned timeMs) const;
    // Sets the vortex's twist and the camera for time t.
    void Animate(unsigned timeMs);

    const Camera* GetCamera() const { return camera; }
    const ObjectVortex* GetVortex() const { return vortex; }

private:
    Texture* background = nullptr;
    Texture* boxTexture = nullptr;
    Texture* flareTexture = nullptr;
    Material* material = nullptr;
    SceneLoad3DS* scene = nullptr;
    Camera* camera = nullptr;
    ObjectVortex* vortex = nullptr;
    Object* box = nullptr;  // found in scene; deleted by this effect before the scene
};
