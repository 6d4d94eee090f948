// The opening effect: fading background, drifting flares and the credits picture.
#include "EffectSpiral.h"

#include "code3d/TextureImageJPEG.h"
#include "code3d/TextureImageTGA.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <cmath>

namespace {
// t / 1500: the credits move 2/3 of a unit per second and the wave phases turn with it.
const double kPerMs1500 = 0.0006666666666666666;
}  // namespace

EffectSpiral::State::State() {
    for (int i = 0; i < kFlareCount; ++i) flareX[i] = i * 0.5f;
}

EffectSpiral::~EffectSpiral() {
    if (background) KAVLO_DELETE(background);
    if (credits) KAVLO_DELETE(credits);
    if (flare) KAVLO_DELETE(flare);
}

bool EffectSpiral::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    background = KAVLO_NEW(TextureImageJPEG, "data/spiral_back.jpg");
    credits = KAVLO_NEW(TextureImageTGA, "data/credits.tga");
    flare = KAVLO_NEW(TextureImageJPEG, "data/start_flare.jpg");
    WarmUp({startMs + 500, startMs + 5000, endMs - 500});
    return true;
}

void EffectSpiral::StepState(unsigned t, int dt, bool) {
    const Phase phase = PhaseAt(t);
    if (phase == FadeIn) return;
    if (phase == Main) MoveCredits(t, dt);
    const float drift = Drift(t, dt);
    for (float& x : state.flareX) x = MoveFlare(x, drift, phase == Main);
}

std::vector<unsigned> EffectSpiral::PhaseEdges() const {
    return {startMs, startMs + 1000, endMs - 1000, endMs};
}

EffectSpiral::Phase EffectSpiral::PhaseAt(unsigned t) const {
    if (t <= startMs + 1000) return FadeIn;
    if (t > endMs - 1000) return FadeOut;
    return Main;
}

float EffectSpiral::FadeAlpha(unsigned elapsedMs) {
    return static_cast<float>(static_cast<double>(elapsedMs) * static_cast<double>(0.002f));
}

float EffectSpiral::Drift(unsigned t, int dt) {
    if (t <= 100) return 0.0f;
    // The frame step counts as unsigned here, as it always has.
    const unsigned steps = static_cast<unsigned>(dt);
    return static_cast<float>(static_cast<double>(steps) * static_cast<double>(0.01f));
}

void EffectSpiral::MoveCredits(unsigned t, int dt) {
    float& y = state.creditsY;
    if (t <= startMs + 4000 && y < -0.5f) y = static_cast<float>(y + dt * kPerMs1500);
    if (t > endMs - 4000 && y > -2.0f) y = static_cast<float>(y - dt * kPerMs1500);
}

float EffectSpiral::MoveFlare(float x, float drift, bool wrap) {
    x -= drift;
    if (wrap && x < -5.0f) x = 5.0f;
    return x;
}

// Each flare is drawn twice, on paths whose phases swap sine and cosine.
void EffectSpiral::DrawFlares(unsigned t) {
    const float e = static_cast<float>(t * kPerMs1500);
    const float a = 2.0f * e;
    const float b = 0.5f * e;
    for (int i = 0; i < kFlareCount; ++i) {
        const float xi = state.flareX[i];
        const float pa = a + static_cast<float>(i);
        const float pb = b + static_cast<float>(i);
        const long double lpa = pa, lpb = pb;
        flare->DrawAt(xi, static_cast<float>(std::cos(lpa)),
                      static_cast<float>(std::sin(lpb) - 4.0L), width, height);
        flare->DrawAt(xi, static_cast<float>(std::cos(lpb)),
                      static_cast<float>(std::sin(lpa) - 4.0L), width, height);
    }
}

void EffectSpiral::Render(unsigned t, int dt, bool sync) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    const Phase phase = PhaseAt(t);
    if (phase == FadeIn) {
        background->DrawScreenBlended(width, height, 0.0f, FadeAlpha(t - startMs));
    } else {
        if (phase == Main)
            background->DrawScreen(width, height, 0.0f);
        else
            background->DrawScreenBlended(width, height, 0.0f, FadeAlpha(endMs - t));
        glEnable(GL_BLEND);
        glColor4f(1.0f, 1.0f, 1.0f, 0.75f);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        DrawFlares(t);
    }
    StepState(t, dt, sync);
    // The last second lets the flares drift off without re-entering and has no credits;
    // blending stays on for the effects drawn after it.
    if (phase != Main) return;

    glDisable(GL_BLEND);
    // The colour still scales texel alpha by 0.75, so only texels above 2/3 pass.
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_ALPHA_TEST);
    credits->DrawAt(0.0f, state.creditsY, -1.0f, width, height);
    glDisable(GL_ALPHA_TEST);
}
