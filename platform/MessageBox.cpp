// Error message boxes over SDL, echoed to stderr.
#include "MessageBox.h"

#include <SDL.h>

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
    if (std::getenv("CI")) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
                   std::strcmp(driver, "evdev") == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
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
    if (DisplayCanShowBox()) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
}

void SetErrorBoxHint(const char* line) { hint = line; }

void SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    Hook() = std::move(hook);
}

}  // namespace platform
