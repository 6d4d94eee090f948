// What the files of the GL entry points share: whether a call goes into a display list,
// and the few helpers more than one of them needs.
#pragma once

#include "platform/gl/State.h"

#include <algorithm>

namespace platform::gl {

// Calls go into the list being compiled, except those a list's replay makes.
inline bool Recording() { return layer.compiling && layer.callDepth == 0; }
inline bool CompileOnly() { return Recording() && layer.compileMode == GL_COMPILE; }

// A call a display list keeps: run now, kept in the list being compiled, or both (as
// glNewList's mode says). A list's replay runs it without keeping it again.
template <class F>
void RecordOrRun(F&& call) {
    if (Recording()) {
        layer.compiling->commands.emplace_back(call);
        if (layer.compileMode == GL_COMPILE) return;
    }
    call();
}

inline void Set4(float* to, float a, float b, float c, float d) {
    to[0] = a, to[1] = b, to[2] = c, to[3] = d;
}

inline float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

// The flag a capability is kept in; null for one the layer does not know (FixedState.cpp).
bool* EnableFlag(GLenum cap);

}  // namespace platform::gl
