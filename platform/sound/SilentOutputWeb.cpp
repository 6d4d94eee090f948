// The silent output's pace in a browser, where the program has one thread: the page's
// own timer mixes, between the show's frames, every buffer that has come due since.
#include "SilentOutput.h"

#include <emscripten/emscripten.h>
#include <emscripten/eventloop.h>

#include <cstdint>
#include <vector>

namespace sound::silent {
namespace {

struct Pace {
    long timer = 0;
    int rate = 0;
    int frames = 0;
    MixFunction mix = nullptr;
    double startMs = 0;
    uint64_t mixed = 0;  // buffers
    std::vector<float>* buffer = nullptr;
};
Pace pace;

// A throttled background tab wakes seldom: it catches up then, as the show's clock does.
void OnTimer(void*) {
    const double due = (emscripten_get_now() - pace.startMs) * pace.rate / 1000.0;
    while (static_cast<double>(pace.mixed) * pace.frames <= due) {
        pace.mix(pace.buffer->data(), pace.frames);
        ++pace.mixed;
    }
}

}  // namespace

bool Start(int rate, int frames, MixFunction mix) {
    if (pace.timer) return false;
    if (!pace.buffer) pace.buffer = new std::vector<float>;
    pace.buffer->assign(2 * static_cast<size_t>(frames), 0.0f);
    pace.rate = rate;
    pace.frames = frames;
    pace.mix = mix;
    pace.startMs = emscripten_get_now();
    pace.mixed = 0;
    // A quarter of a buffer: often enough that no buffer is mixed late by much.
    pace.timer = emscripten_set_interval(OnTimer, frames * 250.0 / rate, nullptr);
    return true;
}

void Stop() {
    if (!pace.timer) return;
    emscripten_clear_interval(pace.timer);
    pace.timer = 0;
}

// One thread: a mix never runs while the sound layer changes what it mixes.
void Lock() {}
void Unlock() {}

}  // namespace sound::silent
