// The opening effect: a background picture faded in and out, a stream of flare
// sprites on two intertwined wave paths, and the credits rising and sinking again.
#pragma once

#include "Effect.h"

class Texture;
class Vector3;

class EffectSpiral : public Effect {
public:
    enum Phase { FadeIn, Main, FadeOut };
    static constexpr int kFlareCount = 30;

    // Vertical offset of the credits picture: one per program, kept across frames and
    // never reset by Init. -2 puts the picture wholly below the screen.
    static float creditsY;

    EffectSpiral() = default;
    ~EffectSpiral() override;

    // Creates background, credits and flare pictures and the flare positions. Missing
    // pictures leave empty textures; never fails.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Clears colour and depth. After a main-phase frame: blend and alpha test off, alpha
    // function GL_GREATER 0.5, blend function GL_SRC_ALPHA / GL_ONE, colour
    // (1, 1, 1, 0.75). After a fade-out frame blending is still on. After a fade-in
    // frame the colour is (1, 1, 1, alpha) and blending off.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    // The credits' height and the flares' positions.
    void ResetState() override;
    void StepState(unsigned timeMs, int deltaMs, bool sync) override;

    // Fade-in up to startMs + 1000 inclusive, fade-out after endMs - 1000.
    Phase PhaseAt(unsigned timeMs) const;
    // The background's fade alpha after `elapsedMs`; above 1 it saturates on screen.
    static float FadeAlpha(unsigned elapsedMs);
    // How far every flare moves left this frame: nothing in the first 100 ms.
    static float Drift(unsigned timeMs, int deltaMs);
    // One main-phase frame of the credits' rise (first 4 s) and fall (last 4 s); each
    // stops at the first frame that reaches its end, overshooting by at most a step.
    void MoveCredits(unsigned timeMs, int deltaMs);
    // A flare's x after moving by drift; with `wrap`, one that left past -5 re-enters
    // at 5 on the right.
    static float MoveFlare(float x, float drift, bool wrap);

    Vector3* FlarePositions() const { return flarePositions; }

private:
    void PlaceFlares();
    void DrawFlares(unsigned timeMs, int deltaMs, bool wrap);

    Texture* background = nullptr;
    Texture* credits = nullptr;
    Texture* flare = nullptr;
    Vector3* flarePositions = nullptr;  // only x is used
};
