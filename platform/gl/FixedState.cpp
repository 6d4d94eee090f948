// Enables, fog, light and the states ES has as they are (blend, depth, cull, viewport,
// scissor, clear, pixel store, read back), and the attribute stacks that save them.
#include "platform/gl/Calls.h"

#include <algorithm>

namespace platform::gl {

// --- enables --------------------------------------------------------------------------

// The flag a capability is kept in; null for one the layer does not know.
bool* EnableFlag(GLenum cap) {
    Attribs& a = layer.a;
    TextureUnit& unit = a.texture.unit[a.texture.active];
    switch (cap) {
    case GL_TEXTURE_2D: return &unit.enabled;
    case GL_TEXTURE_GEN_S: return &unit.genS;
    case GL_TEXTURE_GEN_T: return &unit.genT;
    case GL_LIGHTING: return &a.lighting.enabled;
    case GL_LIGHT0: return &a.lighting.light0;
    case GL_FOG: return &a.fog.enabled;
    case GL_ALPHA_TEST: return &a.color.alphaTest;
    case GL_NORMALIZE: return &a.transform.normalize;
    case GL_RESCALE_NORMAL: return &a.transform.rescaleNormal;
    case GL_BLEND: return &a.color.blend;
    case GL_DITHER: return &a.color.dither;
    case GL_DEPTH_TEST: return &a.depth.test;
    case GL_CULL_FACE: return &a.polygon.cull;
    case GL_POLYGON_OFFSET_FILL: return &a.polygon.offsetFill;
    case GL_SCISSOR_TEST: return &a.scissor.test;
    default: return nullptr;
    }
}

namespace {

bool PassedToEs(GLenum cap) {
    switch (cap) {
    case GL_BLEND: case GL_DITHER: case GL_DEPTH_TEST: case GL_CULL_FACE:
    case GL_POLYGON_OFFSET_FILL: case GL_SCISSOR_TEST:
        return true;
    default:
        return false;
    }
}

void SetEnabled(GLenum cap, bool on) {
    bool* flag = EnableFlag(cap);
    if (!flag) return Unsupported(on ? "glEnable" : "glDisable", cap);
    *flag = on;
    if (PassedToEs(cap)) on ? es.Enable(cap) : es.Disable(cap);
}

// --- fog and light --------------------------------------------------------------------

void Fog(GLenum pname, const GLfloat* v) {
    Attribs::Fog& f = layer.a.fog;
    switch (pname) {
    case GL_FOG_MODE: f.mode = static_cast<GLenum>(v[0]); break;
    case GL_FOG_DENSITY: f.density = v[0]; break;
    case GL_FOG_START: f.start = v[0]; break;
    case GL_FOG_END: f.end = v[0]; break;
    case GL_FOG_COLOR:
        for (int i = 0; i < 4; ++i) f.color[i] = Clamp01(v[i]);
        break;
    default:
        Unsupported("glFog", pname);
    }
}

void Light(GLenum light, GLenum pname, const GLfloat* v) {
    Attribs::Lighting& l = layer.a.lighting;
    if (light != GL_LIGHT0) return Unsupported("glLight", light);
    switch (pname) {
    case GL_POSITION:
        // Kept in eye coordinates, by the model-view matrix of the moment.
        Transform(Top(layer.modelview), v, l.position);
        break;
    case GL_AMBIENT: std::copy(v, v + 4, l.ambient); break;
    case GL_DIFFUSE: std::copy(v, v + 4, l.diffuse); break;
    case GL_SPECULAR: std::copy(v, v + 4, l.specular); break;
    default:
        Unsupported("glLight", pname);
    }
}

// --- attribute stacks -----------------------------------------------------------------

void RestoreEnables(const Attribs& from) {
    Attribs& a = layer.a;
    a.fog.enabled = from.fog.enabled;
    a.lighting.enabled = from.lighting.enabled;
    a.lighting.light0 = from.lighting.light0;
    a.color.alphaTest = from.color.alphaTest;
    a.color.blend = from.color.blend;
    a.color.dither = from.color.dither;
    a.depth.test = from.depth.test;
    a.polygon.cull = from.polygon.cull;
    a.polygon.offsetFill = from.polygon.offsetFill;
    a.scissor.test = from.scissor.test;
    a.transform.normalize = from.transform.normalize;
    a.transform.rescaleNormal = from.transform.rescaleNormal;
    for (int u = 0; u < kUnits; ++u) {
        a.texture.unit[u].enabled = from.texture.unit[u].enabled;
        a.texture.unit[u].genS = from.texture.unit[u].genS;
        a.texture.unit[u].genT = from.texture.unit[u].genT;
    }
}

void PushAttrib(GLbitfield mask) {
    if (layer.attribStack.size() >= kAttribDepth) return SetError(GL_STACK_OVERFLOW);
    layer.attribStack.emplace_back(mask, layer.a);
}

void PopAttrib() {
    if (layer.attribStack.empty()) return SetError(GL_STACK_UNDERFLOW);
    const GLbitfield mask = layer.attribStack.back().first;
    const Attribs saved = layer.attribStack.back().second;
    layer.attribStack.pop_back();
    Attribs& a = layer.a;
    if (mask & GL_CURRENT_BIT) a.current = saved.current;
    if (mask & GL_FOG_BIT) a.fog = saved.fog;
    if (mask & GL_LIGHTING_BIT) a.lighting = saved.lighting;
    if (mask & GL_COLOR_BUFFER_BIT) a.color = saved.color;
    if (mask & GL_DEPTH_BUFFER_BIT) a.depth = saved.depth;
    if (mask & GL_POLYGON_BIT) a.polygon = saved.polygon;
    if (mask & GL_SCISSOR_BIT) a.scissor = saved.scissor;
    if (mask & GL_TEXTURE_BIT) a.texture = saved.texture;
    if (mask & GL_TRANSFORM_BIT) a.transform = saved.transform;
    if (mask & GL_VIEWPORT_BIT) a.viewport = saved.viewport;
    if (mask & GL_LINE_BIT) a.lineWidth = saved.lineWidth;
    if (mask & GL_ENABLE_BIT) RestoreEnables(saved);
    ApplyEsState(a);
}

void ApplyPixelStore() {
    es.PixelStorei(GL_PACK_ALIGNMENT, layer.client.packAlignment);
    es.PixelStorei(GL_UNPACK_ALIGNMENT, layer.client.unpackAlignment);
}

}  // namespace

}  // namespace platform::gl

