// The desktop's OpenGL: a compatibility-profile context, extensions from the driver.
#include "platform/gl/Context.h"

#include <SDL.h>

namespace platform::gl {

void RequestContextAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

bool ContextCurrent() { return true; }

void ContextGone() {}

void* ExtensionProc(const char* name) { return SDL_GL_GetProcAddress(name); }

}  // namespace platform::gl
