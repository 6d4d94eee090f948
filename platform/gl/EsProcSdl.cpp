// Where the ES calls come from on systems where SDL made the context.
#include "platform/gl/Es.h"

#include <SDL.h>

namespace platform::gl {

void* EsProc(const char* name) { return SDL_GL_GetProcAddress(name); }

}  // namespace platform::gl
