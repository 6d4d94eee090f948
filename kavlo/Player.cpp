// The steady run a seek replays, and the effect windows Page Up and Page Down go to.
#include "Player.h"

#include <algorithm>

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

void ReplayUpTo(ShellPlatform& platform, const std::vector<EffectEntry>& effects,
                const std::vector<MusicSync>& syncs, uint64_t frame) {
    for (const EffectEntry& entry : effects) entry.effect->ResetState();
    if (frame == 0) return;
    const std::vector<uint32_t> edges = PhaseEdges(effects);
    // Each phase's last frame, drawn where nobody sees it, hands its GL state on in the
    // order the run does; the others only step the state.
    platform.DrawUnseen(true);
    for (uint64_t n = 0; n + 1 < frame; ++n) {
        // Seconds of frames on a slow machine: Escape need not wait for them all.
        if (n % 256 == 0 && platform.QuitPending()) {
            platform.DrawUnseen(false);
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
    platform.DrawUnseen(false);
    DrawFrame(effects, RunFrame(syncs, frame - 1));
}

}  // namespace player
