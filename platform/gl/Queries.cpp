// Queries: answered from the layer's record where it keeps the state, by ES otherwise.
#include "platform/gl/Calls.h"

#include <algorithm>
#include <limits>

namespace platform::gl {

namespace {

// The value of a state the layer keeps; false for one to ask ES about.
bool Query(GLenum pname, double* out, int* count) {
    const Attribs& a = layer.a;
    auto put = [&](std::initializer_list<double> v) {
        *count = static_cast<int>(v.size());
        std::copy(v.begin(), v.end(), out);
        return true;
    };
    auto putArray = [&](const float* v, int n) {
        *count = n;
        for (int i = 0; i < n; ++i) out[i] = v[i];
        return true;
    };
    const int unit = a.texture.active;
    if (bool* flag = EnableFlag(pname)) return put({*flag ? 1.0 : 0.0});
    switch (pname) {
    case GL_MODELVIEW_MATRIX: return putArray(Top(layer.modelview).m, 16);
    case GL_PROJECTION_MATRIX: return putArray(Top(layer.projection).m, 16);
    case GL_TEXTURE_MATRIX: return putArray(Top(layer.texture[unit]).m, 16);
    case GL_MODELVIEW_STACK_DEPTH: return put({double(layer.modelview.size())});
    case GL_PROJECTION_STACK_DEPTH: return put({double(layer.projection.size())});
    case GL_TEXTURE_STACK_DEPTH: return put({double(layer.texture[unit].size())});
    case GL_MAX_MODELVIEW_STACK_DEPTH: return put({kModelviewDepth});
    case GL_MAX_PROJECTION_STACK_DEPTH: return put({kProjectionDepth});
    case GL_MAX_TEXTURE_STACK_DEPTH: return put({kTextureDepth});
    case GL_MAX_ATTRIB_STACK_DEPTH: return put({kAttribDepth});
    case GL_MAX_CLIENT_ATTRIB_STACK_DEPTH: return put({kAttribDepth});
    case GL_ATTRIB_STACK_DEPTH: return put({double(layer.attribStack.size())});
    case GL_CLIENT_ATTRIB_STACK_DEPTH: return put({double(layer.clientStack.size())});
    case GL_MATRIX_MODE: return put({double(a.transform.matrixMode)});
    case GL_CURRENT_COLOR: return putArray(a.current.color, 4);
    case GL_CURRENT_NORMAL: return putArray(a.current.normal, 3);
    case GL_CURRENT_TEXTURE_COORDS: return putArray(a.current.tex[unit], 4);
    case GL_FOG_MODE: return put({double(a.fog.mode)});
    case GL_FOG_DENSITY: return put({a.fog.density});
    case GL_FOG_START: return put({a.fog.start});
    case GL_FOG_END: return put({a.fog.end});
    case GL_FOG_COLOR: return putArray(a.fog.color, 4);
    case GL_SHADE_MODEL: return put({double(a.lighting.shadeModel)});
    case GL_ALPHA_TEST_FUNC: return put({double(a.color.alphaFunc)});
    case GL_ALPHA_TEST_REF: return put({a.color.alphaRef});
    case GL_BLEND_SRC: return put({double(a.color.blendSrc)});
    case GL_BLEND_DST: return put({double(a.color.blendDst)});
    case GL_COLOR_WRITEMASK:
        return put({double(a.color.colorMask[0]), double(a.color.colorMask[1]),
                    double(a.color.colorMask[2]), double(a.color.colorMask[3])});
    case GL_COLOR_CLEAR_VALUE: return putArray(a.color.clearColor, 4);
    case GL_DEPTH_FUNC: return put({double(a.depth.func)});
    case GL_DEPTH_WRITEMASK: return put({double(a.depth.mask)});
    case GL_DEPTH_CLEAR_VALUE: return put({a.depth.clear});
    case GL_CULL_FACE_MODE: return put({double(a.polygon.cullMode)});
    case GL_FRONT_FACE: return put({double(a.polygon.frontFace)});
    case GL_SCISSOR_BOX:
        return put({double(a.scissor.box[0]), double(a.scissor.box[1]), double(a.scissor.box[2]),
                    double(a.scissor.box[3])});
    case GL_VIEWPORT:
        return put({double(a.viewport.box[0]), double(a.viewport.box[1]),
                    double(a.viewport.box[2]), double(a.viewport.box[3])});
    case GL_DEPTH_RANGE: return put({a.viewport.zNear, a.viewport.zFar});
    case GL_LINE_WIDTH: return put({a.lineWidth});
    case GL_TEXTURE_BINDING_2D: return put({double(a.texture.unit[unit].binding)});
    case GL_ACTIVE_TEXTURE: return put({double(GL_TEXTURE0 + unit)});
    case GL_CLIENT_ACTIVE_TEXTURE: return put({double(GL_TEXTURE0 + layer.client.clientActive)});
    case GL_MAX_TEXTURE_UNITS: return put({kUnits});
    case GL_PACK_ALIGNMENT: return put({double(layer.client.packAlignment)});
    case GL_UNPACK_ALIGNMENT: return put({double(layer.client.unpackAlignment)});
    case GL_LIST_INDEX: return put({double(layer.compiling ? layer.compilingName : 0)});
    case GL_LIST_MODE: return put({double(layer.compiling ? layer.compileMode : 0)});
    case GL_VERTEX_ARRAY: return put({layer.client.vertex.enabled ? 1.0 : 0.0});
    case GL_COLOR_ARRAY: return put({layer.client.color.enabled ? 1.0 : 0.0});
    case GL_NORMAL_ARRAY: return put({layer.client.normal.enabled ? 1.0 : 0.0});
    case GL_TEXTURE_COORD_ARRAY:
        return put({layer.client.tex[layer.client.clientActive].enabled ? 1.0 : 0.0});
    default:
        return false;
    }
}

// How many values ES answers a query with, for the ones the layer passes on.
int EsQuerySize(GLenum pname) {
    switch (pname) {
    case GL_MAX_VIEWPORT_DIMS: case GL_ALIASED_LINE_WIDTH_RANGE: return 2;
    default: return 1;
    }
}

}  // namespace

}  // namespace platform::gl

