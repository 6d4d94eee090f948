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
#include "Player.h"
#include "code3d/TextureImageJPEG.h"
#include "effectbeam.h"
#include "effectgreet.h"
#include "effectvortexc.h"
#include "memory/MemoryTracker.h"
#include "platform/MessageBox.h"
#include "platform/pictures/Screenshot.h"

#include <SDL.h>
#include <GL/gl.h>

#include <cctype>
#include <cstdio>
#include <filesystem>

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

const TimelineLabel kTimelineLabels[kTimelineRows] = {
    {"Spiral", false}, {"Feedback", false}, {"Vortex", false},       {"Twister", false},
    {"Beam", false},   {"Torus", false},    {"Second torus", false}, {"Ordan", false},
    {"Ordan2", false}, {"Hexagon", true},   {"Greetings", true},
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
PlayerKey SystemPlatform::TakeKey() { return GLWindow::TakePlayerKey(); }
void SystemPlatform::HoldPicture() { GLWindow::HoldPicture(); }
void SystemPlatform::ShowHeldPicture() { GLWindow::ShowHeldPicture(); }
void SystemPlatform::DrawUnseen(bool unseen) { GLWindow::DrawUnseen(unseen); }
// Events are handled one per paused frame: often enough for keys, and idle otherwise.
void SystemPlatform::IdleWhilePaused() { SDL_Delay(15); }

void SystemPlatform::SaveScreenshot(uint32_t timeMs) {
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    if (!GLWindow::ReadPicture(&rgba, &width, &height)) return;
    std::string error;
    const std::string folder = platform::PicturesFolder();
    // Joined the system's way, so that the path said on Windows is all backslashes.
    const std::string kavloFolder =
        folder.empty() ? folder : (std::filesystem::u8path(folder) / "Kavlo").u8string();
    const std::string path =
        platform::SaveScreenshot(kavloFolder, timeMs, width, height, rgba.data(), &error);
    if (path.empty())
        std::fprintf(stderr, "kavlo: the picture was not saved: %s\n", error.c_str());
    else
        std::fprintf(stderr, "kavlo: saved the picture at %u.%03u s in %s\n", timeMs / 1000,
                     timeMs % 1000, path.c_str());
}

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

// The show's clock and what the player keys have asked of it. Played without a key,
// the clock is the tick counter from the music's start, as it always was.
class Player {
public:
    Player(ShellPlatform& platform, const std::vector<EffectEntry>& effects,
           const PlayOptions& options)
        : platform_(platform), effects_(effects), options_(options) {}

    // The show time now: stopped while paused.
    uint32_t Now() { return originMs_ + (platform_.Ticks() - originTick_); }
    void StartClock(uint32_t ms) {
        originMs_ = ms;
        originTick_ = platform_.Ticks();
    }

    // Before the music starts: the state and first frame for the start option. False
    // when the music cannot play.
    bool StartMusic() {
        if (options_.startMs == 0) return platform_.PlayMusic();
        const uint32_t start = Prepare(options_.startMs);
        return platform_.PlayMusicFrom(start);
    }
    uint32_t StartMs() const { return forced_ ? frame_.timeMs : 0; }

    // The frame to draw next, if a seek or a step has fixed it.
    bool TakeFixedFrame(player::Frame* frame) {
        if (!forced_) return false;
        forced_ = false;
        *frame = frame_;
        return true;
    }
    bool Paused() const { return paused_; }
    bool HasFixedFrame() const { return forced_; }

    // After a frame is drawn, before it is shown.
    void FrameDrawn(uint32_t timeMs) {
        shownMs_ = timeMs;
        if (pauseAfterFrame_) {
            pauseAfterFrame_ = false;
            platform_.PauseMusic();
            paused_ = true;
        }
        if (paused_) platform_.HoldPicture();
        if (screenshotAfterFrame_) {
            screenshotAfterFrame_ = false;
            platform_.SaveScreenshot(timeMs);
        }
    }

    // The keys found since the last call, then the seek they asked for.
    void HandleKeys() {
        for (PlayerKey key; (key = platform_.TakeKey()) != PlayerKey::None;) Handle(key);
        uint32_t ms = 0;
        if (platform_.TakeSeek(&ms)) AskSeek(ms);
        if (seekPending_) {
            seekPending_ = false;
            SeekTo(seekMs_);
        }
    }

    // From the show's start again (--loop).
    void Restart() { SeekTo(0); }

    // The time of the picture on the screen, from which the next frame's delta counts.
    uint32_t ShownMs() const { return shownMs_; }

private:
    // Where the picture is, or is about to be once the keys taken so far have acted.
    uint32_t PictureMs() const {
        return seekPending_ ? seekMs_ : forced_ ? frame_.timeMs : shownMs_;
    }

    void Handle(PlayerKey key) {
        const uint32_t at = PictureMs();
        switch (key) {
        case PlayerKey::PlayPause:
            if (paused_) Resume();
            else pauseAfterFrame_ = !pauseAfterFrame_;
            break;
        case PlayerKey::Back: AskSeek(at > 5000 ? at - 5000 : 0); break;
        case PlayerKey::Forward: AskSeek(at + 5000); break;
        case PlayerKey::PreviousEffect: AskSeek(player::PreviousEffectStart(at)); break;
        case PlayerKey::NextEffect:
            if (player::NextEffectStart(at) < kShowLengthMs) AskSeek(player::NextEffectStart(at));
            break;
        case PlayerKey::Start: AskSeek(0); break;
        case PlayerKey::StepFrame:
            if (paused_ && !seekPending_) Step();
            break;
        case PlayerKey::Screenshot:
            if (paused_ && !forced_) {
                platform_.ShowHeldPicture();
                platform_.SaveScreenshot(shownMs_);
            } else {
                screenshotAfterFrame_ = true;
            }
            break;
        case PlayerKey::None: break;
        }
    }

    void AskSeek(uint32_t ms) {
        seekPending_ = true;
        seekMs_ = ms;
    }

    const std::vector<MusicSync>& Syncs() {
        if (!syncsRead_) {
            syncs_ = platform_.MusicSyncs();
            syncsRead_ = true;
        }
        return syncs_;
    }

    // The state of the steady run before the frame at or after `ms` (the last frame
    // before the show's end at most), which is then the next frame drawn.
    uint32_t Prepare(uint32_t ms) {
        uint64_t frame = player::GridFrameAt(ms < kShowLengthMs ? ms : kShowLengthMs);
        if (player::GridTime(frame) >= kShowLengthMs) --frame;
        player::ReplayUpTo(platform_, effects_, Syncs(), frame);
        frame_ = player::RunFrame(Syncs(), frame);
        forced_ = true;
        return frame_.timeMs;
    }

    void SeekTo(uint32_t ms) {
        if (!paused_) platform_.PauseMusic();
        const uint32_t at = Prepare(ms);
        shownMs_ = at;
        if (!paused_ && !pauseAfterFrame_) {
            platform_.PlayMusicFrom(at);
            StartClock(at);
        }
        syncPending.store(0, std::memory_order_relaxed);
    }

    void Resume() {
        paused_ = false;
        const uint32_t at = forced_ ? frame_.timeMs : shownMs_;
        platform_.PlayMusicFrom(at);
        StartClock(at);
        syncPending.store(0, std::memory_order_relaxed);
    }

    // The next frame of the steady run after the paused picture, drawn as it comes.
    void Step() {
        const uint32_t from = PictureMs();
        const uint64_t frame = player::GridFrameAt(from + 1);
        const uint32_t time = player::GridTime(frame);
        if (time >= kShowLengthMs) return;
        frame_ = {time, static_cast<int32_t>(time - from), player::SyncFlag(Syncs(), from, time)};
        forced_ = true;
    }

    ShellPlatform& platform_;
    const std::vector<EffectEntry>& effects_;
    PlayOptions options_;
    uint32_t originTick_ = 0, originMs_ = 0;
    uint32_t shownMs_ = 0;  // the time of the picture on the screen
    bool paused_ = false, pauseAfterFrame_ = false, screenshotAfterFrame_ = false;
    bool seekPending_ = false;
    uint32_t seekMs_ = 0;
    bool forced_ = false;
    player::Frame frame_ {};
    std::vector<MusicSync> syncs_;
    bool syncsRead_ = false;
};

// The whole picture white, over what the effects drew; the clear colour stays theirs.
void Flash() {
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
}

// Runs frames until Escape, the show's length, or the music stream starting over (or,
// looping, until Escape).
void RunFrames(ShellPlatform& platform, const std::vector<EffectEntry>& effects, Player& player,
               const PlayOptions& options) {
    player.StartClock(player.StartMs());
    uint32_t prevTimeMs = player.StartMs();
    uint32_t timeMs = player.Now();
    if (!platform.CheckPosition()) return;
    // Keys pressed while loading are not for the show.
    while (platform.TakeKey() != PlayerKey::None) {
    }
    uint32_t flashFromMs = UINT32_MAX;
    // The limit is tested on the previous frame's time, so the last frame drawn may
    // carry a time a little past it.
    while (quitRequested == 0) {
        if (timeMs >= kShowLengthMs && !player.Paused() && !player.HasFixedFrame()) {
            if (!options.loop) break;
            player.Restart();
        }
        player::Frame fixed;
        bool synced = false;
        if (player.TakeFixedFrame(&fixed)) {
            // A seek's or a step's frame, with the delta and sync of the steady run.
            timeMs = fixed.timeMs;
            synced = fixed.sync;
            for (const EffectEntry& entry : effects)
                if (entry.effect->IsActive(timeMs))
                    entry.effect->Render(timeMs, fixed.deltaMs, fixed.sync);
        } else if (player.Paused()) {
            platform.ShowHeldPicture();
            platform.ShowingFrame(player.ShownMs(), true);
            platform.SwapAndPump();
            player.HandleKeys();
            prevTimeMs = player.ShownMs();
            platform.IdleWhilePaused();
            continue;
        } else {
            timeMs = player.Now();
            const int32_t deltaMs = static_cast<int32_t>(timeMs - prevTimeMs);
            synced = syncPending.load(std::memory_order_relaxed) != 0;
            for (const EffectEntry& entry : effects) {
                if (entry.effect->IsActive(timeMs))
                    entry.effect->Render(timeMs, deltaMs,
                                         syncPending.load(std::memory_order_relaxed) != 0);
            }
        }
        prevTimeMs = timeMs;
        // A sync that came while the effects drew reached those drawn after it.
        synced = synced || syncPending.load(std::memory_order_relaxed) != 0;
        syncPending.store(0, std::memory_order_relaxed);
        if (options.flashSyncs) {
            // Held for 40 ms of show time, so that a screen recorder's frame catches it
            // however fast frames come.
            if (synced) flashFromMs = timeMs;
            if (flashFromMs <= timeMs && timeMs - flashFromMs < 40) Flash();
        }
        player.FrameDrawn(timeMs);
        platform.ShowingFrame(timeMs, player.Paused());
        platform.SwapAndPump();
        player.HandleKeys();
        // A seek restarts the clock at its picture's time.
        prevTimeMs = player.ShownMs();
        if (!player.Paused() && !player.HasFixedFrame() && !platform.CheckPosition()) {
            if (!options.loop) break;
            player.Restart();
        }
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

int RunDemo(ShellPlatform& platform, bool fullscreen, RenderSize size, PlayOptions options) {
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
    Player player(platform, show.effects, options);
    if (!player.StartMusic()) return kExitFailure;

    RunFrames(platform, show.effects, player, options);

    // The window goes before the effects, as it always has.
    platform.DestroyWindow();
    return kExitSuccess;
}
