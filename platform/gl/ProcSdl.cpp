// Where GL calls come from on systems where SDL made the context.
#include "platform/gl/Proc.h"

#include <SDL.h>

namespace platform::gl {

void* SystemProc(const char* name) { return SDL_GL_GetProcAddress(name); }

}  // namespace platform::gl
