// The window and its OpenGL context in a web browser: the page's canvas with a WebGL 2
// context through emscripten's own calls, Escape from the page's keys as the quit
// request and the keys the show takes (F12 stays the browser's). The page lays the canvas out (4:3, centred, full screen), so there is no
// display mode and no scaled present here; SDL serves the sound alone.
#include "GLWindow.h"

#include "platform/gl/Context.h"
#include "platform/message/MessageBox.h"

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
    std::deque<Key> keys;
};
WindowState state;

Key KeyOf(const char* key) {
    if (std::strcmp(key, " ") == 0) return Key::Space;
    if (std::strcmp(key, "ArrowLeft") == 0) return Key::Left;
    if (std::strcmp(key, "ArrowRight") == 0) return Key::Right;
    if (std::strcmp(key, "PageUp") == 0) return Key::PageUp;
    if (std::strcmp(key, "PageDown") == 0) return Key::PageDown;
    if (std::strcmp(key, "Home") == 0) return Key::Home;
    if (std::strcmp(key, ".") == 0) return Key::Period;
    return Key::None;
}

EM_BOOL OnKeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
    if (event->ctrlKey || event->altKey || event->metaKey) return EM_FALSE;
    if (std::strcmp(event->key, "Escape") == 0) {
        if (!event->repeat) ++state.escapes;
        return EM_TRUE;
    }
    const Key key = KeyOf(event->key);
    // As on the desktop, held down the arrows, the page keys and the period repeat.
    const bool once = key == Key::Space || key == Key::Home;
    if (key != Key::None && !(once && event->repeat)) state.keys.push_back(key);
    // The show's keys are kept from the page (Space would scroll it); every other key,
    // F12 among them, stays the browser's.
    return key != Key::None;
}

}  // namespace

void SetPresentation(Presentation) {}
// The browser paces frames by the display it shows the page on.
void SetVsync(Vsync) {}
void SetDisplay(int) {}
void UseOffscreenWithoutDisplay() {}  // the page's canvas is always there

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
    state.keys.clear();
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

Key TakeKey() {
    if (state.keys.empty()) return Key::None;
    const Key key = state.keys.front();
    state.keys.pop_front();
    return key;
}

// The canvas keeps its drawing buffer between frames, so a paused picture stays as it is
// while nothing draws.
void HoldPicture() {}
void ShowHeldPicture() {}
void DrawUnseen(bool) {}
PictureRead ReadPicture(std::unique_ptr<uint8_t[]>*, int*, int*) { return PictureRead::NoWindow; }

}  // namespace GLWindow
