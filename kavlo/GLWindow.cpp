// The window and its OpenGL context over SDL2: exact display mode, the demo's pixel
// format, one window event per presented frame, Escape as the quit request.
#include "GLWindow.h"

#include "platform/MessageBox.h"

#include <SDL.h>

unsigned char quitRequested = 0;

namespace GLWindow {

PFNGLUNLOCKARRAYSEXTPROC UnlockArraysEXT = nullptr;
PFNGLLOCKARRAYSEXTPROC LockArraysEXT = nullptr;
PFNGLMULTITEXCOORD1FARBPROC MultiTexCoord1fARB = nullptr;
PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2fARB = nullptr;
PFNGLMULTITEXCOORD3FARBPROC MultiTexCoord3fARB = nullptr;
PFNGLMULTITEXCOORD4FARBPROC MultiTexCoord4fARB = nullptr;
PFNGLACTIVETEXTUREARBPROC ActiveTextureARB = nullptr;
PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTextureARB = nullptr;

namespace {

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
bool videoStarted = false;

// The display mode with exactly this size, depth and refresh rate, if the display has one.
bool FindExactMode(int width, int height, int refreshHz, int bitsPerPixel, SDL_DisplayMode* out) {
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
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
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

void FailContext() {
    platform::ShowErrorBox("Kunne ikke oprette en OpenGL Context.", "Fejl");
    SDL_DestroyWindow(window);
    window = nullptr;
}

}  // namespace

bool Create(int width, int height, int refreshHz, int bitsPerPixel, bool fullscreen) {
    if (!videoStarted) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            platform::ShowErrorBox("Kunne ikke registrere vinduesklassen", "Fejl");
            return false;
        }
        videoStarted = true;
    }
    SDL_DisplayMode mode {};
    if (fullscreen && !FindExactMode(width, height, refreshHz, bitsPerPixel, &mode)) return false;

    SetPixelFormat();
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN |
                         (fullscreen ? SDL_WINDOW_BORDERLESS : 0);
    window = SDL_CreateWindow(fullscreen ? "Visualizer" : "Dansk OpenGL tutorial", 0, 0, width,
                              height, flags);
    if (!window) return false;
    if (fullscreen) {
        // The mode change happens here, and only after the exact mode was found.
        if (SDL_SetWindowDisplayMode(window, &mode) != 0 ||
            SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) {
            SDL_DestroyWindow(window);
            window = nullptr;
            return false;
        }
    }
    context = SDL_GL_CreateContext(window);
    if (!context) {
        FailContext();
        return false;
    }
    if (SDL_GL_MakeCurrent(window, context) != 0) {
        SDL_GL_DeleteContext(context);
        context = nullptr;
        FailContext();
        return false;
    }
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
    SDL_ShowCursor(SDL_DISABLE);
    return true;
}

void Destroy() {
    if (!window) return;
    // Leaving full screen and destroying the window gives the desktop its mode back.
    if (context) SDL_GL_DeleteContext(context);
    context = nullptr;
    SDL_DestroyWindow(window);
    window = nullptr;
    SDL_ShowCursor(SDL_ENABLE);
}

void SwapAndPump() {
    if (!window || !context) return;
    glFinish();
    glFlush();
    SDL_GL_SwapWindow(window);
    SDL_Event event;
    if (!SDL_PollEvent(&event)) return;
    switch (event.type) {
    case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE) quitRequested = 1;
        break;
    case SDL_QUIT:
        // A closed window ends the show the way Escape does.
        quitRequested = 1;
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) quitRequested = 1;
        break;
    default:
        break;
    }
}

bool LoadExtensionsWith(ProcLookup lookup) {
    UnlockArraysEXT = reinterpret_cast<PFNGLUNLOCKARRAYSEXTPROC>(lookup("glUnlockArraysEXT"));
    LockArraysEXT = reinterpret_cast<PFNGLLOCKARRAYSEXTPROC>(lookup("glLockArraysEXT"));
    MultiTexCoord1fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD1FARBPROC>(lookup("glMultiTexCoord1fARB"));
    MultiTexCoord2fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD2FARBPROC>(lookup("glMultiTexCoord2fARB"));
    MultiTexCoord3fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD3FARBPROC>(lookup("glMultiTexCoord3fARB"));
    MultiTexCoord4fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD4FARBPROC>(lookup("glMultiTexCoord4fARB"));
    ActiveTextureARB = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(lookup("glActiveTextureARB"));
    ClientActiveTextureARB =
        reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(lookup("glClientActiveTextureARB"));
    // The lock-array pair is fetched but never required.
    if (!MultiTexCoord1fARB || !MultiTexCoord2fARB || !MultiTexCoord3fARB ||
        !MultiTexCoord4fARB || !ActiveTextureARB || !ClientActiveTextureARB) {
        platform::ShowErrorBox("Your OpenGL does not support either multitexturing or lockarray.",
                               "OpenGL Setup Error!");
        return false;
    }
    return true;
}

bool LoadExtensions() {
    return LoadExtensionsWith([](const char* name) { return SDL_GL_GetProcAddress(name); });
}

}  // namespace GLWindow
