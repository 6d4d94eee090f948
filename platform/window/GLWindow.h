// The window and its OpenGL context: the demo's only contact with the window system
// (SDL2 stands in for it). One window per run; a module of free functions over
// process-wide state, all used from the main thread only.
#pragma once

#include "platform/gl/Extensions.h"
#include "platform/window/Keys.h"

#include <cstdint>
#include <memory>
#include <vector>

// Set to 1 when Escape is pressed or the window is closed; read by the frame loop.
extern unsigned char quitRequested;

namespace GLWindow {

// How Create reaches the screen.
enum class Presentation {
    // Full screen only in the exact display mode asked for; a window of exactly the
    // picture's size otherwise. The frames go straight to the window.
    ExactMode,
    // The exact display mode where the display has it; otherwise full screen at the
    // desktop's own mode, without changing it. Windows are resizable. Wherever the
    // window's size is not the picture's, the picture is drawn into an offscreen
    // framebuffer of the asked size and presented scaled to the window, aspect kept,
    // black bars around it (a window of the picture's size gets the frames directly
    // until it is resized). F11 and Alt+Enter toggle between window and full screen;
    // the window is of the picture's size again, or on Wayland the compositor's choice.
    // Where OpenGL cannot make the offscreen picture, that is said once on stderr and
    // the picture goes to the window unscaled for the rest of the run.
    Scaled,
};
// Chosen before Create; ExactMode until then (the capture and the tests rely on it).
void SetPresentation(Presentation presentation);

// Whether a swap waits for the display's refresh. Driver leaves the driver's own choice
// (the default: the capture and the tests rely on it); Adaptive waits unless a frame is
// late, where the driver offers that, and is On elsewhere (said on stderr).
enum class Vsync { Driver, On, Off, Adaptive };
void SetVsync(Vsync vsync);  // before Create
// The display (SDL's index) that full screen uses and a window opens on; 0 by default.
// One that does not exist gives display 0. When set, Create says on stderr which
// display it took.
void SetDisplay(int index);  // before Create
// For programs that only read their pictures back: where no display is named (neither
// DISPLAY nor WAYLAND_DISPLAY) and SDL_VIDEODRIVER names no driver, windows are made by
// SDL's offscreen driver. Before Create.
void UseOffscreenWithoutDisplay();

// Opens the window with a current, double-buffered GL context (RGBA 8/8/8/8, depth 16,
// stencil 1). Full screen: switches the display to exactly width x height at
// bitsPerPixel and refreshHz in a borderless window; a display without that exact mode
// makes it fail with no message and the desktop untouched, unless the presentation is
// Scaled, which then goes to desktop full screen instead (and says so on stderr). With
// fullscreen false, opens a window of that size titled "Dansk OpenGL tutorial" and
// leaves the display mode alone. The effects always see a width x height picture:
// viewport, scissor and read-back coordinates are the same on every path.
bool Create(int width, int height, int refreshHz, int bitsPerPixel, bool fullscreen);

// Restores the display mode and removes the window.
void Destroy();

// glFinish, glFlush, the present (the scaled copy to the window, where the picture is
// offscreen) and buffer swap, then handles the window events pending at that moment
// (none after Escape). Does nothing when there is no window. The present leaves every GL state the effects can
// see as it found it.
void SwapAndPump();

// The scaled copy of the offscreen picture to the window's back buffer, without the
// swap; nothing when the picture goes straight to the window. For tests.
void PresentToWindow();

// The keys SwapAndPump has found, oldest first; None when there is none left. Held down,
// a key repeats, but Space, Home and F12, which count once per press.
Key TakeKey();

// Between swaps: whether Escape or a close of the window is pending, in which case the
// quit request is set. Nothing else is taken from the events; SwapAndPump handles them.
bool QuitPending();

// The picture while the show is paused: HoldPicture keeps a copy of the picture just
// drawn, ShowHeldPicture puts it back where it was drawn, for the next SwapAndPump to
// present (scaled, resized and toggled like any frame). Nothing where OpenGL has no
// framebuffer objects. GL state is left as found.
void HoldPicture();
void ShowHeldPicture();

// With true, drawing goes to a framebuffer of one pixel until false: frames drawn only
// for the GL state they leave then cost no filling. Drawing goes on as usual where
// OpenGL has no framebuffer objects.
void DrawUnseen(bool unseen);

// The picture just drawn (before its SwapAndPump), at its render size: RGBA rows from
// the bottom up. A huge render size may not fit in memory: NoMemory then, and nothing
// is read.
enum class PictureRead { Done, NoWindow, NoMemory };
PictureRead ReadPicture(std::unique_ptr<uint8_t[]>* rgba, int* width, int* height);
// Whether the picture is drawn offscreen and presented scaled.
bool DrawsOffscreen();
// Between window and desktop full screen (what F11 and Alt+Enter do when Scaled).
void ToggleFullscreen();
// Where the picture lands in a drawable of this size: the largest rectangle of the
// picture's aspect that fits, centred. x, y from the bottom left, as GL counts.
struct Rect {
    int x, y, width, height;
};
Rect FitPicture(int pictureWidth, int pictureHeight, int drawableWidth, int drawableHeight);

}  // namespace GLWindow
