// The command-line values the programs share.
#pragma once

#include "kavlo/main.h"

#include <cstdint>
#include <vector>

// Reads "WxH" (for example "1440x1080"); false for anything else or a side outside
// kMinRenderSide..kMaxRenderSide.
constexpr int kMinRenderSide = 64;
constexpr int kMaxRenderSide = 16384;
bool ParseRenderSize(const char* text, RenderSize* size);

// The command lines' numbers, the same in every program: decimal digits and nothing
// else (no sign, space or unit), at most `max`. False for anything else, `out` then
// untouched.
bool ParseNumber(const char* text, uint32_t max, uint32_t* out);
// Times in ms, "MS[,MS...]", each a number as above up to 2^32 - 1, appended to `out`
// when all are; false for anything else (an empty list too).
bool ParseTimes(const char* text, std::vector<uint32_t>* out);
