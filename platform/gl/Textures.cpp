// Textures: units, bindings, parameters, images and the texture environment.
#include "platform/gl/Calls.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace platform::gl {

namespace {

void ActiveTexture(GLenum texture) {
    const int unit = static_cast<int>(texture) - GL_TEXTURE0;
    if (unit < 0 || unit >= kUnits) return SetError(GL_INVALID_ENUM);
    layer.a.texture.active = unit;
    if (layer.esActive != unit) es.ActiveTexture(texture);
    layer.esActive = unit;
}

void BindTexture(GLenum target, GLuint name) {
    if (target != GL_TEXTURE_2D) return Unsupported("glBindTexture", target);
    layer.a.texture.unit[layer.a.texture.active].binding = name;
    es.BindTexture(GL_TEXTURE_2D, name);
}

TextureInfo& BoundInfo() {
    return layer.textures[layer.a.texture.unit[layer.a.texture.active].binding];
}

GLint EsTextureParameter(GLenum pname, GLint value) {
    // GL_CLAMP's border never shows with the show's filters; the edge is the nearest ES has.
    if ((pname == GL_TEXTURE_WRAP_S || pname == GL_TEXTURE_WRAP_T) && value == GL_CLAMP)
        return GL_CLAMP_TO_EDGE;
    return value;
}

void TexParameter(GLenum target, GLenum pname, GLint value) {
    if (target != GL_TEXTURE_2D) return Unsupported("glTexParameter", target);
    switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
        BoundInfo().minFilter = static_cast<GLenum>(value);
        break;
    case GL_TEXTURE_MAG_FILTER:
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
        break;
    default:
        return Unsupported("glTexParameter", pname);
    }
    es.TexParameteri(target, pname, EsTextureParameter(pname, value));
}

GLenum BaseFormat(GLint internalFormat) {
    switch (internalFormat) {
    case 1: case GL_LUMINANCE: case GL_LUMINANCE8: return GL_LUMINANCE;
    case 2: case GL_LUMINANCE_ALPHA: case GL_LUMINANCE8_ALPHA8: return GL_LUMINANCE_ALPHA;
    case 3: case GL_RGB: case GL_RGB8: return GL_RGB;
    case 4: case GL_RGBA: case GL_RGBA8: return GL_RGBA;
    case GL_ALPHA: case GL_ALPHA8: return GL_ALPHA;
    default: return 0;
    }
}

void TexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                GLint border, GLenum format, GLenum type, const void* pixels) {
    const GLenum base = BaseFormat(internalFormat);
    // ES takes unsized formats only where the pixels are given in the same format.
    if (target != GL_TEXTURE_2D || border != 0 || base == 0 || base != format ||
        type != GL_UNSIGNED_BYTE)
        return Unsupported("glTexImage2D", base == 0 ? static_cast<GLenum>(internalFormat) : format);
    es.TexImage2D(target, level, static_cast<GLint>(base), width, height, 0, format, type, pixels);
    if (level == 0) {
        TextureInfo& info = BoundInfo();
        info.hasImage = width > 0 && height > 0;
        info.baseFormat = base;
    }
}

// How many bytes a picture of unsigned bytes takes in client memory: rows padded to the
// alignment, all but the last. 0 for another type or a format the layer does not know.
size_t UnpackedBytes(GLsizei width, GLsizei height, GLenum format, GLenum type, GLint align) {
    if (type != GL_UNSIGNED_BYTE || width <= 0 || height <= 0 || align <= 0) return 0;
    const GLenum base = BaseFormat(static_cast<GLint>(format));
    const size_t components = base == GL_RGBA ? 4 : base == GL_RGB ? 3
                              : base == GL_LUMINANCE_ALPHA  ? 2
                              : base != 0                   ? 1
                                                            : 0;
    const size_t row = static_cast<size_t>(width) * components;
    const size_t stride = (row + align - 1) / align * align;
    return components ? stride * (static_cast<size_t>(height) - 1) + row : 0;
}

