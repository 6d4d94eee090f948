// The show's timeline and its effects in timeline order.
#include "Timeline.h"

#include "EffectFeedback.h"
#include "EffectOrdan.h"
#include "EffectOrdan2.h"
#include "EffectSekskanter.h"
#include "EffectSpiral.h"
#include "EffectTorus.h"
#include "EffectTorus2.h"
#include "EffectTwister.h"
#include "effectbeam.h"
#include "effectgreet.h"
#include "effectvortexc.h"
#include "memory/MemoryTracker.h"

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
