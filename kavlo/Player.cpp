// The steady run a seek replays, the effect windows Page Up and Page Down go to, and
// the player that acts on the keys.
#include "Player.h"

#include <GL/gl.h>

#include <algorithm>

std::atomic<unsigned char> syncPending{0};

void OnSync(sound::Module*, unsigned char param) {
    syncPending.store(param == 0 ? 1 : 0, std::memory_order_relaxed);
}

namespace player {

uint32_t GridTime(uint64_t frame) { return static_cast<uint32_t>(frame * 1000 / kReplayFps); }

uint64_t GridFrameAt(uint32_t ms) {
    // floor(n * 1000 / fps) >= ms exactly when n * 1000 >= ms * fps.
    return (static_cast<uint64_t>(ms) * kReplayFps + 999) / 1000;
}

bool SyncFlag(const std::vector<MusicSync>& syncs, double afterMs, double atMs) {
    bool flag = false;
    const auto first = std::upper_bound(
        syncs.begin(), syncs.end(), afterMs,
        [](double ms, const MusicSync& sync) { return ms < sync.timeMs; });
    for (auto it = first; it != syncs.end() && it->timeMs <= atMs; ++it) flag = it->param == 0;
    return flag;
}

namespace {

std::vector<uint32_t> EffectStarts() {
    std::vector<uint32_t> starts;
    for (const TimelineRow& row : kTimeline) starts.push_back(row.startMs);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return starts;
}

}  // namespace

uint32_t PreviousEffectStart(uint32_t timeMs) {
    const std::vector<uint32_t> starts = EffectStarts();
    // The window playing is the one that started last; the one before it is wanted.
    auto current = std::upper_bound(starts.begin(), starts.end(), timeMs);
    if (current == starts.begin()) return 0;
    --current;
    return current == starts.begin() ? 0 : *(current - 1);
}

uint32_t NextEffectStart(uint32_t timeMs) {
    const std::vector<uint32_t> starts = EffectStarts();
    auto next = std::upper_bound(starts.begin(), starts.end(), timeMs);
    return next == starts.end() || *next >= kShowLengthMs ? kShowLengthMs : *next;
}

Frame RunFrame(const std::vector<MusicSync>& syncs, uint64_t frame) {
    const uint32_t time = GridTime(frame);
    const uint32_t before = frame ? GridTime(frame - 1) : 0;
    return {time, static_cast<int32_t>(time - before),
            SyncFlag(syncs, frame ? static_cast<double>(before) : -1.0, time)};
}

namespace {

// Every effect's phase edges, in order.
std::vector<uint32_t> PhaseEdges(const std::vector<EffectEntry>& effects) {
    std::vector<uint32_t> edges;
    for (const EffectEntry& entry : effects) {
        const std::vector<unsigned> own = entry.effect->PhaseEdges();
        edges.insert(edges.end(), own.begin(), own.end());
    }
    std::sort(edges.begin(), edges.end());
    return edges;
}

// Whether the run's frame `frame` is the last before a phase edge: the last of a phase
// that draws its own way and so leaves its own GL state, which stays set for whatever
// comes after (a cull face, an alpha function, the current colour).
bool LastBeforeAPhaseEdge(const std::vector<uint32_t>& edges, uint64_t frame) {
    const auto next = std::upper_bound(edges.begin(), edges.end(), GridTime(frame));
    return next != edges.end() && *next <= GridTime(frame + 1);
}

void DrawFrame(const std::vector<EffectEntry>& effects, const Frame& f) {
    for (const EffectEntry& entry : effects)
        if (entry.effect->IsActive(f.timeMs)) entry.effect->Render(f.timeMs, f.deltaMs, f.sync);
}

}  // namespace

void ReplayUpTo(const ShellPlatform& platform, const std::vector<EffectEntry>& effects,
                const std::vector<MusicSync>& syncs, uint64_t frame) {
    for (const EffectEntry& entry : effects) entry.effect->ResetState();
    if (frame == 0) return;
    const std::vector<uint32_t> edges = PhaseEdges(effects);
    // Each phase's last frame, drawn where nobody sees it, hands its GL state on in the
    // order the run does; the others only step the state.
    platform.screen.DrawUnseen(true);
    for (uint64_t n = 0; n + 1 < frame; ++n) {
        // Seconds of frames on a slow machine: Escape need not wait for them all.
        if (n % 256 == 0 && platform.input.QuitPending()) {
            platform.screen.DrawUnseen(false);
            return;
        }
        const Frame f = RunFrame(syncs, n);
        if (LastBeforeAPhaseEdge(edges, n)) {
            DrawFrame(effects, f);
            continue;
        }
        for (const EffectEntry& entry : effects)
            if (entry.effect->IsActive(f.timeMs))
                entry.effect->StepState(f.timeMs, f.deltaMs, f.sync);
    }
    platform.screen.DrawUnseen(false);
    DrawFrame(effects, RunFrame(syncs, frame - 1));
}

}  // namespace player

