// The hexagon overlay: a band of two hexagon pictures scrolling right to left over the
// lower part of the screen, drawn through an inverted alpha test.
#pragma once

#include "Effect.h"
#include "code3d/Vector3.h"

class Texture;

class EffectSekskanter : public Effect {
public:
    EffectSekskanter() = default;
    ~EffectSekskanter() override;

    // Loads the picture; never fails.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Draws only where the modulated texel alpha is below 0.5; no clear, no blending,
    // no colour change. Leaves the alpha function GL_LESS 0.5 with the test off.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    void ResetState() override { state = State(); }
    // The scroll, drawn where it leaves the copies.
    void StepState(unsigned timeMs, int deltaMs, bool) override { Scroll(timeMs, deltaMs); }

    // Steps 1 to 3 of a frame: the wrap test (only before endMs - 5000, strict at -2)
    // and then the move by a third of the screen width per second.
    void Scroll(unsigned timeMs, int deltaMs);

    // What moves from frame to frame: both copies start off-screen to the right.
    struct State {
        Vector3 stripA {2.0f, -0.75f, -1.0f};  // position of the first copy
        Vector3 stripB {4.0f, -0.75f, -1.0f};  // the second, one screen width behind
    };
    State state;

private:
    Texture* hexTexture = nullptr;
};
