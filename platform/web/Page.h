// The program's calls into the page that runs it (platform/web/page/page.js): frames,
// the click that starts the music, the show time for its controls, messages, and what
// the page's test reads.
#pragma once

#include <cstdint>

namespace page {

// Yields to the browser until its next animation frame (the program is suspended
// meanwhile, its stack kept), so that the frame just drawn is shown and the page's
// events, sound and timers run.
void WaitForNextFrame();

// Yields until the page says to play (the viewer's click, which browsers require
// before sound may start).
void WaitForPlay();

// The show has loaded and waits for the page's word to play.
void ShowReady();

// The first frame of the show has been drawn.
void ShowStarted();

// How long the frame at this show time took to draw, from the browser handing control
// back to the frame's swap (for the page's measurements).
void ReportFrameTime(uint32_t showMs, double workMs);

// The show time of the picture about to be shown, and whether the show is paused on it
// (for the page's controls).
void ShowTime(uint32_t showMs, bool paused);

// An error message, shown on the page in place of a message box.
void ShowMessage(const char* caption, const char* text);

// A sync delivered to the show, at this time of the music.
void ReportSync(double musicMs);

// A frame the page's test asked for: `rgba` holds width * height pixels, the first row
// at the bottom (GL's order); it is copied before this returns.
void HandFrame(uint32_t timeMs, const uint8_t* rgba, int width, int height);

}  // namespace page