using namespace platform::gl;

extern "C" {

// --- enables and fixed-function state ---------------------------------------------------

void glEnable(GLenum cap) {
    RecordOrRun([=] { SetEnabled(cap, true); });
}
void glDisable(GLenum cap) {
    RecordOrRun([=] { SetEnabled(cap, false); });
}

void glAlphaFunc(GLenum func, GLclampf ref) {
    if (func < GL_NEVER || func > GL_ALWAYS) return SetError(GL_INVALID_ENUM);
    RecordOrRun([=] {
        layer.a.color.alphaFunc = func;
        layer.a.color.alphaRef = Clamp01(ref);
    });
}
void glShadeModel(GLenum mode) {
    RecordOrRun([=] { layer.a.lighting.shadeModel = mode; });
}
void glFogf(GLenum pname, GLfloat value) {
    RecordOrRun([=] { Fog(pname, &value); });
}
void glFogi(GLenum pname, GLint value) { glFogf(pname, static_cast<GLfloat>(value)); }
void glFogfv(GLenum pname, const GLfloat* v) {
    float values[4] = {v[0], 0, 0, 0};
    if (pname == GL_FOG_COLOR) std::copy(v, v + 4, values);
    RecordOrRun([=] { Fog(pname, values); });
}
void glLightfv(GLenum light, GLenum pname, const GLfloat* v) {
    float values[4] = {v[0], 0, 0, 0};
    if (pname == GL_POSITION || pname == GL_AMBIENT || pname == GL_DIFFUSE || pname == GL_SPECULAR)
        std::copy(v, v + 4, values);
    RecordOrRun([=] { Light(light, pname, values); });
}
void glLightf(GLenum, GLenum pname, GLfloat) { Unsupported("glLightf", pname); }
void glLightModelfv(GLenum pname, const GLfloat* v) {
    if (pname != GL_LIGHT_MODEL_AMBIENT) return Unsupported("glLightModelfv", pname);
    const float values[4] = {v[0], v[1], v[2], v[3]};
    RecordOrRun([=] { std::copy(values, values + 4, layer.a.lighting.modelAmbient); });
}
void glMaterialfv(GLenum, GLenum pname, const GLfloat*) { Unsupported("glMaterialfv", pname); }
void glColorMaterial(GLenum, GLenum mode) { Unsupported("glColorMaterial", mode); }

void glHint(GLenum target, GLenum mode) {
    // Only the ES hint means anything there; the fixed-function ones have no effect on it.
    if (target == GL_GENERATE_MIPMAP_HINT) es.Hint(target, mode);
}

// --- state ES has as it is --------------------------------------------------------------

void glBlendFunc(GLenum src, GLenum dst) {
    RecordOrRun([=] {
        layer.a.color.blendSrc = src;
        layer.a.color.blendDst = dst;
        es.BlendFunc(src, dst);
    });
}
void glDepthFunc(GLenum func) {
    RecordOrRun([=] {
        layer.a.depth.func = func;
        es.DepthFunc(func);
    });
}
void glDepthMask(GLboolean flag) {
    RecordOrRun([=] {
        layer.a.depth.mask = flag;
        es.DepthMask(flag);
    });
}
void glColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    RecordOrRun([=] {
        GLboolean* m = layer.a.color.colorMask;
        m[0] = r, m[1] = g, m[2] = b, m[3] = a;
        es.ColorMask(r, g, b, a);
    });
}
void glCullFace(GLenum mode) {
    RecordOrRun([=] {
        layer.a.polygon.cullMode = mode;
        es.CullFace(mode);
    });
}
void glFrontFace(GLenum mode) {
    RecordOrRun([=] {
        layer.a.polygon.frontFace = mode;
        es.FrontFace(mode);
    });
}
void glPolygonOffset(GLfloat factor, GLfloat units) {
    RecordOrRun([=] {
        layer.a.polygon.offsetFactor = factor;
        layer.a.polygon.offsetUnits = units;
        es.PolygonOffset(factor, units);
    });
}
void glLineWidth(GLfloat width) {
    RecordOrRun([=] {
        layer.a.lineWidth = width;
        es.LineWidth(width);
    });
}
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    RecordOrRun([=] {
        GLint* box = layer.a.viewport.box;
        box[0] = x, box[1] = y, box[2] = width, box[3] = height;
        es.Viewport(x, y, width, height);
    });
}
void glDepthRange(GLclampd zNear, GLclampd zFar) {
    RecordOrRun([=] {
        layer.a.viewport.zNear = Clamp01(static_cast<float>(zNear));
        layer.a.viewport.zFar = Clamp01(static_cast<float>(zFar));
        es.DepthRangef(layer.a.viewport.zNear, layer.a.viewport.zFar);
    });
}
void glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    RecordOrRun([=] {
        GLint* box = layer.a.scissor.box;
        box[0] = x, box[1] = y, box[2] = width, box[3] = height;
        es.Scissor(x, y, width, height);
    });
}
void glClear(GLbitfield mask) {
    RecordOrRun([=] {
        es.Clear(mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT));
    });
}
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    RecordOrRun([=] {
        Set4(layer.a.color.clearColor, Clamp01(r), Clamp01(g), Clamp01(b), Clamp01(a));
        es.ClearColor(r, g, b, a);
    });
}
void glClearDepth(GLclampd depth) {
    RecordOrRun([=] {
        layer.a.depth.clear = Clamp01(static_cast<float>(depth));
        es.ClearDepthf(layer.a.depth.clear);
    });
}
void glFinish() { es.Finish(); }
void glFlush() { es.Flush(); }
void glReadBuffer(GLenum mode) { es.ReadBuffer(mode); }
void glDrawBuffer(GLenum mode) {
    if (mode != GL_BACK) Unsupported("glDrawBuffer", mode);
}

