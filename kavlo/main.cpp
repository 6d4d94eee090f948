// Main control flow: music, window, loading screen, the timeline of effects, the frame
// loop and the shutdown order.
#include "main.h"

#include "EffectFeedback.h"
#include "EffectOrdan.h"
#include "EffectOrdan2.h"
#include "EffectSekskanter.h"
#include "EffectSpiral.h"
#include "EffectTorus.h"
#include "EffectTorus2.h"
#include "EffectTwister.h"
#include "GLWindow.h"
#include "code3d/TextureImageJPEG.h"
#include "effectbeam.h"
#include "effectgreet.h"
#include "effectvortexc.h"
#include "memory/MemoryTracker.h"
#include "platform/MessageBox.h"

#include <SDL.h>
#include <GL/gl.h>

#include <cctype>
#include <cstdio>

const TimelineRow kTimeline[kTimelineRows] = {
    {0, 18000},       // EffectSpiral
    {17000, 28000},   // EffectFeedback
    {27000, 45000},   // EffectVortexC
    {44000, 75000},   // EffectTwister
    {74000, 101000},  // EffectBeam
    {100000, 114000}, // EffectTorus
    {114000, 141000}, // EffectTorus2
    {140000, 155000}, // EffectOrdan
    {155000, 174000}, // EffectOrdan2 (cut off by the show's length)
    {17000, 27000},   // EffectSekskanter, over the main effects
    {60000, 70000},   // EffectGreet, over the main effects
};

std::atomic<unsigned char> syncPending{0};

void OnSync(sound::Module*, unsigned char param) {
    syncPending.store(param == 0 ? 1 : 0, std::memory_order_relaxed);
}

void AppendEffects(std::vector<EffectEntry>& effects) {
    effects.push_back({KAVLO_NEW(EffectSpiral), 0});
    effects.push_back({KAVLO_NEW(EffectFeedback), 1});
    effects.push_back({KAVLO_NEW(EffectVortexC), 2});
    effects.push_back({KAVLO_NEW(EffectTwister), 3});
    effects.push_back({KAVLO_NEW(EffectBeam), 4});
    effects.push_back({KAVLO_NEW(EffectTorus), 5});
    effects.push_back({KAVLO_NEW(EffectTorus2), 6});
    effects.push_back({KAVLO_NEW(EffectOrdan), 7});
    effects.push_back({KAVLO_NEW(EffectOrdan2), 8});
    effects.push_back({KAVLO_NEW(EffectSekskanter), 9});
    effects.push_back({KAVLO_NEW(EffectGreet), 10});
}

bool ParseRenderSize(const char* text, RenderSize* size) {
    // Digits, one 'x', digits: nothing else.
    int sides[2] = {0, 0};
    const char* p = text;
    for (int k = 0; k < 2; ++k) {
        if (!p || !std::isdigit(static_cast<unsigned char>(*p))) return false;
        long value = 0;
        while (std::isdigit(static_cast<unsigned char>(*p))) {
            value = value * 10 + (*p++ - '0');
            if (value > kMaxRenderSide) return false;
        }
        sides[k] = static_cast<int>(value);
        if (k == 0 && *p++ != 'x') return false;
    }
    if (*p != '\0' || sides[0] < kMinRenderSide || sides[1] < kMinRenderSide) return false;
    size->width = sides[0];
    size->height = sides[1];
    return true;
}

// ---------------------------------------------------------------------------------
// The real platform

uint32_t SystemPlatform::Ticks() { return SDL_GetTicks(); }

bool SystemPlatform::OpenMusic(const char* fileName) {
    // The player's only failures are a sound output that cannot start, each with its box;
    // the way out goes to the terminal before the box waits for the user.
    platform::SetErrorBoxHint(
        "kavlo: no sound device could be opened; kavlo --mute plays the show without sound");
    const bool opened = music.Open(fileName);
    platform::SetErrorBoxHint(nullptr);
    return opened;
}

bool SystemPlatform::CreateWindow(int width, int height, int refreshHz, int bitsPerPixel,
                                  bool fullscreen) {
    return GLWindow::Create(width, height, refreshHz, bitsPerPixel, fullscreen);
}
bool SystemPlatform::LoadExtensions() { return GLWindow::LoadExtensions(); }
void SystemPlatform::SwapAndPump() { GLWindow::SwapAndPump(); }
void SystemPlatform::DestroyWindow() { GLWindow::Destroy(); }

