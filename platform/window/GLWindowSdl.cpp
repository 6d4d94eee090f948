// The window and its OpenGL context over SDL2: exact display mode or a scaled present,
// the demo's pixel format, the pending window events handled after each presented frame,
// Escape as the quit request.
#include "GLWindow.h"

#include "platform/gl/Context.h"
#include "platform/gl/Framebuffer.h"
#include "platform/message/MessageBox.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

unsigned char quitRequested = 0;

namespace GLWindow {

namespace {

using platform::gl::Framebuffer;
using platform::gl::FramebufferCalls;

// The window layer's state, one record for the run.
struct WindowState {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool videoStarted = false;
    Presentation presentation = Presentation::ExactMode;
    bool exactModeSet = false;  // the display is in the mode Create switched to
    int pictureWidth = 0, pictureHeight = 0;
    // The offscreen picture; all zero while frames go straight to the window.
    Framebuffer offscreen;
    // Set when the offscreen picture could not be made: decided once per context, so
    // that a failure is not retried (and its buffers made again) on every frame.
    bool offscreenFailed = false;
    Vsync vsync = Vsync::Driver;
    int display = 0;
    bool displayChosen = false;
    // The paused picture; all zero until the first HoldPicture.
    Framebuffer held;
    // One pixel with depth and stencil, for DrawUnseen; all zero until first used.
    Framebuffer unseen;
    // Keys not yet taken by the program, a ring of them: room for every key a
    // person presses (or a held key repeats) during a slow frame, such as a seek's.
    Key keys[64] = {};
    int keyFirst = 0, keyCount = 0;
};
WindowState state;

// The display mode with exactly this size, depth and refresh rate, if the display has one.
bool FindExactMode(int display, int width, int height, int refreshHz, int bitsPerPixel,
                   SDL_DisplayMode* out) {
    const int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
        // SDL counts the padding byte of 32-bit modes as 24 bits per pixel.
        const int bits = SDL_BYTESPERPIXEL(mode.format) * 8;
        if (mode.w == width && mode.h == height && mode.refresh_rate == refreshHz &&
            bits == bitsPerPixel) {
            *out = mode;
            return true;
        }
    }
    return false;
}

void SetPixelFormat() {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    platform::gl::RequestContextAttributes();
}

void FailContext() {
    platform::ShowErrorBox("Kunne ikke oprette en OpenGL Context.", "Fejl");
    SDL_DestroyWindow(state.window);
    state.window = nullptr;
}

// The context's framebuffer calls, where a framebuffer already exists.
const FramebufferCalls& Fb() { return *platform::gl::Framebuffers(); }

void DeleteHeld() {
    if (state.unseen.name) platform::gl::DeleteFramebuffer(Fb(), &state.unseen);
    if (state.held.name) platform::gl::DeleteFramebuffer(Fb(), &state.held);
}

void DeleteOffscreen() {
    if (!state.offscreen.name) return;
    Fb().BindFramebuffer(GL_FRAMEBUFFER, 0);
    platform::gl::DeleteFramebuffer(Fb(), &state.offscreen);
}

// The GL state the present touches, saved on construction and put back on destruction:
// the effects left it as they want it.
class PresentStateGuard {
public:
    PresentStateGuard() {
        scissorOn_ = glIsEnabled(GL_SCISSOR_TEST);
        glGetIntegerv(GL_SCISSOR_BOX, scissorBox_);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor_);
        glGetBooleanv(GL_COLOR_WRITEMASK, colorMask_);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    }
    ~PresentStateGuard() {
        Fb().BindFramebuffer(GL_FRAMEBUFFER, state.offscreen.name);
        if (scissorOn_) glEnable(GL_SCISSOR_TEST);
        glScissor(scissorBox_[0], scissorBox_[1], scissorBox_[2], scissorBox_[3]);
        glClearColor(clearColor_[0], clearColor_[1], clearColor_[2], clearColor_[3]);
        glColorMask(colorMask_[0], colorMask_[1], colorMask_[2], colorMask_[3]);
    }
    PresentStateGuard(const PresentStateGuard&) = delete;
    PresentStateGuard& operator=(const PresentStateGuard&) = delete;

private:
    GLboolean scissorOn_;
    GLint scissorBox_[4];
    GLfloat clearColor_[4];
    GLboolean colorMask_[4];
};

