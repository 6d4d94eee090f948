// The keys of the show as a player, as the window layer hands them to the shell.
#pragma once

enum class PlayerKey {
    None,
    PlayPause,       // Space
    Back,            // Left: 5 s back
    Forward,         // Right: 5 s on
    PreviousEffect,  // Page Up: the start of the effect window before the current one
    NextEffect,      // Page Down: the start of the next effect window
    Start,           // Home: the start of the show
    StepFrame,       // '.': one frame on, while paused
    Screenshot,      // F12
};
