// The one report of pending GL errors, for every program that looks for them.
#include "platform/gl/Errors.h"

#include <GL/gl.h>

#include <cstdio>

namespace platform::gl {

void ReportGLErrors(uint32_t showTimeMs) {
    for (int n = 0; n < 8; ++n) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) break;
        std::fprintf(stderr, "kavlo: GL error 0x%04X (show time %u ms)\n", error,
                     static_cast<unsigned>(showTimeMs));
    }
}

}  // namespace platform::gl
