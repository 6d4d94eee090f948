// The window and its OpenGL context in a web browser: the page's canvas with a WebGL 2
// context through emscripten's own calls, Escape from the page's keys as the quit
// request and the player's keys (F12 stays the browser's). The page lays the canvas out (4:3, centred, full screen), so there is no
// display mode and no scaled present here; SDL serves the sound alone.
#include "GLWindow.h"

#include "platform/MessageBox.h"
#include "platform/gl/Context.h"

#include <emscripten/html5.h>

#include <cstring>
#include <deque>

unsigned char quitRequested = 0;

namespace GLWindow {

namespace {

constexpr const char* kCanvas = "#canvas";

struct WindowState {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    // Escapes pressed since the last frame, handled one a frame as window messages are.
    int escapes = 0;
    std::deque<PlayerKey> playerKeys;
};
WindowState state;

PlayerKey PlayerKeyOf(const char* key) {
    if (std::strcmp(key, " ") == 0) return PlayerKey::PlayPause;
    if (std::strcmp(key, "ArrowLeft") == 0) return PlayerKey::Back;
    if (std::strcmp(key, "ArrowRight") == 0) return PlayerKey::Forward;
    if (std::strcmp(key, "PageUp") == 0) return PlayerKey::PreviousEffect;
    if (std::strcmp(key, "PageDown") == 0) return PlayerKey::NextEffect;
    if (std::strcmp(key, "Home") == 0) return PlayerKey::Start;
    if (std::strcmp(key, ".") == 0) return PlayerKey::StepFrame;
    return PlayerKey::None;
}

EM_BOOL OnKeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
    if (event->ctrlKey || event->altKey || event->metaKey) return EM_FALSE;
    if (std::strcmp(event->key, "Escape") == 0) {
        if (!event->repeat) ++state.escapes;
        return EM_TRUE;
    }
    const PlayerKey key = PlayerKeyOf(event->key);
    // As on the desktop, held down the seeks and the frame step repeat.
    const bool once = key == PlayerKey::PlayPause || key == PlayerKey::Start;
    if (key != PlayerKey::None && !(once && event->repeat)) state.playerKeys.push_back(key);
    // The show's keys are kept from the page (Space would scroll it); every other key,
    // F12 among them, stays the browser's.
    return key != PlayerKey::None;
}

}  // namespace

void SetPresentation(Presentation) {}
// The browser paces frames by the display it shows the page on.
void SetVsync(Vsync) {}
void SetDisplay(int) {}

bool Create(int width, int height, int, int, bool) {
    if (state.context) return false;
    emscripten_set_canvas_element_size(kCanvas, width, height);
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    // The desktop's pixel format, opaque. The drawing buffer is kept between frames:
    // some fades add onto the last frame, as a desktop window keeps it.
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_TRUE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE;
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    state.context = emscripten_webgl_create_context(kCanvas, &attributes);
    if (state.context <= 0 || emscripten_webgl_make_context_current(state.context) != EMSCRIPTEN_RESULT_SUCCESS ||
        !platform::gl::ContextCurrent()) {
        if (state.context > 0) emscripten_webgl_destroy_context(state.context);
        state.context = 0;
        platform::ShowErrorBox("Kunne ikke oprette en OpenGL Context.", "Fejl");
        return false;
    }
    state.escapes = 0;
    state.playerKeys.clear();
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, OnKeyDown);
    return true;
}

void Destroy() {
    if (!state.context) return;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
    platform::gl::ContextGone();
    emscripten_webgl_destroy_context(state.context);
    state.context = 0;
}

bool DrawsOffscreen() { return false; }
void PresentToWindow() {}
void ToggleFullscreen() {}
void UseFramebufferLookup(ProcLookup) {}

void SwapAndPump() {
    if (!state.context) return;
    // The browser shows the frame once the show yields to it.
    glFinish();
    glFlush();
    if (state.escapes == 0) return;
    --state.escapes;
    quitRequested = 1;
}

// Keys reach the page only while the show yields, so an Escape pending now came then.
bool QuitPending() {
    if (state.escapes > 0) {
        --state.escapes;
        quitRequested = 1;
    }
    return quitRequested != 0;
}

PlayerKey TakePlayerKey() {
    if (state.playerKeys.empty()) return PlayerKey::None;
    const PlayerKey key = state.playerKeys.front();
    state.playerKeys.pop_front();
    return key;
}

// The canvas keeps its drawing buffer between frames, so a paused picture stays as it is
// while nothing draws.
void HoldPicture() {}
void ShowHeldPicture() {}
void DrawUnseen(bool) {}
bool ReadPicture(std::vector<uint8_t>*, int*, int*) { return false; }

}  // namespace GLWindow
