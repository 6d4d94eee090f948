// The fourth effect: a scene of three cylinders drawn into up to 300 stacked bands (two
// rows each at 600 rows), each from a camera a little further round the z axis, so the
// stack looks twisted.
#pragma once

#include "Effect.h"
#include "code3d/object.h"

#include <GL/gl.h>

#include <vector>

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
    static constexpr float kFieldOfView = 45.0f;

    // What moves from frame to frame, as the show starts.
    struct State {
        int sliceCount = 10;    // bands drawn; grows in the first seconds, may go below 0
        int sliceDivisor = 0;   // BandCount, set by the first main-phase frame
        float orbitRadius = kRestOrbitRadius;  // the camera's base distance from the z axis
    };
    State state;

    EffectTwister() = default;
    ~EffectTwister() override;

    // Loads the three cylinders and compiles the whole scene into a display list; false
    // when one of them is not in the scene.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Before startMs + 1000 the background is added, nothing cleared; at exactly
    // startMs + 1000 nothing is drawn. Afterwards clears depth only. Leaves scissor and
    // depth test off, the modelview matrix current.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    void ResetState() override { state = State(); }
    // After the first second: the band count, its divisor and the camera's pull, all
    // before the bands are drawn.
    void StepState(unsigned timeMs, int deltaMs, bool sync) override;
    // Its window, the end of its fade-in and the start of the bands' withdrawal.
    std::vector<unsigned> PhaseEdges() const override;

    // Bands of a full twist: height / 2, at most 300.
    static int BandCount(int height);
    // The band count's growth (first three seconds, up to BandCount and overshooting
    // by less than a step) and shrink (last three seconds); trunc(dt * 0.2) a frame.
    void UpdateSliceCount(unsigned timeMs, int deltaMs);
    // A sync pulls the camera in to 300 and the same frame's step puts it at 310;
    // without one it drifts back 10 units a frame until it rests at 400.
    void PullCamera(bool sync);
    // Camera angle between neighbouring bands, from the frame's angle; the bands of a
    // full twist turn by 4 sin(angle) together at every height.
    static float BandStep(float angle, int height);
    // Bottom row of band i (1 is the top band); below 0 for bands past the screen.
    static int BandY(int height, int divisor, int i);

    GLuint DisplayList() const { return displayList; }

    // Where a band is on the screen and where its camera stands, for leaving out the
    // faces that cannot reach it.
    struct BandView {
        double eyeZ;              // the eye's height; it looks horizontally at the z axis
        double distance;          // from the z axis
        double towardsX, towardsY;  // unit vector from the axis to the eye
        double focal;             // cot(fov / 2)
        double low, high;         // the band's rows with a margin, as -1 .. 1 of the screen
    };
    // Faces (or runs of faces) as a band sees them: their z range and a circle round
    // the z axis that holds their x and y.
    struct FaceBounds {
        float zLow, zHigh, centreX, centreY, radius;
    };
    static BandView ViewOfBand(float eyeX, float eyeY, float eyeZ, double fovDegrees,
                               int bandY, int bandHeight, int height);
    // False only when no point within the bounds projects into the band's rows: such
    // faces cannot draw a pixel through the band's scissor box.
    static bool MayReachBand(const FaceBounds& bounds, const BandView& view);

    // Bands draw only the faces that may reach them (the picture is the same as from
    // the display list); off, every band replays the whole list. On after Init where
    // the scene allows it (untransformed cylinders, faces in range).
    void SetBandCulling(bool on) { bandCulling = on && !cylinderFaces.empty(); }
    bool BandCulling() const { return bandCulling; }

private:
    // One cylinder's faces, their bounds (singly and in runs of kRunFaces), and the
    // faces of the band being drawn.
    struct CylinderFaces {
        Object* object = nullptr;
        Face* faces = nullptr;
        int faceCount = 0;
        std::vector<FaceBounds> faceBounds, runBounds;
        std::vector<Face> band;
    };
    static constexpr int kRunFaces = 16;

    static void SortVerticesByHeight(Object* object);
    void PrepareBandCulling();
    void DrawBand(const BandView& view);

    std::vector<CylinderFaces> cylinderFaces;
    bool bandCulling = false;
    GLuint displayList = 0;
    SceneLoad3DS* scene = nullptr;
    Material* materials[3] = {nullptr, nullptr, nullptr};
    Texture* background = nullptr;
    Texture* textures[3] = {nullptr, nullptr, nullptr};
    Texture* flareTexture = nullptr;
    Camera* camera = nullptr;
};