// Makes the picture-sized framebuffer the one every later drawing goes to. Before the
// first frame, the viewport and scissor box (the window's size by default) are set to
// the picture's, which is what the effects would have found on a window of its size.
// Where it cannot be made, says so once and leaves the frames to go straight to the
// window, unscaled, for the rest of the context's life.
bool CreateOffscreen(bool beforeFirstFrame) {
    if (state.offscreen.name) return true;
    if (state.offscreenFailed) return false;
    const int w = state.pictureWidth, h = state.pictureHeight;
    if (beforeFirstFrame) {
        glViewport(0, 0, w, h);
        glScissor(0, 0, w, h);
    }
    const FramebufferCalls* calls = platform::gl::Framebuffers();
    if (!calls) {
        state.offscreenFailed = true;
        std::fprintf(stderr, "kavlo: this OpenGL has no framebuffer objects; the %dx%d picture "
                             "is drawn unscaled\n", w, h);
        return false;
    }
    if (!platform::gl::CreateFramebuffer(*calls, w, h, true, &state.offscreen)) {
        state.offscreenFailed = true;
        std::fprintf(stderr, "kavlo: OpenGL cannot hold a %dx%d picture offscreen; it is drawn "
                             "unscaled\n", w, h);
        return false;
    }
    return true;
}

// From here on the picture is drawn offscreen: the window's size no longer matches it.
// The frame just drawn is carried over, since some effects draw over the last frame.
void SwitchToOffscreen() {
    if (!CreateOffscreen(false)) return;
    PresentStateGuard guard;
    Fb().BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    Fb().BindFramebuffer(GL_DRAW_FRAMEBUFFER, state.offscreen.name);
    Fb().BlitFramebuffer(0, 0, state.pictureWidth, state.pictureHeight, 0, 0,
                             state.pictureWidth, state.pictureHeight, GL_COLOR_BUFFER_BIT,
                             GL_NEAREST);
}

void ShowCursorFor(bool fullscreen) { SDL_ShowCursor(fullscreen ? SDL_DISABLE : SDL_ENABLE); }

// On Wayland the compositor sizes windows: a tiling one gives a window its tile, a
// floating one the size SDL keeps for it (the size it was created or last floated at).
// SDL resizes the buffer whenever the program asks, even in a tile, and the compositor
// does not send the tile again: the picture would stay small in its middle.
bool CompositorSizesWindows() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "wayland") == 0;
}

bool IsFullscreenKey(const SDL_KeyboardEvent& key) {
    return key.keysym.sym == SDLK_F11 ||
           (key.keysym.sym == SDLK_RETURN && (key.keysym.mod & KMOD_ALT) != 0);
}

// Held down, the arrows, the page keys and the period repeat; Space, Home and F12 do not.
Key KeyOf(const SDL_KeyboardEvent& key) {
    switch (key.keysym.sym) {
    case SDLK_SPACE: return key.repeat ? Key::None : Key::Space;
    case SDLK_LEFT: return Key::Left;
    case SDLK_RIGHT: return Key::Right;
    case SDLK_PAGEUP: return Key::PageUp;
    case SDLK_PAGEDOWN: return Key::PageDown;
    case SDLK_HOME: return key.repeat ? Key::None : Key::Home;
    case SDLK_PERIOD: return Key::Period;
    case SDLK_F12: return key.repeat ? Key::None : Key::F12;
    default: return Key::None;
    }
}

