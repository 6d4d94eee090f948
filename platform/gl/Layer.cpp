// The layer's one record and what every part of it reports through.
#include "platform/gl/Calls.h"

#include <cstdio>

namespace platform::gl {

Layer layer;

std::vector<Mat4>& CurrentStack() {
    switch (layer.a.transform.matrixMode) {
    case GL_PROJECTION: return layer.projection;
    case GL_TEXTURE: return layer.texture[layer.a.texture.active];
    default: return layer.modelview;
    }
}

void SetError(GLenum error) {
    if (layer.error == GL_NO_ERROR) layer.error = error;
}

void Unsupported(const char* call, GLenum value) {
    char key[96];
    std::snprintf(key, sizeof key, "%s 0x%04X", call, value);
    ++layer.unsupported[key];
}

}  // namespace platform::gl