void TexEnv(GLenum target, GLenum pname, GLint value) {
    if (target != GL_TEXTURE_ENV || pname != GL_TEXTURE_ENV_MODE)
        return Unsupported("glTexEnv", pname);
    switch (value) {
    case GL_MODULATE: case GL_REPLACE: case GL_DECAL: case GL_ADD:
        layer.a.texture.unit[layer.a.texture.active].envMode = static_cast<GLenum>(value);
        break;
    default:
        Unsupported("glTexEnv mode", static_cast<GLenum>(value));
    }
}

void TexGen(GLenum coord, GLenum pname, GLint value) {
    TextureUnit& unit = layer.a.texture.unit[layer.a.texture.active];
    if (pname != GL_TEXTURE_GEN_MODE || (coord != GL_S && coord != GL_T))
        return Unsupported("glTexGen", coord == GL_S || coord == GL_T ? pname : coord);
    if (value != GL_SPHERE_MAP) Unsupported("glTexGen mode", static_cast<GLenum>(value));
    (coord == GL_S ? unit.genModeS : unit.genModeT) = static_cast<GLenum>(value);
}

}  // namespace

}  // namespace platform::gl

using namespace platform::gl;

extern "C" {

void glGenTextures(GLsizei n, GLuint* names) { es.GenTextures(n, names); }
void glDeleteTextures(GLsizei n, const GLuint* names) {
    for (GLsizei i = 0; i < n; ++i) {
        if (names[i] == 0) continue;
        layer.textures.erase(names[i]);
        // A deleted texture leaves every unit it was bound to with texture 0.
        for (TextureUnit& unit : layer.a.texture.unit)
            if (unit.binding == names[i]) unit.binding = 0;
    }
    es.DeleteTextures(n, names);
}
void glBindTexture(GLenum target, GLuint name) {
    RecordOrRun([=] { BindTexture(target, name); });
}
void glActiveTextureARB(GLenum texture) {
    RecordOrRun([=] { ActiveTexture(texture); });
}
void glActiveTexture(GLenum texture) { glActiveTextureARB(texture); }
void glTexParameteri(GLenum target, GLenum pname, GLint value) {
    RecordOrRun([=] { TexParameter(target, pname, value); });
}
void glTexParameterf(GLenum target, GLenum pname, GLfloat value) {
    glTexParameteri(target, pname, static_cast<GLint>(value));
}
void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                  GLsizei height, GLint border, GLenum format, GLenum type, const void* pixels) {
    // Pictures are uploaded outside lists in the show; a list does not keep their pixels.
    if (CompileOnly()) return Unsupported("glTexImage2D in a display list", target);
    TexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
}
void glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width,
                     GLsizei height, GLenum format, GLenum type, const void* pixels) {
    if (!Recording()) return es.TexSubImage2D(target, level, x, y, width, height, format, type, pixels);
    // A list keeps the pixels as they are now, read with the unpack alignment of now.
    const GLint align = layer.client.unpackAlignment;
    const size_t bytes = UnpackedBytes(width, height, format, type, align);
    if (bytes == 0 || !pixels) {
        Unsupported("glTexSubImage2D in a display list", format);
        if (!CompileOnly()) es.TexSubImage2D(target, level, x, y, width, height, format, type, pixels);
        return;
    }
    const auto* from = static_cast<const unsigned char*>(pixels);
    const auto kept = std::make_shared<const std::vector<unsigned char>>(from, from + bytes);
    RecordOrRun([=] {
        es.PixelStorei(GL_UNPACK_ALIGNMENT, align);
        es.TexSubImage2D(target, level, x, y, width, height, format, type, kept->data());
        es.PixelStorei(GL_UNPACK_ALIGNMENT, layer.client.unpackAlignment);
    });
}

void glTexEnvf(GLenum target, GLenum pname, GLfloat value) {
    RecordOrRun([=] { TexEnv(target, pname, static_cast<GLint>(value)); });
}
void glTexEnvi(GLenum target, GLenum pname, GLint value) {
    RecordOrRun([=] { TexEnv(target, pname, value); });
}
void glTexGeni(GLenum coord, GLenum pname, GLint value) {
    RecordOrRun([=] { TexGen(coord, pname, value); });
}
void glTexGenf(GLenum coord, GLenum pname, GLfloat value) {
    glTexGeni(coord, pname, static_cast<GLint>(value));
}

}  // extern "C"
