// The command-line values the programs share.
#pragma once

#include "kavlo/main.h"

// Reads "WxH" (for example "1440x1080"); false for anything else or a side outside
// kMinRenderSide..kMaxRenderSide.
constexpr int kMinRenderSide = 64;
constexpr int kMaxRenderSide = 16384;
bool ParseRenderSize(const char* text, RenderSize* size);
