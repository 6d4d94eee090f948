// A browser's output: SDL plays through a ScriptProcessorNode of its Web Audio context,
// converting the mix to the context's rate. Each buffer the node asks for says when it
// plays on the context's clock (playbackTime); the context says when that clock is heard
// on the page's (getOutputTimestamp where it is sound, else its output and base latencies).
#include "OutputClock.h"

#include <emscripten/emscripten.h>

// Wraps SDL's handler to note, for each buffer the node asks for, when it plays and how
// many frames (at the context's rate) went before it.
EM_JS(int, kavlo_output_watch, (), {
    var sdl = Module['SDL2'];
    var node = sdl && sdl['audio'] && sdl['audio']['scriptProcessorNode'];
    var context = sdl && sdl['audioContext'];
    if (!node || !context) return 0;
    var handler = node['onaudioprocess'];
    var clock = Module['kavloOutputClock'] = { context: context, frames: 0, playsAt: 0, first: 0 };
    node['onaudioprocess'] = function(e) {
        var length = e['outputBuffer']['length'];
        var at = e['playbackTime'];
        clock.playsAt = typeof at === 'number' ? at : context['currentTime'] + length / context['sampleRate'];
        handler(e);
        clock.frames += length;
    };
    return 1;
});

// SDL fills the node's buffer from its converter: the mix's frame N is the context's frame
// first + N * rate / mixRate, where `first` is the one the buffer asked for when the mix
// began (nothing waits in the converter then).
EM_JS(double, kavlo_output_heard_after_ms, (double framesBefore, int mixRate), {
    var clock = Module['kavloOutputClock'];
    if (!clock) return -1e9;
    var context = clock.context;
    var rate = context['sampleRate'];
    if (framesBefore === 0) clock.first = clock.frames;
    var frame = clock.first + framesBefore * rate / mixRate;
    var plays = clock.playsAt + (frame - clock.frames) / rate;
    var now = performance.now();
    var stamp = context['getOutputTimestamp'] ? context['getOutputTimestamp']() : null;
    // WebKitGTK answers with a performanceTime ahead of now, and moving twice as fast.
    if (stamp && stamp['performanceTime'] > 0 && stamp['performanceTime'] <= now)
        return stamp['performanceTime'] + (plays - stamp['contextTime']) * 1000 - now;
    var latency = (context['baseLatency'] || 0) + (context['outputLatency'] || 0);
    return (plays - context['currentTime'] + latency) * 1000;
});

namespace sound::output {

bool Watch() { return kavlo_output_watch() != 0; }

int64_t HeardAfterNs(uint64_t framesBefore, int mixRate) {
    const double ms = kavlo_output_heard_after_ms(static_cast<double>(framesBefore), mixRate);
    if (!(ms > -1e9)) return -1;
    if (ms < 0) return 0;  // due already: heard now
    return static_cast<int64_t>(ms * 1e6);
}

}  // namespace sound::output