// A full ring drops the newest: keys pressed faster than frames come are not all wanted.
void QueueKey(Key key) {
    const int size = static_cast<int>(sizeof state.keys / sizeof state.keys[0]);
    if (key == Key::None || state.keyCount == size) return;
    state.keys[(state.keyFirst + state.keyCount++) % size] = key;
}

// The display asked for where it exists; 0 otherwise, said once when asked for.
int ChosenDisplay() {
    const int count = SDL_GetNumVideoDisplays();
    if (count < 1) return 0;  // SDL will say what is wrong when the window is made
    if (state.display >= 0 && state.display < count) return state.display;
    std::fprintf(stderr, "kavlo: there is no display %d (%d display%s); using display 0\n",
                 state.display, count, count == 1 ? "" : "s");
    state.display = 0;
    return 0;
}

void ApplyVsync() {
    switch (state.vsync) {
    case Vsync::Driver: break;
    case Vsync::On: SDL_GL_SetSwapInterval(1); break;
    case Vsync::Off: SDL_GL_SetSwapInterval(0); break;
    case Vsync::Adaptive:
        if (SDL_GL_SetSwapInterval(-1) != 0) {
            std::fprintf(stderr, "kavlo: this display offers no adaptive vsync; vsync is on\n");
            SDL_GL_SetSwapInterval(1);
        }
        break;
    }
}

// Escape, or a closed window, which ends the show the way Escape does.
bool AsksQuit(const SDL_Event& event) {
    return (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) ||
           event.type == SDL_QUIT ||
           (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE);
}

// `toggles` counts F11 and Alt+Enter: a window system may take a while over each switch.
void HandleEvent(const SDL_Event& event, int* toggles) {
    if (AsksQuit(event)) {
        quitRequested = 1;
    } else if (event.type == SDL_KEYDOWN) {
        if (IsFullscreenKey(event.key)) {
            if (!event.key.repeat) ++*toggles;
        } else {
            QueueKey(KeyOf(event.key));
        }
    }
}

}  // namespace

void SetPresentation(Presentation presentation) { state.presentation = presentation; }
void SetVsync(Vsync vsync) { state.vsync = vsync; }
void SetDisplay(int index) {
    state.display = index;
    state.displayChosen = true;
}

Rect FitPicture(int pictureWidth, int pictureHeight, int drawableWidth, int drawableHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || drawableWidth <= 0 || drawableHeight <= 0)
        return {0, 0, 0, 0};
    // Compare aspects in integers so that an exact fit leaves no one-pixel bar.
    const long long wide = static_cast<long long>(drawableWidth) * pictureHeight;
    const long long tall = static_cast<long long>(drawableHeight) * pictureWidth;
    Rect r {};
    if (wide >= tall) {  // bars left and right (or none)
        r.height = drawableHeight;
        r.width = static_cast<int>((tall + pictureHeight / 2) / pictureHeight);
    } else {  // bars top and bottom
        r.width = drawableWidth;
        r.height = static_cast<int>((wide + pictureWidth / 2) / pictureWidth);
    }
    r.width = std::min(std::max(r.width, 1), drawableWidth);
    r.height = std::min(std::max(r.height, 1), drawableHeight);
    r.x = (drawableWidth - r.width) / 2;
    r.y = (drawableHeight - r.height) / 2;
    return r;
}

