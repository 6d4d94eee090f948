// The keys of the show as a player, and which key of the window does which.
#pragma once

#include "platform/window/Keys.h"

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

inline PlayerKey PlayerKeyOf(GLWindow::Key key) {
    switch (key) {
    case GLWindow::Key::Space: return PlayerKey::PlayPause;
    case GLWindow::Key::Left: return PlayerKey::Back;
    case GLWindow::Key::Right: return PlayerKey::Forward;
    case GLWindow::Key::PageUp: return PlayerKey::PreviousEffect;
    case GLWindow::Key::PageDown: return PlayerKey::NextEffect;
    case GLWindow::Key::Home: return PlayerKey::Start;
    case GLWindow::Key::Period: return PlayerKey::StepFrame;
    case GLWindow::Key::F12: return PlayerKey::Screenshot;
    case GLWindow::Key::None: break;
    }
    return PlayerKey::None;
}
