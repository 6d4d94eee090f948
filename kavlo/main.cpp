// Main control flow: music, window, loading screen, the frame loop and the shutdown
// order.
#include "main.h"

#include "code3d/TextureImageJPEG.h"
#include "memory/MemoryTracker.h"
#include "platform/message/MessageBox.h"

#include <GL/gl.h>

namespace {

// Shows the loading picture, dimmed by one step before each effect, while the effects
// load. False when an effect's Init failed (the message is already shown).
bool LoadEffects(const ShellPlatform& platform, const RenderSize& size, Texture* loadingPicture,
                 const std::vector<EffectEntry>& effects) {
    const size_t n = effects.size();
    for (size_t i = 0; i < n; ++i) {
        const float alpha = 1.0f - static_cast<float>(i) / static_cast<float>(n);
        loadingPicture->DrawScreenBlended(size.width, size.height, 0.0f, alpha);
        platform.screen.SwapAndPump();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const TimelineRow& row = kTimeline[effects[i].row];
        if (!effects[i].effect->Init(size.width, size.height, row.startMs, row.endMs)) {
            platform.screen.DestroyWindow();
            platform::ShowErrorBox("Error loading effect!", "Error!");
            return false;
        }
    }
    return true;
}

// The whole picture white, over what the effects drew; the clear colour stays theirs.
void Flash() {
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
}

bool SyncRaised() { return syncPending.load(std::memory_order_relaxed) != 0; }

// Every effect whose window holds the time. A fixed frame carries its own sync flag
// (`sync`); otherwise each effect gets the flag as the music has raised it by then.
void Render(const std::vector<EffectEntry>& effects, uint32_t timeMs, int32_t deltaMs,
            const bool* sync) {
    for (const EffectEntry& entry : effects)
        if (entry.effect->IsActive(timeMs))
            entry.effect->Render(timeMs, deltaMs, sync ? *sync : SyncRaised());
}

// The frame loop: runs frames until the quit signal, the show's length, or the music
// stream starting over (or, looping, until the quit signal).
class FrameLoop {
public:
    FrameLoop(const ShellPlatform& platform, const std::vector<EffectEntry>& effects,
              Player& player, const PlayOptions& options)
        : platform_(platform), effects_(effects), player_(player), options_(options) {}

    void Run() {
        player_.StartClock(player_.StartMs());
        prevTimeMs_ = timeMs_ = player_.StartMs();
        if (!platform_.music.CheckPosition()) return;
        // Keys pressed while loading are not for the show.
        while (platform_.input.TakeKey() != PlayerKey::None) {
        }
        // The limit is tested on the previous frame's time, so the last frame drawn may
        // carry a time a little past it.
        while (!platform_.input.QuitRequested()) {
            if (timeMs_ >= kShowLengthMs && !player_.Paused() && !player_.HasFixedFrame()) {
                if (!options_.loop) break;
                player_.Restart();
            }
            if (!player_.HasFixedFrame() && player_.Paused()) {
                ShowHeldFrame();
                continue;
            }
            DrawFrame();
            if (!ShowFrame()) break;
        }
    }

private:
    // The held picture again, with the keys between.
    void ShowHeldFrame() {
        platform_.screen.ShowHeldPicture();
        platform_.input.ShowingFrame(player_.ShownMs(), true);
        platform_.screen.SwapAndPump();
        player_.HandleKeys();
        prevTimeMs_ = player_.ShownMs();
        platform_.screen.IdleWhilePaused();
    }

    // A seek's or a step's frame with the delta and sync of the steady run, else the
    // clock's frame with the sync the music raised.
    void DrawFrame() {
        player::Frame fixed;
        bool synced = false;
        if (player_.TakeFixedFrame(&fixed)) {
            timeMs_ = fixed.timeMs;
            synced = fixed.sync;
            Render(effects_, timeMs_, fixed.deltaMs, &fixed.sync);
        } else {
            timeMs_ = player_.Now();
            synced = SyncRaised();
            Render(effects_, timeMs_, static_cast<int32_t>(timeMs_ - prevTimeMs_), nullptr);
        }
        prevTimeMs_ = timeMs_;
        // A sync that came while the effects drew reached those drawn after it.
        synced = synced || SyncRaised();
        syncPending.store(0, std::memory_order_relaxed);
        if (options_.flashSyncs) {
            // Held for 40 ms of show time, so that a screen recorder's frame catches it
            // however fast frames come.
            if (synced) flashFromMs_ = timeMs_;
            if (flashFromMs_ <= timeMs_ && timeMs_ - flashFromMs_ < 40) Flash();
        }
    }

    // Shows the frame drawn and acts on the keys; false when the music has started over
    // and the show is not looping.
    bool ShowFrame() {
        player_.FrameDrawn(timeMs_);
        platform_.input.ShowingFrame(timeMs_, player_.Paused());
        platform_.screen.SwapAndPump();
        platform_.clock.FrameShown();
        player_.HandleKeys();
        // A seek restarts the clock at its picture's time.
        prevTimeMs_ = player_.ShownMs();
        if (!player_.Paused() && !player_.HasFixedFrame() && !platform_.music.CheckPosition()) {
            if (!options_.loop) return false;
            player_.Restart();
        }
        return true;
    }

    const ShellPlatform& platform_;
    const std::vector<EffectEntry>& effects_;
    Player& player_;
    const PlayOptions& options_;
    uint32_t timeMs_ = 0, prevTimeMs_ = 0;
    uint32_t flashFromMs_ = UINT32_MAX;
};

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

int RunDemo(const ShellPlatform& platform, bool fullscreen, RenderSize size, PlayOptions options) {
    if (!platform.music.OpenMusic("musik.xm")) return kExitFailure;
    platform.music.SetSyncCallback(OnSync);

    if (!platform.screen.CreateWindow(size.width, size.height, 75, 32, fullscreen)) {
        platform::ShowErrorBox("The selected screenmode is not supported!", "Error");
        return kExitFailure;
    }
    glEnable(GL_TEXTURE_2D);
    ShowObjects show;
    // A missing or broken picture is no error: the texture stays empty and draws anyway.
    show.loadingPicture = KAVLO_NEW(TextureImageJPEG, "data/loading.jpg");
    player::ClearScreen();
    // The window stays to the process's end on this path, as it always has.
    if (!platform.screen.LoadExtensions()) return kExitFailure;

    platform.createEffects(show.effects);
    if (!LoadEffects(platform, size, show.loadingPicture, show.effects)) return kExitFailure;

    platform.screen.SwapAndPump();
    player::ClearScreen();
    Player player(platform, show.effects, options);
    if (!player.StartMusic()) return kExitFailure;

    FrameLoop(platform, show.effects, player, options).Run();

    // The window goes before the effects, as it always has.
    platform.screen.DestroyWindow();
    return kExitSuccess;
}