bool Create(int width, int height, int refreshHz, int bitsPerPixel, bool fullscreen) {
    if (!state.videoStarted) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            platform::ShowErrorBox("Kunne ikke registrere vinduesklassen", "Fejl");
            return false;
        }
        state.videoStarted = true;
    }
    const bool scaled = state.presentation == Presentation::Scaled;
    const int display = ChosenDisplay();
    SDL_DisplayMode mode {};
    const bool exact =
        fullscreen && FindExactMode(display, width, height, refreshHz, bitsPerPixel, &mode);
    if (fullscreen && !exact && !scaled) return false;
    const bool desktopFullscreen = fullscreen && scaled && !exact;

    state.pictureWidth = width;
    state.pictureHeight = height;
    SetPixelFormat();
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (exact) flags |= SDL_WINDOW_BORDERLESS;
    if (scaled) flags |= SDL_WINDOW_RESIZABLE;
    // Desktop full screen keeps the desktop's mode; the window's own size is what it
    // returns to when toggled to a window.
    if (desktopFullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    // A resizable window opens centred; the others at the top left, as they always did.
    // Desktop full screen opens at the desktop's size: a window manager makes it full
    // screen either way, and an X server without one then shows it whole too. On Wayland
    // the size asked for here is the one a floating window returns to, so the picture's.
    // On another display than the first, the top left is that display's.
    SDL_Rect bounds {};
    if (display != 0) SDL_GetDisplayBounds(display, &bounds);
    const int x = scaled && !fullscreen ? SDL_WINDOWPOS_CENTERED_DISPLAY(display) : bounds.x;
    const int y = scaled && !fullscreen ? SDL_WINDOWPOS_CENTERED_DISPLAY(display) : bounds.y;
    SDL_DisplayMode desktop {};
    const bool desktopSized = desktopFullscreen &&
                              SDL_GetDesktopDisplayMode(display, &desktop) == 0 &&
                              !CompositorSizesWindows();
    state.window = SDL_CreateWindow(fullscreen ? "Visualizer" : "Dansk OpenGL tutorial", x, y,
                                    desktopSized ? desktop.w : width,
                                    desktopSized ? desktop.h : height, flags);
    if (!state.window) return false;
    if (exact) {
        // The mode change happens here, and only after the exact mode was found.
        if (SDL_SetWindowDisplayMode(state.window, &mode) != 0 ||
            SDL_SetWindowFullscreen(state.window, SDL_WINDOW_FULLSCREEN) != 0) {
            SDL_DestroyWindow(state.window);
            state.window = nullptr;
            return false;
        }
        state.exactModeSet = true;
    }
    state.context = SDL_GL_CreateContext(state.window);
    if (!state.context) {
        FailContext();
        return false;
    }
    if (SDL_GL_MakeCurrent(state.window, state.context) != 0 || !platform::gl::ContextCurrent()) {
        SDL_GL_DeleteContext(state.context);
        state.context = nullptr;
        FailContext();
        return false;
    }
    ApplyVsync();
    // Frames go straight to a window of the picture's size; only a window of another
    // size needs the offscreen picture (a window that changes size later switches then).
    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(state.window, &drawableWidth, &drawableHeight);
    state.offscreenFailed = false;
    state.keyFirst = state.keyCount = 0;
    if (desktopFullscreen && (drawableWidth != width || drawableHeight != height))
        CreateOffscreen(true);
    SDL_ShowWindow(state.window);
    SDL_RaiseWindow(state.window);
    ShowCursorFor(fullscreen);
    if (state.displayChosen) {
        const char* name = SDL_GetDisplayName(display);
        std::fprintf(stderr, "kavlo: on display %d (%s)\n", display, name ? name : "no name");
    }
    if (fullscreen) {
        if (exact) {
            std::fprintf(stderr, "kavlo: full screen at %dx%d, %d Hz\n", width, height,
                         refreshHz);
        } else {
            std::fprintf(stderr, "kavlo: no %dx%d at %d Hz; full screen at %dx%d, picture scaled\n",
                         width, height, refreshHz, desktop.w, desktop.h);
        }
    }
    return true;
}

void Destroy() {
    if (!state.window) return;
    if (state.context) {
        DeleteHeld();
        DeleteOffscreen();
    }
    // Leaving full screen and destroying the window gives the desktop its mode back.
    if (state.context) {
        platform::gl::ContextGone();
        SDL_GL_DeleteContext(state.context);
    }
    state.context = nullptr;
    SDL_DestroyWindow(state.window);
    state.window = nullptr;
    state.exactModeSet = false;
    SDL_ShowCursor(SDL_ENABLE);
}

