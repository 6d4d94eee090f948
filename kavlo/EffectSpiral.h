// The opening effect: a background picture faded in and out, a stream of flare
// sprites on two intertwined wave paths, and the credits rising and sinking again.
#pragma once

#include "Effect.h"

class Texture;

class EffectSpiral : public Effect {
public:
    enum Phase { FadeIn, Main, FadeOut };
    static constexpr int kFlareCount = 30;

    // What moves from frame to frame, as the show starts.
    struct State {
        State();
        float creditsY = -2.0f;    // the credits' offset; -2 is wholly below the screen
        float flareX[kFlareCount];  // half a unit apart from 0
    };
    State state;

    EffectSpiral() = default;
    ~EffectSpiral() override;

    // Creates background, credits and flare pictures. Missing pictures leave empty
    // textures; never fails.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Clears colour and depth. After a main-phase frame: blend and alpha test off, alpha
    // function GL_GREATER 0.5, blend function GL_SRC_ALPHA / GL_ONE, colour
    // (1, 1, 1, 0.75). After a fade-out frame blending is still on. After a fade-in
    // frame the colour is (1, 1, 1, alpha) and blending off. The flares are drawn where
    // the frame finds them, the credits where its step leaves them.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    void ResetState() override { state = State(); }
    // The credits rise and fall in the main phase; the flares drift from the first
    // second on, wrapping round but in the last second.
    void StepState(unsigned timeMs, int deltaMs, bool sync) override;
    std::vector<unsigned> PhaseEdges() const override;

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

private:
    void DrawFlares(unsigned timeMs);

    Texture* background = nullptr;
    Texture* credits = nullptr;
    Texture* flare = nullptr;
};
