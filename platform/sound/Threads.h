// Whether the program may start threads of its own. A page in a browser runs on the
// page's one thread: there the sound library hands each sync over as its row is mixed.
#pragma once

namespace sound {

#ifdef __EMSCRIPTEN__
inline constexpr bool kOwnThreads = false;
#else
inline constexpr bool kOwnThreads = true;
#endif

}  // namespace sound
