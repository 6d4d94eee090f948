// The beam effect: a 20 x 4 grid of stretched, rocking copies of one textured sphere in
// black fog, with a background picture added on top that fades in and out alone.
#pragma once

#include "Effect.h"

class Camera;
class Material;
class Object;
class SceneLoad3DS;
class Texture;

class EffectBeam : public Effect {
public:
    // Which drawing a frame does. At exactly startMs + 1000 and endMs - 1000 it is None:
    // nothing is drawn at all.
    enum Phase { FadeIn, Main, FadeOut, None };

    static constexpr int kColumns = 20;
    static constexpr int kRows = 4;

    EffectBeam() = default;
    ~EffectBeam() override;

    // Loads "Sphere01" of "3ds/beam2.3ds" with its texture, the camera, the background
    // and the sphere's display list. False when the sphere is not in the scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Main phase: clears colour and depth, draws the grid between the camera's Begin
    // and End, then adds the background (blend GL_ONE / GL_ONE, switched off again).
    // Fade-in: adds the background over the frame without clearing. Fade-out: clears,
    // then adds the background. Leaves depth test, fog, blend and culling off, the
    // screen quad's projection and viewport, the model-view matrix at identity. The
    // sync flag and deltaMs change nothing.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    std::vector<unsigned> PhaseEdges() const override;

    Phase PhaseAt(unsigned timeMs) const;
    // The animation angle t / 1500, in single precision as the picture was tuned.
    static float Angle(unsigned timeMs);

    const Camera* GetCamera() const { return camera; }
    unsigned DisplayList() const { return displayList; }

private:
    void DrawGrid(float angle);

    Camera* camera = nullptr;
    Object* sphere = nullptr;  // found in scene; deleted by this effect before the scene
    Texture* background = nullptr;
    Texture* sphereTexture = nullptr;
    Material* material = nullptr;
    SceneLoad3DS* scene = nullptr;
    unsigned displayList = 0;
};
