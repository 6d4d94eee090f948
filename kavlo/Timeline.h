// The show's timeline: the window of each effect, how a viewer names them, the times a
// contact sheet takes, and the list of effects in timeline order.
#pragma once

#include "Effect.h"

#include <cstdint>
#include <vector>

// One row of the timeline: the window of the effect at the same position in the list.
struct TimelineRow {
    uint32_t startMs;
    uint32_t endMs;
};
constexpr int kTimelineRows = 11;
extern const TimelineRow kTimeline[kTimelineRows];

// The timeline's rows as a viewer reads them (a player's seek bar): a name each, and
// whether the effect draws over another one rather than being the picture's ground.
struct TimelineLabel {
    const char* name;
    bool overlay;
};
extern const TimelineLabel kTimelineLabels[kTimelineRows];

// One or two times in each effect window: the frames the contact sheet shows and the
// checks that hold whole frames against each other take.
constexpr uint32_t kContactSheetMs[] = {3000,  10000,  22000,  35000,  50000,  65000,
                                        85000, 107000, 125000, 148000, 158000, 168000};

// The show is cut off here, during the last effect's window.
constexpr uint32_t kShowLengthMs = 172000;

// An effect of the list together with its timeline row.
struct EffectEntry {
    Effect* effect;
    int row;
};

// Appends one new object of each effect class in timeline order, each with its row.
void AppendEffects(std::vector<EffectEntry>& effects);
