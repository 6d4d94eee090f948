// The second effect: 32 faint, turning copies of a textured sphere added along the
// viewing axis over a background picture, with a camera kicked back on sync.
#pragma once

#include "Effect.h"

class Camera;
class Material;
class Object;
class SceneLoad3DS;
class Texture;

class EffectFeedback : public Effect {
public:
    static constexpr int kCopyCount = 32;
    static constexpr float kRestCameraZ = -50.0f;
    static constexpr int kMaxSkip = 14;

    // What moves from frame to frame, as the show starts.
    struct State {
        float cameraZ = kRestCameraZ;  // the camera's eye z
        int skipCount = kMaxSkip;      // how many of the nearest copies are left out
    };
    State state;

    EffectFeedback() = default;
    ~EffectFeedback() override;

    // Loads "Sphere01" and its pictures; false when the sphere is not in the scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // In the first second only adds the background; after that clears the colour
    // buffer (never depth) and draws. Leaves blending off, colour (1, 1, 1, 1), depth
    // test off.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    void ResetState() override { state = State(); }
    // After the first second: the camera's kick and the copy count.
    void StepState(unsigned timeMs, int deltaMs, bool sync) override;
    std::vector<unsigned> PhaseEdges() const override;

    bool InFadeIn(unsigned timeMs) const { return timeMs <= startMs + 1000; }
    bool InFadeOut(unsigned timeMs) const { return timeMs > endMs - 1000; }
    // A sync throws the camera back to -150 and the same frame's step brings it to
    // -140; without one it glides forward 10 units a frame until it rests at -50.
    void KickCamera(bool sync);
    // One more near copy per frame until all are drawn; in the last second one fewer
    // per frame until 18 remain.
    void StepSkipCount(bool fadingOut);

    Object* Sphere() const { return sphere; }
    const float* Depths() const { return depths; }

private:
    SceneLoad3DS* scene = nullptr;
    Camera* camera = nullptr;
    Object* sphere = nullptr;
    Texture* background = nullptr;
    Texture* sphereTexture = nullptr;
    Material* material = nullptr;
    float* depths = nullptr;  // kCopyCount z positions, 30 apart
};
