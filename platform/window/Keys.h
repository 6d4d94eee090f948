// The keys the window layer hands on, named by the key: what each one does is the
// program's business.
#pragma once

namespace GLWindow {

enum class Key {
    None,
    Space,
    Left,
    Right,
    PageUp,
    PageDown,
    Home,
    Period,
    F12,
};

}  // namespace GLWindow