using namespace platform::gl;

extern "C" {

GLboolean glIsEnabled(GLenum cap) {
    if (bool* flag = EnableFlag(cap)) return *flag ? GL_TRUE : GL_FALSE;
    double v[16];
    int n = 0;
    if (Query(cap, v, &n)) return v[0] != 0 ? GL_TRUE : GL_FALSE;
    Unsupported("glIsEnabled", cap);
    return GL_FALSE;
}


void glGetDoublev(GLenum pname, GLdouble* out) {
    int n = 0;
    if (Query(pname, out, &n)) return;
    GLfloat v[16];
    es.GetFloatv(pname, v);
    for (int i = 0; i < EsQuerySize(pname); ++i) out[i] = v[i];
}
void glGetFloatv(GLenum pname, GLfloat* out) {
    double v[16];
    int n = 0;
    if (!Query(pname, v, &n)) return es.GetFloatv(pname, out);
    for (int i = 0; i < n; ++i) out[i] = static_cast<float>(v[i]);
}
void glGetIntegerv(GLenum pname, GLint* out) {
    double v[16];
    int n = 0;
    if (!Query(pname, v, &n)) return es.GetIntegerv(pname, out);
    const bool colour = pname == GL_CURRENT_COLOR || pname == GL_COLOR_CLEAR_VALUE ||
                        pname == GL_FOG_COLOR || pname == GL_ALPHA_TEST_REF ||
                        pname == GL_DEPTH_CLEAR_VALUE;
    // Colours as integers span the whole integer range, as GL returns them.
    for (int i = 0; i < n; ++i)
        out[i] = colour ? static_cast<GLint>(v[i] * std::numeric_limits<GLint>::max())
                        : static_cast<GLint>(v[i] + (v[i] < 0 ? -0.5 : 0.5));
}
void glGetBooleanv(GLenum pname, GLboolean* out) {
    double v[16];
    int n = 0;
    if (!Query(pname, v, &n)) return es.GetBooleanv(pname, out);
    for (int i = 0; i < n; ++i) out[i] = v[i] != 0 ? GL_TRUE : GL_FALSE;
}

const GLubyte* glGetString(GLenum name) {
    switch (name) {
    case GL_VERSION: return reinterpret_cast<const GLubyte*>(layer.version.c_str());
    case GL_EXTENSIONS: return reinterpret_cast<const GLubyte*>(layer.extensions.c_str());
    default: return es.GetString(name);
    }
}

GLenum glGetError() {
    const GLenum error = layer.error;
    layer.error = GL_NO_ERROR;
    return error != GL_NO_ERROR ? error : es.GetError();
}

}  // extern "C"
