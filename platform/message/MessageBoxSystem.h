// The system's side of the message boxes: a file per system.
#pragma once

namespace platform::box {

// Whether a box shown now can be seen and closed by someone.
bool DisplayCanShowBox();
// Shows the box (error icon, no owner window) and returns once it is closed.
void ShowBox(const char* text, const char* caption);

// True where no one can close a box, whatever the system: $CI set, or SDL's offscreen,
// dummy or evdev video driver.
bool NoOneToClose();

}  // namespace platform::box
