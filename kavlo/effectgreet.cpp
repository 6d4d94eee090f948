// The greetings overlay: the picture bounces in, stands centred, and bounces out.
#include "effectgreet.h"

#include "code3d/TextureImageTGA.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <cmath>

EffectGreet::~EffectGreet() {
    if (greetTexture) KAVLO_DELETE(greetTexture);
}

bool EffectGreet::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    // A missing or unreadable file still gives an (empty) texture object.
    greetTexture = KAVLO_NEW(TextureImageTGA, "data/greet.tga");
    if (!greetTexture) return false;
    WarmUp({startMs + 3000});
    return true;
}

float EffectGreet::FadeAt(unsigned t) const {
    const long double factor = 0.0005f;
    float fade = 0.0f;
    if (t < startMs + 2000) fade = static_cast<float>(1.0L - (t - startMs) * factor);
    // The slide-out wins where both halves overlap (windows under four seconds).
    if (t > endMs - 2000) fade = static_cast<float>(1.0L - (endMs - t) * factor);
    return fade;
}

float EffectGreet::SlideAt(unsigned t) const {
    return static_cast<float>(std::fabs(std::sin(FadeAt(t) * 10.99)));
}

void EffectGreet::Render(unsigned t, int, bool) {
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.1f);
    greetTexture->DrawAt(SlideAt(t), 0.0f, -1.0f, width, height);
    glDisable(GL_ALPHA_TEST);
}