void glPixelStorei(GLenum pname, GLint value) {
    if (pname == GL_PACK_ALIGNMENT) layer.client.packAlignment = value;
    else if (pname == GL_UNPACK_ALIGNMENT) layer.client.unpackAlignment = value;
    else return Unsupported("glPixelStorei", pname);
    es.PixelStorei(pname, value);
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  void* pixels) {
    GLint packBuffer = 0;
    if (format == GL_BGRA) es.GetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
    if (format != GL_BGRA || type != GL_UNSIGNED_BYTE || packBuffer != 0)
        return es.ReadPixels(x, y, width, height, format, type, pixels);
    // ES reads RGBA; BGRA is the same bytes with red and blue changed over.
    es.ReadPixels(x, y, width, height, GL_RGBA, type, pixels);
    const int align = layer.client.packAlignment;
    const size_t row = (static_cast<size_t>(width) * 4 + align - 1) / align * align;
    auto* p = static_cast<unsigned char*>(pixels);
    for (GLsizei r = 0; r < height; ++r)
        for (GLsizei c = 0; c < width; ++c) std::swap(p[r * row + c * 4], p[r * row + c * 4 + 2]);
}

// --- attribute stacks -------------------------------------------------------------------

void glPushAttrib(GLbitfield mask) {
    RecordOrRun([=] { PushAttrib(mask); });
}
void glPopAttrib() {
    RecordOrRun([=] { PopAttrib(); });
}
void glPushClientAttrib(GLbitfield mask) {
    if (layer.clientStack.size() >= kAttribDepth) return SetError(GL_STACK_OVERFLOW);
    layer.clientStack.emplace_back(mask, layer.client);
}
void glPopClientAttrib() {
    if (layer.clientStack.empty()) return SetError(GL_STACK_UNDERFLOW);
    const GLbitfield mask = layer.clientStack.back().first;
    const ClientState saved = layer.clientStack.back().second;
    layer.clientStack.pop_back();
    if (mask & GL_CLIENT_PIXEL_STORE_BIT) {
        layer.client.packAlignment = saved.packAlignment;
        layer.client.unpackAlignment = saved.unpackAlignment;
        ApplyPixelStore();
    }
    if (mask & GL_CLIENT_VERTEX_ARRAY_BIT) {
        const int pack = layer.client.packAlignment, unpack = layer.client.unpackAlignment;
        layer.client = saved;
        layer.client.packAlignment = pack;
        layer.client.unpackAlignment = unpack;
    }
}

}  // extern "C"