namespace player {

void ClearScreen() {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

}  // namespace player

bool Player::StartMusic() {
    if (options_.startMs == 0) return platform_.music.PlayMusic();
    const uint32_t start = Prepare(options_.startMs);
    return platform_.music.PlayMusicFrom(start);
}

bool Player::TakeFixedFrame(player::Frame* frame) {
    if (!forced_) return false;
    forced_ = false;
    *frame = frame_;
    return true;
}

void Player::FrameDrawn(uint32_t timeMs) {
    shownMs_ = timeMs;
    if (pauseAfterFrame_) {
        pauseAfterFrame_ = false;
        platform_.music.PauseMusic();
        paused_ = true;
    }
    if (paused_) platform_.screen.HoldPicture();
    if (screenshotAfterFrame_) {
        screenshotAfterFrame_ = false;
        platform_.screen.SaveScreenshot(timeMs);
    }
}

void Player::HandleKeys() {
    heldPictureSaved_ = false;
    ShowInput& input = platform_.input;
    for (PlayerKey key; (key = input.TakeKey()) != PlayerKey::None;)
        if (!input.QuitRequested()) Handle(key);
    uint32_t ms = 0;
    if (input.TakeSeek(&ms) && !input.QuitRequested()) AskSeek(ms);
    if (seekPending_) {
        seekPending_ = false;
        SeekTo(seekMs_);
    }
}

void Player::Handle(PlayerKey key) {
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
    case PlayerKey::Screenshot: Screenshot(); break;
    case PlayerKey::None: break;
    }
}

// The picture the keys before it lead to, once however often F12 came with it.
void Player::Screenshot() {
    if (paused_ && !forced_ && !seekPending_) {
        if (heldPictureSaved_) return;
        heldPictureSaved_ = true;
        platform_.screen.ShowHeldPicture();
        platform_.screen.SaveScreenshot(shownMs_);
    } else {
        screenshotAfterFrame_ = true;
    }
}

const std::vector<MusicSync>& Player::Syncs() {
    if (!syncsRead_) {
        syncs_ = platform_.music.MusicSyncs();
        syncsRead_ = true;
    }
    return syncs_;
}

// The state of the steady run before the frame at or after `ms` (the last frame before
// the show's end at most), which is then the next frame drawn.
uint32_t Player::Prepare(uint32_t ms) {
    // From the cleared picture the show starts on: what the effects draw first blends
    // over it (the opening fades in), not over the picture left on screen.
    player::ClearScreen();
    uint64_t frame = player::GridFrameAt(ms < kShowLengthMs ? ms : kShowLengthMs);
    if (player::GridTime(frame) >= kShowLengthMs) --frame;
    player::ReplayUpTo(platform_, effects_, Syncs(), frame);
    frame_ = player::RunFrame(Syncs(), frame);
    forced_ = true;
    return frame_.timeMs;
}

void Player::SeekTo(uint32_t ms) {
    if (!paused_) platform_.music.PauseMusic();
    const uint32_t at = Prepare(ms);
    if (platform_.input.QuitRequested()) return;  // cut short: the show ends
    shownMs_ = at;
    if (!paused_ && !pauseAfterFrame_) {
        platform_.music.PlayMusicFrom(at);
        StartClock(at);
    }
    syncPending.store(0, std::memory_order_relaxed);
}

void Player::Resume() {
    paused_ = false;
    const uint32_t at = forced_ ? frame_.timeMs : shownMs_;
    platform_.music.PlayMusicFrom(at);
    StartClock(at);
    // The held picture is that time's frame, already on the screen.
    if (!forced_) platform_.clock.FrameShown();
    syncPending.store(0, std::memory_order_relaxed);
}

// The next frame of the steady run after the paused picture, drawn as it comes.
void Player::Step() {
    const uint32_t from = PictureMs();
    const uint64_t frame = player::GridFrameAt(from + 1);
    const uint32_t time = player::GridTime(frame);
    if (time >= kShowLengthMs) return;
    // A step earlier among the same keys: its frame is drawn now, unshown, so that the
    // effects pass every frame of the run as they do one step a frame.
    if (forced_)
        for (const EffectEntry& entry : effects_)
            if (entry.effect->IsActive(frame_.timeMs))
                entry.effect->Render(frame_.timeMs, frame_.deltaMs, frame_.sync);
    frame_ = {time, static_cast<int32_t>(time - from), player::SyncFlag(Syncs(), from, time)};
    forced_ = true;
}
