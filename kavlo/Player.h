// The show as a player: the steady 60 fps run that seeks rebuild the effects' state
// from, the sync flags of that run, and where Page Up and Page Down go.
#pragma once

#include "main.h"

#include <cstdint>
#include <vector>

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
void ReplayUpTo(ShellPlatform& platform, const std::vector<EffectEntry>& effects,
                const std::vector<MusicSync>& syncs, uint64_t frame);

}  // namespace player
