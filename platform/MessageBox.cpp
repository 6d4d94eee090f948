// Error message boxes, echoed to stderr: Windows' own message box there, a message on
// the page in a browser, SDL's elsewhere.
#include "MessageBox.h"

#include <SDL.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string>

#include "platform/windows/Windows.h"
#endif

#ifdef __EMSCRIPTEN__
#include "platform/web/Page.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

std::mutex hookMutex;
const char* hint = nullptr;
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

bool DisplayCanShowBox() {
#ifdef __EMSCRIPTEN__
    return true;  // the page is always there, and SDL has no video in a browser
#else
    if (std::getenv("CI")) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
                   std::strcmp(driver, "evdev") == 0))
        return false;
#ifdef _WIN32
    return true;  // there is always a desktop
#else
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
#endif
#endif
}

void ShowBox(const char* text, const char* caption) {
#ifdef _WIN32
    std::wstring wideText, wideCaption;
    if (platform::windows::Widen(text, &wideText) && platform::windows::Widen(caption, &wideCaption))
        MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), MB_OK | MB_ICONERROR);
    else
        MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
#elif defined(__EMSCRIPTEN__)
    // A box would stop the page; the page shows the message and goes on.
    page::ShowMessage(caption, text);
#else
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
#endif
}

}  // namespace

void ShowErrorBox(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    if (hint) std::fprintf(stderr, "%s\n", hint);
    std::fflush(stderr);
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        if (Hook()) {
            Hook()(text, caption);
            return;
        }
    }
    if (DisplayCanShowBox()) ShowBox(text, caption);
}

void SetErrorBoxHint(const char* line) { hint = line; }

void SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    Hook() = std::move(hook);
}

}  // namespace platform
