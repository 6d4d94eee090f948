// The abstract effect's stored window.
#include "Effect.h"

bool Effect::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    width = width_;
    height = height_;
    startMs = startMs_;
    endMs = endMs_;
    return true;
}

bool Effect::IsActive(unsigned timeMs) { return startMs < timeMs && timeMs < endMs; }
