// The hexagon overlay: its opaque shapes become windows onto the effect below.
#include "EffectSekskanter.h"

#include "code3d/TextureImageTGA.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>

EffectSekskanter::~EffectSekskanter() {
    if (hexTexture) KAVLO_DELETE(hexTexture);
}

bool EffectSekskanter::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    hexTexture = KAVLO_NEW(TextureImageTGA, "data/sexkanter.tga");
    // A zero frame step leaves the band where it is.
    WarmUp({startMs + 3000});
    return true;
}

void EffectSekskanter::Scroll(unsigned t, int dt) {
    // The frame step counts as unsigned here, as it always has.
    const float step = static_cast<float>(static_cast<double>(static_cast<unsigned>(dt)) *
                                          static_cast<double>(0.00066666666f));
    // Only matters after a long stall: a copy past -2 rejoins right behind the other.
    Vector3& stripA = state.stripA;
    Vector3& stripB = state.stripB;
    if (t < endMs - 5000) {
        if (stripA.x < -2.0f) stripA.x = 2.0f;
        if (stripB.x < -2.0f) stripB.x = 2.0f;
    }
    stripA.x -= step;
    stripB.x -= step;
}

void EffectSekskanter::Render(unsigned t, int dt, bool sync) {
    StepState(t, dt, sync);
    glAlphaFunc(GL_LESS, 0.5f);
    glEnable(GL_ALPHA_TEST);
    for (const Vector3& at : {state.stripA, state.stripB})
        hexTexture->DrawAt(at.x, at.y, at.z, width, height);
    glDisable(GL_ALPHA_TEST);
}
