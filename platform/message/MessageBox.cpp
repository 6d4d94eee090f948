// Error message boxes, echoed to stderr; the box itself is the system's
// (MessageBoxSdl.cpp, MessageBoxWindows.cpp, MessageBoxWeb.cpp).
#include "MessageBox.h"

#include "MessageBoxSystem.h"

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

}  // namespace

namespace box {

bool NoOneToClose() {
    if (std::getenv("CI")) return true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) driver = std::getenv("SDL_VIDEODRIVER");
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
                      std::strcmp(driver, "evdev") == 0);
}

}  // namespace box

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
    if (box::DisplayCanShowBox()) box::ShowBox(text, caption);
}

void SetErrorBoxHint(const char* line) { hint = line; }

void SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    Hook() = std::move(hook);
}

}  // namespace platform
