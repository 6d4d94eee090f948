// Message boxes through SDL, on an X11 or Wayland display.
#include "MessageBoxSystem.h"

#include <SDL.h>

#include <cstdlib>

namespace platform::box {

bool DisplayCanShowBox() {
    if (NoOneToClose()) return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

void ShowBox(const char* text, const char* caption) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
}

}  // namespace platform::box
