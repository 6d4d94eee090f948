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

    // Places both copies off-screen to the right and loads the picture; never fails.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Draws only where the modulated texel alpha is below 0.5; no clear, no blending,
    // no colour change. Leaves the alpha function GL_LESS 0.5 with the test off.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;
    // The two copies' positions.
    void ResetState() override;
    void StepState(unsigned timeMs, int deltaMs, bool sync) override;

    // Steps 1 to 3 of a frame: the wrap test (only before endMs - 5000, strict at -2)
    // and then the move by a third of the screen width per second.
    void Scroll(unsigned timeMs, int deltaMs);

    Vector3 stripA;  // position of the first copy
    Vector3 stripB;  // position of the second copy, one screen width behind

private:
    Texture* hexTexture = nullptr;
};
