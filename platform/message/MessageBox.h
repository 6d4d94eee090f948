// Error message boxes: a message box with the given caption and text (error icon, no
// owner window; Windows' own on Windows, SDL's elsewhere), always echoed to stderr as
// "caption: text".
#pragma once

#include <functional>

namespace platform {

// Shows the box and returns after the user closes it. Where no display can show one
// (no X11 or Wayland display outside Windows, SDL's offscreen or dummy video driver,
// or $CI set) only
// the stderr line is written, so nothing ever waits for a click.
void ShowErrorBox(const char* text, const char* caption);

// A line written to stderr after the next boxes' own line, before they wait for the
// user, so that a terminal shows the way out while the box is open; null for none.
void SetErrorBoxHint(const char* line);

// Tests can watch the boxes; while a hook is set it is called instead of showing a box
// (the stderr line is still written). Pass an empty function to remove it.
using MessageBoxHook = std::function<void(const char* text, const char* caption)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace platform
