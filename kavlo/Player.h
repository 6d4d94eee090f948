// The show as a player: the steady 60 fps run that seeks rebuild the effects' state
// from, the sync flags of that run, where Page Up and Page Down go, and the Player that
// keeps the show's clock and acts on the player keys.
#pragma once

#include "ShellPlatform.h"

#include <atomic>
#include <cstdint>
#include <vector>

// Raised by the music's sync callback on the audio thread, read before each Render and
// cleared after each render pass. One byte, no lock.
extern std::atomic<unsigned char> syncPending;

// The Zxx callback: parameter 0 raises a sync, any other parameter withdraws one that the
// frame loop has not seen yet.
void OnSync(sound::Module* module, unsigned char param);

namespace player {

// A seek replays the show as a steady run at this rate, as kavlo-capture draws it, so
// that the picture after a seek to T is the one the capture draws at T.
constexpr int kReplayFps = 60;

// Frame n of that run shows n * 1000 / 60 ms (rounded down).
uint32_t GridTime(uint64_t frame);
// The first frame of the run at or after `ms`.
uint64_t GridFrameAt(uint32_t ms);

// The sync flag a frame gets when the music's commands between the frame before it
// (at `afterMs`, exclusive; below 0 for the first frame) and its own time `atMs`
// (inclusive) arrive in order: the last one's, raised by parameter 0.
bool SyncFlag(const std::vector<MusicSync>& syncs, double afterMs, double atMs);

// The start of the effect window before the one that started last at or before
// `timeMs` (0 at the first), and of the first window that starts after it
// (kShowLengthMs when none does). Overlays' windows count.
uint32_t PreviousEffectStart(uint32_t timeMs);
uint32_t NextEffectStart(uint32_t timeMs);

// The run's frame `frame` as the effects see it.
struct Frame {
    uint32_t timeMs;
    int32_t deltaMs;
    bool sync;
};
Frame RunFrame(const std::vector<MusicSync>& syncs, uint64_t frame);

// Puts every effect's frame-to-frame state where the steady run leaves it after its
// frames 0 .. frame - 1: the state is reset and stepped through them, the last frame
// before each of the effects' phase edges is drawn unseen for the GL state it leaves,
// and the frame before `frame` is drawn (not shown), so that the next frame starts from
// the GL state and back buffer the run leaves. Nothing is drawn for frame 0. When the platform says
// the show is to end, it stops early, the state then of no use.
void ReplayUpTo(const ShellPlatform& platform, const std::vector<EffectEntry>& effects,
                const std::vector<MusicSync>& syncs, uint64_t frame);

// The cleared picture the show starts on.
void ClearScreen();

}  // namespace player

// How the show plays beyond the original's one run from the start.
struct PlayOptions {
    // Where the show begins once loading is done: the frame a steady 60 fps run draws
    // at or after it (0: the show's own start, as the original).
    uint32_t startMs = 0;
    // At the end (or when a music stream starts over) the show starts again, until
    // Escape.
    bool loop = false;
    // A test hook, no option: every frame drawn with the sync flag is white (and those
    // in the 40 ms of show time after it), so that a recording of the screen and the
    // sound shows where each sync lands.
    bool flashSyncs = false;
};

// The show's clock and what the player keys have asked of it. Played without a key,
// the clock runs from the music's start, as it always did.
class Player {
public:
    Player(const ShellPlatform& platform, const std::vector<EffectEntry>& effects,
           const PlayOptions& options)
        : platform_(platform), effects_(effects), options_(options) {}

    // The show time of the frame to draw as the show plays.
    uint32_t Now() { return platform_.clock.FrameTime(); }
    void StartClock(uint32_t ms) { platform_.clock.StartAt(ms); }

    // Before the music starts: the state and first frame for the start option. False
    // when the music cannot play.
    bool StartMusic();
    uint32_t StartMs() const { return forced_ ? frame_.timeMs : 0; }

    // The frame to draw next, if a seek or a step has fixed it.
    bool TakeFixedFrame(player::Frame* frame);
    bool Paused() const { return paused_; }
    bool HasFixedFrame() const { return forced_; }

    // After a frame is drawn, before it is shown.
    void FrameDrawn(uint32_t timeMs);

    // The keys found since the last call, then the seek they asked for. Keys that came
    // with Escape are dropped: a seek would only hold the end back.
    void HandleKeys();

    // From the show's start again (--loop).
    void Restart() { SeekTo(0); }

    // The time of the picture on the screen, from which the next frame's delta counts.
    uint32_t ShownMs() const { return shownMs_; }

private:
    // Where the picture is, or is about to be once the keys taken so far have acted.
    uint32_t PictureMs() const {
        return seekPending_ ? seekMs_ : forced_ ? frame_.timeMs : shownMs_;
    }
    void Handle(PlayerKey key);
    void Screenshot();
    void AskSeek(uint32_t ms) {
        seekPending_ = true;
        seekMs_ = ms;
    }
    const std::vector<MusicSync>& Syncs();
    uint32_t Prepare(uint32_t ms);
    void SeekTo(uint32_t ms);
    void Resume();
    void Step();

    ShellPlatform platform_;
    const std::vector<EffectEntry>& effects_;
    PlayOptions options_;
    uint32_t shownMs_ = 0;  // the time of the picture on the screen
    bool paused_ = false, pauseAfterFrame_ = false, screenshotAfterFrame_ = false;
    bool heldPictureSaved_ = false;  // by an F12 among the keys being handled
    bool seekPending_ = false;
    uint32_t seekMs_ = 0;
    bool forced_ = false;
    player::Frame frame_ {};
    std::vector<MusicSync> syncs_;
    bool syncsRead_ = false;
};