bool DrawsOffscreen() { return state.offscreen.name != 0; }

void PresentToWindow() {
    if (!state.window || !state.context || !state.offscreen.name) return;
    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(state.window, &drawableWidth, &drawableHeight);
    const Rect fit =
        FitPicture(state.pictureWidth, state.pictureHeight, drawableWidth, drawableHeight);

    PresentStateGuard guard;
    Fb().BindFramebuffer(GL_READ_FRAMEBUFFER, state.offscreen.name);
    Fb().BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    // Only the bars are cleared; the blit covers the rest.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    const Rect bars[2] = {
        fit.width < drawableWidth ? Rect {0, 0, fit.x, drawableHeight}
                                  : Rect {0, 0, drawableWidth, fit.y},
        fit.width < drawableWidth
            ? Rect {fit.x + fit.width, 0, drawableWidth - fit.x - fit.width, drawableHeight}
            : Rect {0, fit.y + fit.height, drawableWidth, drawableHeight - fit.y - fit.height}};
    for (const Rect& bar : bars) {
        if (bar.width <= 0 || bar.height <= 0) continue;
        glScissor(bar.x, bar.y, bar.width, bar.height);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
    const bool sameSize = fit.width == state.pictureWidth && fit.height == state.pictureHeight;
    Fb().BlitFramebuffer(0, 0, state.pictureWidth, state.pictureHeight, fit.x, fit.y,
                         fit.x + fit.width, fit.y + fit.height, GL_COLOR_BUFFER_BIT,
                         sameSize ? GL_NEAREST : GL_LINEAR);
}

