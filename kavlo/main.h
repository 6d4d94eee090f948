// The demo's control flow: music, window, loading screen, the timeline of effects and
// the frame loop. `RunDemo` is the whole program; the programs' mains (app/) only read
// the command line and hand it the machine's roles.
#pragma once

#include "Player.h"
#include "ShellPlatform.h"
#include "Timeline.h"

// Exit statuses of the show. The original returned 0 on every path, so a run that only
// showed an error box looked like a success to whoever started it.
constexpr int kExitSuccess = 0;  // the show ended by its length, Escape or the music
constexpr int kExitFailure = 1;  // a failure, after its message was shown

// The size the effects draw their picture at. The show was made for 800 x 600; larger
// sizes give a sharper picture of the same show, not more of it.
struct RenderSize {
    int width = 800;
    int height = 600;
};

// The whole show. `fullscreen` false opens a window instead of changing the display
// mode. kExitSuccess after a normal end or Escape, kExitFailure after any failure.
// Between frames the player keys (PlayerKey) pause, seek, step and save the picture;
// shown without a key, the show is the original's.
int RunDemo(const ShellPlatform& platform, bool fullscreen, RenderSize size = RenderSize(),
            PlayOptions options = PlayOptions());
