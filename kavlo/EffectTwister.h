// The fourth effect: a scene of three cylinders drawn into up to 300 stacked bands (two
// rows each at 600 rows), each from a camera a little further round the z axis, so the
// stack looks twisted.
#pragma once

#include "Effect.h"

#include <GL/gl.h>

class Camera;
class Material;
class SceneLoad3DS;
class Texture;

class EffectTwister : public Effect {
public:
    static constexpr float kRestOrbitRadius = 400.0f;
    // The twist was made for a 600-row picture: taller pictures keep its 300 bands and
    // their angles, with each band taller, rather than drawing more, thinner bands.
    static constexpr int kDesignHeight = 600;

    // Run-long values: one per program, kept across frames and never reset by Init.
    static int sliceCount;     // bands drawn; grows in the first seconds, may go below 0
    static int sliceDivisor;   // BandCount, set by the first main-phase frame (0 before)
    static float orbitRadius;  // the camera's base distance from the z axis

    EffectTwister() = default;
    ~EffectTwister() override;

    // Loads the three cylinders and compiles the whole scene into a display list; false
    // when one of them is not in the scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Before startMs + 1000 the background is added, nothing cleared; at exactly
    // startMs + 1000 nothing is drawn. Afterwards clears depth only. Leaves scissor and
    // depth test off, the modelview matrix current.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;

    // Bands of a full twist: height / 2, at most 300.
    static int BandCount(int height);
    // The band count's growth (first three seconds, up to BandCount and overshooting
    // by less than a step) and shrink (last three seconds); trunc(dt * 0.2) a frame.
    void UpdateSliceCount(unsigned timeMs, int deltaMs);
    // A sync pulls the camera in to 300 and the same frame's step puts it at 310;
    // without one it drifts back 10 units a frame until it rests at 400.
    static void PullCamera(bool sync);
    // Camera angle between neighbouring bands, from the frame's angle; the bands of a
    // full twist turn by 4 sin(angle) together at every height.
    static float BandStep(float angle, int height);
    // Bottom row of band i (1 is the top band); below 0 for bands past the screen.
    static int BandY(int height, int divisor, int i);

    GLuint DisplayList() const { return displayList; }

private:
    GLuint displayList = 0;
    SceneLoad3DS* scene = nullptr;
    Material* materials[3] = {nullptr, nullptr, nullptr};
    Texture* background = nullptr;
    Texture* textures[3] = {nullptr, nullptr, nullptr};
    Texture* flareTexture = nullptr;
    Camera* camera = nullptr;
};