void ToggleFullscreen() {
    if (!state.window || state.presentation != Presentation::Scaled) return;
    const bool fullscreen = (SDL_GetWindowFlags(state.window) & SDL_WINDOW_FULLSCREEN) != 0;
    if (fullscreen) {
        SDL_SetWindowFullscreen(state.window, 0);
        if (state.exactModeSet) {
            state.exactModeSet = false;
            SDL_SetWindowBordered(state.window, SDL_TRUE);
        }
        // A window that started full screen has the desktop's size to return to. On
        // Wayland, leaving full screen waited for the compositor's size, and that stands.
        if (!CompositorSizesWindows()) {
            SDL_SetWindowSize(state.window, state.pictureWidth, state.pictureHeight);
            SDL_SetWindowPosition(state.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        }
        SDL_SetWindowTitle(state.window, "Dansk OpenGL tutorial");
    } else {
        SDL_SetWindowFullscreen(state.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        SDL_SetWindowTitle(state.window, "Visualizer");
    }
    ShowCursorFor(!fullscreen);
}

void SwapAndPump() {
    if (!state.window || !state.context) return;
    glFinish();
    glFlush();
    if (state.presentation == Presentation::Scaled && !state.offscreen.name) {
        int drawableWidth = 0, drawableHeight = 0;
        SDL_GL_GetDrawableSize(state.window, &drawableWidth, &drawableHeight);
        if (drawableWidth != state.pictureWidth || drawableHeight != state.pictureHeight)
            SwitchToOffscreen();
    }
    PresentToWindow();
    SDL_GL_SwapWindow(state.window);
    // The events pending now, and none that come while they are handled, so that a
    // storm of them cannot hold the frame; after Escape the rest no longer matter.
    // Switches between window and full screen come to one at most: X servers without a
    // window manager keep SDL waiting on each.
    SDL_PumpEvents();
    SDL_Event event;
    int toggles = 0;
    while (!quitRequested &&
           SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
        HandleEvent(event, &toggles);
    if (toggles % 2 == 1 && !quitRequested) ToggleFullscreen();
}

bool QuitPending() {
    if (quitRequested) return true;
    if (!state.window) return false;
    SDL_PumpEvents();
    // The kinds that can ask for the end, looked at where they wait in the queue.
    const Uint32 kinds[][2] = {{SDL_QUIT, SDL_QUIT},
                               {SDL_WINDOWEVENT, SDL_WINDOWEVENT},
                               {SDL_KEYDOWN, SDL_KEYDOWN}};
    std::vector<SDL_Event> events;
    for (const auto& kind : kinds) {
        const int count = SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, kind[0], kind[1]);
        if (count <= 0) continue;
        events.resize(static_cast<size_t>(count));
        const int got = SDL_PeepEvents(events.data(), count, SDL_PEEKEVENT, kind[0], kind[1]);
        for (int i = 0; i < got; ++i)
            if (AsksQuit(events[i])) quitRequested = 1;
    }
    return quitRequested != 0;
}

Key TakeKey() {
    if (state.keyCount == 0) return Key::None;
    const Key key = state.keys[state.keyFirst];
    const int size = static_cast<int>(sizeof state.keys / sizeof state.keys[0]);
    state.keyFirst = (state.keyFirst + 1) % size;
    --state.keyCount;
    return key;
}

void HoldPicture() {
    const FramebufferCalls* calls = platform::gl::Framebuffers();
    if (!state.window || !state.context || !calls) return;
    const int w = state.pictureWidth, h = state.pictureHeight;
    if (!state.held.name) {
        const bool made = platform::gl::CreateFramebuffer(*calls, w, h, false, &state.held);
        calls->BindFramebuffer(GL_FRAMEBUFFER, state.offscreen.name);
        if (!made) return;
    }
    PresentStateGuard guard;
    calls->BindFramebuffer(GL_READ_FRAMEBUFFER, state.offscreen.name);
    calls->BindFramebuffer(GL_DRAW_FRAMEBUFFER, state.held.name);
    calls->BlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

void DrawUnseen(bool unseen) {
    const FramebufferCalls* calls = platform::gl::Framebuffers();
    if (!state.window || !state.context || !calls) return;
    if (unseen && !state.unseen.name &&
        !platform::gl::CreateFramebuffer(*calls, 1, 1, true, &state.unseen))
        unseen = false;
    calls->BindFramebuffer(GL_FRAMEBUFFER, unseen ? state.unseen.name : state.offscreen.name);
}

void ShowHeldPicture() {
    if (!state.window || !state.context || !state.held.name) return;
    const int w = state.pictureWidth, h = state.pictureHeight;
    PresentStateGuard guard;
    Fb().BindFramebuffer(GL_READ_FRAMEBUFFER, state.held.name);
    Fb().BindFramebuffer(GL_DRAW_FRAMEBUFFER, state.offscreen.name);
    Fb().BlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

PictureRead ReadPicture(std::unique_ptr<uint8_t[]>* rgba, int* width, int* height) {
    if (!state.window || !state.context) return PictureRead::NoWindow;
    const int w = state.pictureWidth, h = state.pictureHeight;
    rgba->reset(new (std::nothrow) uint8_t[static_cast<size_t>(w) * h * 4]);
    if (!*rgba) return PictureRead::NoMemory;
    // The effects' own pixel-store settings stay as they were.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    GLint readBuffer = GL_BACK;
    if (!state.offscreen.name) {
        glGetIntegerv(GL_READ_BUFFER, &readBuffer);
        glReadBuffer(GL_BACK);
    }
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba->get());
    if (!state.offscreen.name) glReadBuffer(static_cast<GLenum>(readBuffer));
    glPopClientAttrib();
    *width = w;
    *height = h;
    return PictureRead::Done;
}

void UseOffscreenWithoutDisplay() {
#ifndef _WIN32  // Windows always has a desktop to make the hidden window on
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!std::getenv("SDL_VIDEODRIVER") && !(display && *display) && !(wayland && *wayland))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
#endif
}

}  // namespace GLWindow
