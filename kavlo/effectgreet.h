// The greetings overlay: a picture laid over the main effect for ten seconds, bouncing
// in from the right and out again.
#pragma once

#include "Effect.h"

class Texture;

class EffectGreet : public Effect {
public:
    EffectGreet() = default;
    ~EffectGreet() override;

    // Loads "data/greet.tga"; false only when no texture object could be made.
    bool Init(int width, int height, unsigned startMs, unsigned endMs) override;

    // Draws the picture where its alpha is above 0.1, replacing what is below; no
    // clear, no blending, depth state as the effect before left it. Leaves the alpha
    // test off with the function GL_GREATER 0.1.
    void Render(unsigned timeMs, int deltaMs, bool sync) override;

    // The slide amount: 1 at the window's edges, 0 from startMs + 2000 to endMs - 2000.
    float FadeAt(unsigned timeMs) const;
    // The picture's shift to the right, |sin(fade * 10.99)|: three and a half bounces.
    float SlideAt(unsigned timeMs) const;

private:
    Texture* greetTexture = nullptr;
};