// ---------------------------------------------------------------------------------
// The show

namespace {

void ClearScreen() {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Shows the loading picture, dimmed by one step before each effect, while the effects
// load. False when an effect's Init failed (the message is already shown).
bool LoadEffects(ShellPlatform& platform, const RenderSize& size, Texture* loadingPicture,
                 const std::vector<EffectEntry>& effects) {
    const size_t n = effects.size();
    for (size_t i = 0; i < n; ++i) {
        const float alpha = 1.0f - static_cast<float>(i) / static_cast<float>(n);
        loadingPicture->DrawScreenBlended(size.width, size.height, 0.0f, alpha);
        platform.SwapAndPump();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const TimelineRow& row = kTimeline[effects[i].row];
        if (!effects[i].effect->Init(size.width, size.height, row.startMs, row.endMs)) {
            platform.DestroyWindow();
            platform::ShowErrorBox("Error loading effect!", "Error!");
            return false;
        }
    }
    return true;
}

// Runs frames until Escape, the show's length, or the music stream starting over.
void RunFrames(ShellPlatform& platform, const std::vector<EffectEntry>& effects) {
    const uint32_t startTick = platform.Ticks();
    uint32_t prevTimeMs = 0;
    uint32_t timeMs = platform.Ticks() - startTick;
    if (!platform.CheckPosition()) return;
    // The limit is tested on the previous frame's time, so the last frame drawn may
    // carry a time a little past it.
    while (quitRequested == 0 && timeMs < kShowLengthMs) {
        timeMs = platform.Ticks() - startTick;
        const int32_t deltaMs = static_cast<int32_t>(timeMs - prevTimeMs);
        prevTimeMs = timeMs;
        for (const EffectEntry& entry : effects) {
            if (entry.effect->IsActive(timeMs))
                entry.effect->Render(timeMs, deltaMs,
                                     syncPending.load(std::memory_order_relaxed) != 0);
        }
        syncPending.store(0, std::memory_order_relaxed);
        platform.SwapAndPump();
        if (!platform.CheckPosition()) break;
    }
}

}  // namespace

namespace {

// The effects and the loading picture, deleted on every way out of the run: the
// effects in list order, then the picture. A failure used to leave them to the
// process's end, so the leak report listed them; an effect whose Init stopped half-way
// deletes what it made, as each destructor only deletes what is set.
struct ShowObjects {
    std::vector<EffectEntry> effects;
    Texture* loadingPicture = nullptr;

    ShowObjects() = default;
    ShowObjects(const ShowObjects&) = delete;
    ShowObjects& operator=(const ShowObjects&) = delete;
    ~ShowObjects() {
        for (const EffectEntry& entry : effects) KAVLO_DELETE(entry.effect);
        if (loadingPicture) KAVLO_DELETE(loadingPicture);
    }
};

}  // namespace

int RunDemo(ShellPlatform& platform, bool fullscreen, RenderSize size) {
    if (!platform.OpenMusic("musik.xm")) return kExitFailure;
    platform.SetSyncCallback(OnSync);

    if (!platform.CreateWindow(size.width, size.height, 75, 32, fullscreen)) {
        platform::ShowErrorBox("The selected screenmode is not supported!", "Error");
        return kExitFailure;
    }
    glEnable(GL_TEXTURE_2D);
    ShowObjects show;
    // A missing or broken picture is no error: the texture stays empty and draws anyway.
    show.loadingPicture = KAVLO_NEW(TextureImageJPEG, "data/loading.jpg");
    ClearScreen();
    // The window stays to the process's end on this path, as it always has.
    if (!platform.LoadExtensions()) return kExitFailure;

    platform.CreateEffects(show.effects);
    if (!LoadEffects(platform, size, show.loadingPicture, show.effects)) return kExitFailure;

    platform.SwapAndPump();
    ClearScreen();
    if (!platform.PlayMusic()) return kExitFailure;

    RunFrames(platform, show.effects);

    // The window goes before the effects, as it always has.
    platform.DestroyWindow();
    return kExitSuccess;
}
