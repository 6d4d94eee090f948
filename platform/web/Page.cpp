// The program's calls into the page, in JavaScript: each asks the object the page
// handed to the module (Module.kavloPage), which may leave out what it does not need.
#include "Page.h"

#include <emscripten/emscripten.h>

// Names in brackets: the closure compiler keeps them as the page spells them.
EM_ASYNC_JS(void, kavlo_page_wait_frame, (), {
    await new Promise(function(resolve) { requestAnimationFrame(function() { resolve(); }); });
});

EM_ASYNC_JS(void, kavlo_page_wait_play, (), {
    var page = Module['kavloPage'];
    if (page && page['play']) await page['play'];
});

EM_JS(void, kavlo_page_call, (const char* what, double number), {
    var page = Module['kavloPage'];
    var f = page && page[UTF8ToString(what)];
    if (f) f(number);
});

EM_JS(void, kavlo_page_frame_time, (uint32_t showMs, double workMs), {
    var page = Module['kavloPage'];
    if (page && page['frameTime']) page['frameTime'](showMs >>> 0, workMs);
});

EM_JS(void, kavlo_page_time, (uint32_t showMs, int paused), {
    var page = Module['kavloPage'];
    if (page && page['time']) page['time'](showMs >>> 0, !!paused);
});

EM_JS(void, kavlo_page_message, (const char* caption, const char* text), {
    var page = Module['kavloPage'];
    if (page && page['message']) page['message'](UTF8ToString(caption), UTF8ToString(text));
});

EM_JS(void, kavlo_page_frame, (uint32_t timeMs, const uint8_t* rgba, int width, int height), {
    var page = Module['kavloPage'];
    if (page && page['frame'])
        page['frame'](timeMs >>> 0, HEAPU8.slice(rgba, rgba + width * height * 4), width, height);
});

namespace page {

void WaitForNextFrame() { kavlo_page_wait_frame(); }
void WaitForPlay() { kavlo_page_wait_play(); }
void ShowReady() { kavlo_page_call("ready", 0); }
void ShowStarted() { kavlo_page_call("started", 0); }
void ReportFrameTime(uint32_t showMs, double workMs) { kavlo_page_frame_time(showMs, workMs); }
void ShowTime(uint32_t showMs, bool paused) { kavlo_page_time(showMs, paused ? 1 : 0); }
void ShowMessage(const char* caption, const char* text) { kavlo_page_message(caption, text); }
void ReportSync(double musicMs) { kavlo_page_call("sync", musicMs); }
void HandFrame(uint32_t timeMs, const uint8_t* rgba, int width, int height) {
    kavlo_page_frame(timeMs, rgba, width, height);
}

}  // namespace page
