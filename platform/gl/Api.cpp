// The GL 1.1 and GLU calls the show makes, as the standard C symbols: state goes into the
// layer's record, display lists record calls to replay, and what ES has as it is passes
// straight through.
#include "platform/gl/State.h"

#include <GL/glu.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

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

GLenum EsPrimitive(GLenum mode, const GLuint* indices, GLsizei count, std::vector<GLuint>* out) {
    auto at = [indices](GLsizei i) { return indices ? indices[i] : static_cast<GLuint>(i); };
    out->clear();
    switch (mode) {
    case GL_QUADS:
        out->reserve(count / 4 * 6);
        for (GLsizei q = 0; q + 3 < count; q += 4) {
            const GLuint v[6] = {at(q), at(q + 1), at(q + 3), at(q + 1), at(q + 2), at(q + 3)};
            out->insert(out->end(), v, v + 6);
        }
        return GL_TRIANGLES;
    case GL_QUAD_STRIP:
    case GL_POLYGON:
    default:
        if (indices) out->assign(indices, indices + count);
        if (mode == GL_QUAD_STRIP) {
            // A quad strip is a triangle strip over the same vertices, without an odd last.
            if (count & 1) {
                if (!indices) out->resize(count), std::iota(out->begin(), out->end(), 0u);
                out->pop_back();
            }
            return GL_TRIANGLE_STRIP;
        }
        return mode == GL_POLYGON ? GL_TRIANGLE_FAN : mode;
    }
}

namespace {

// Calls go into the list being compiled, except those a list's replay makes.
bool Recording() { return layer.compiling && layer.callDepth == 0; }
bool CompileOnly() { return Recording() && layer.compileMode == GL_COMPILE; }

// The current values the next vertex takes: while a list is only compiled, glColor & co.
// change the list's own copy, not the state.
Attribs::Current& Cur() { return CompileOnly() ? layer.compileCurrent : layer.a.current; }

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

void Set4(float* to, float a, float b, float c, float d) { to[0] = a, to[1] = b, to[2] = c, to[3] = d; }

float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

// --- matrices -------------------------------------------------------------------------

void MultMatrix(const Mat4& m) {
    Mat4& top = Top(CurrentStack());
    top = Multiply(top, m);
}

void LoadMatrix(const Mat4& m) { Top(CurrentStack()) = m; }

void PushMatrix() {
    std::vector<Mat4>& stack = CurrentStack();
    const size_t depth = &stack == &layer.modelview    ? kModelviewDepth
                         : &stack == &layer.projection ? kProjectionDepth
                                                       : kTextureDepth;
    if (stack.size() >= depth) return SetError(GL_STACK_OVERFLOW);
    stack.push_back(stack.back());
}

void PopMatrix() {
    std::vector<Mat4>& stack = CurrentStack();
    if (stack.size() <= 1) return SetError(GL_STACK_UNDERFLOW);
    stack.pop_back();
}

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

ClientArray* ClientArrayFor(GLenum array) {
    ClientState& c = layer.client;
    switch (array) {
    case GL_VERTEX_ARRAY: return &c.vertex;
    case GL_COLOR_ARRAY: return &c.color;
    case GL_NORMAL_ARRAY: return &c.normal;
    case GL_TEXTURE_COORD_ARRAY: return &c.tex[c.clientActive];
    default: return nullptr;
    }
}

// --- textures -------------------------------------------------------------------------

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

// --- vertices -------------------------------------------------------------------------

// Reads element i of a client array into out (which holds the defaults).
void Fetch(const ClientArray& array, GLuint i, float* out, bool normalizedBytes) {
    const GLint size = array.size;
    const auto* base = static_cast<const unsigned char*>(array.pointer);
    switch (array.type) {
    case GL_FLOAT: {
        const GLsizei stride = array.stride ? array.stride : size * 4;
        float values[4];
        std::memcpy(values, base + static_cast<size_t>(i) * stride, size * sizeof(float));
        for (GLint k = 0; k < size; ++k) out[k] = values[k];
        break;
    }
    case GL_DOUBLE: {
        const GLsizei stride = array.stride ? array.stride : size * 8;
        double values[4];
        std::memcpy(values, base + static_cast<size_t>(i) * stride, size * sizeof(double));
        for (GLint k = 0; k < size; ++k) out[k] = static_cast<float>(values[k]);
        break;
    }
    case GL_UNSIGNED_BYTE: {
        const GLsizei stride = array.stride ? array.stride : size;
        const unsigned char* p = base + static_cast<size_t>(i) * stride;
        for (GLint k = 0; k < size; ++k) out[k] = normalizedBytes ? p[k] / 255.0f : p[k];
        break;
    }
    case GL_SHORT: {
        const GLsizei stride = array.stride ? array.stride : size * 2;
        GLshort values[4];
        std::memcpy(values, base + static_cast<size_t>(i) * stride, size * sizeof(GLshort));
        for (GLint k = 0; k < size; ++k) out[k] = values[k];
        break;
    }
    case GL_INT: {
        const GLsizei stride = array.stride ? array.stride : size * 4;
        GLint values[4];
        std::memcpy(values, base + static_cast<size_t>(i) * stride, size * sizeof(GLint));
        for (GLint k = 0; k < size; ++k) out[k] = static_cast<float>(values[k]);
        break;
    }
    default:
        break;
    }
}

// The vertices first..last of the enabled client arrays, as the layer's vertices.
void GatherArrays(GLuint first, GLuint last, Batch* batch) {
    const ClientState& c = layer.client;
    unsigned parts = 0;
    if (c.color.enabled) parts |= kColorPart;
    if (c.normal.enabled) parts |= kNormalPart;
    if (c.tex[0].enabled) parts |= kTex0Part;
    if (c.tex[1].enabled) parts |= kTex1Part;
    batch->perVertex = parts;
    batch->vertices.resize(static_cast<size_t>(last - first) + 1);
    for (GLuint i = first; i <= last; ++i) {
        Vertex& v = batch->vertices[i - first];
        Set4(v.position, 0, 0, 0, 1);
        Fetch(c.vertex, i, v.position, false);
        if (parts & kColorPart) {
            Set4(v.color, 0, 0, 0, 1);
            Fetch(c.color, i, v.color, true);
        }
        if (parts & kNormalPart) Fetch(c.normal, i, v.normal, false);
        for (int u = 0; u < kUnits; ++u) {
            if (!(parts & (kTex0Part << u))) continue;
            Set4(v.tex[u], 0, 0, 0, 1);
            Fetch(c.tex[u], i, v.tex[u], false);
        }
    }
}

// A finished batch: drawn now, kept in the list being compiled, or both.
void Submit(Batch&& batch, unsigned leaves) {
    if (!Recording()) return DrawBatch(batch);
    if (layer.compileMode == GL_COMPILE_AND_EXECUTE) DrawBatch(batch);
    DisplayList* list = layer.compiling.get();
    const size_t index = list->batches.size();
    StoredBatch stored {};
    stored.mode = batch.mode;
    stored.perVertex = batch.perVertex;
    stored.vertexCount = static_cast<GLsizei>(batch.vertices.size());
    stored.indexCount = static_cast<GLsizei>(batch.indices.size());
    stored.leaves = leaves;
    stored.after = Cur();
    list->batches.push_back(stored);
    list->pending.push_back(std::move(batch));
    list->commands.emplace_back([list, index] {
        const StoredBatch& b = list->batches[index];
        DrawStored(*list, b);
        Attribs::Current& c = layer.a.current;
        if (b.leaves & kColorPart) std::copy(b.after.color, b.after.color + 4, c.color);
        if (b.leaves & kNormalPart) std::copy(b.after.normal, b.after.normal + 3, c.normal);
        for (int u = 0; u < kUnits; ++u)
            if (b.leaves & (kTex0Part << u)) std::copy(b.after.tex[u], b.after.tex[u] + 4, c.tex[u]);
    });
}

bool DrawableMode(GLenum mode) { return mode <= GL_POLYGON; }

void DrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    if (!DrawableMode(mode)) return SetError(GL_INVALID_ENUM);
    if (count <= 0 || !layer.client.vertex.enabled || !indices) return;
    std::vector<GLuint> wide(count);
    for (GLsizei i = 0; i < count; ++i) {
        switch (type) {
        case GL_UNSIGNED_INT: wide[i] = static_cast<const GLuint*>(indices)[i]; break;
        case GL_UNSIGNED_SHORT: wide[i] = static_cast<const GLushort*>(indices)[i]; break;
        case GL_UNSIGNED_BYTE: wide[i] = static_cast<const GLubyte*>(indices)[i]; break;
        default: return SetError(GL_INVALID_ENUM);
        }
    }
    // Only the vertices the indices reach are sent, numbered from the lowest.
    const auto range = std::minmax_element(wide.begin(), wide.end());
    const GLuint first = *range.first, last = *range.second;
    for (GLuint& i : wide) i -= first;
    Batch batch;
    batch.mode = EsPrimitive(mode, wide.data(), count, &batch.indices);
    GatherArrays(first, last, &batch);
    Submit(std::move(batch), 0);
}

void DrawArrays(GLenum mode, GLint first, GLsizei count) {
    if (!DrawableMode(mode)) return SetError(GL_INVALID_ENUM);
    if (count <= 0 || first < 0 || !layer.client.vertex.enabled) return;
    Batch batch;
    batch.mode = EsPrimitive(mode, nullptr, count, &batch.indices);
    GatherArrays(static_cast<GLuint>(first), static_cast<GLuint>(first + count - 1), &batch);
    Submit(std::move(batch), 0);
}

void AddVertex(float x, float y, float z, float w) {
    if (!layer.inBegin) return;
    const Attribs::Current& c = Cur();
    Vertex v;
    Set4(v.position, x, y, z, w);
    std::copy(c.color, c.color + 4, v.color);
    std::copy(c.normal, c.normal + 3, v.normal);
    for (int u = 0; u < kUnits; ++u) std::copy(c.tex[u], c.tex[u] + 4, v.tex[u]);
    layer.beginVertices.push_back(v);
}

// glColor, glNormal and glTexCoord: outside glBegin a list keeps them as calls; inside,
// they are part of the vertices.
template <class F>
void SetCurrent(unsigned part, F&& set) {
    if (layer.inBegin) {
        layer.beginParts |= part;
    } else if (Recording()) {
        layer.compiling->commands.emplace_back([set] { set(layer.a.current); });
    }
    set(Cur());
}

void SetColor(float r, float g, float b, float a) {
    SetCurrent(kColorPart, [=](Attribs::Current& c) { Set4(c.color, r, g, b, a); });
}

void SetTexCoord(int unit, float s, float t, float r, float q) {
    if (unit < 0 || unit >= kUnits) return SetError(GL_INVALID_ENUM);
    SetCurrent(kTex0Part << unit, [=](Attribs::Current& c) { Set4(c.tex[unit], s, t, r, q); });
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

// --- display lists --------------------------------------------------------------------

void CallList(GLuint name) {
    const auto it = layer.lists.find(name);
    // Lists that call lists stop at GL's usual nesting depth.
    if (it == layer.lists.end() || layer.callDepth >= 64) return;
    ++layer.callDepth;
    DisplayList* list = it->second.get();
    for (const auto& command : list->commands) command();
    --layer.callDepth;
}

// --- queries --------------------------------------------------------------------------

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

// --- immediate mode -----------------------------------------------------------------------

void glBegin(GLenum mode) {
    if (layer.inBegin || !DrawableMode(mode)) return SetError(GL_INVALID_OPERATION);
    layer.inBegin = true;
    layer.beginMode = mode;
    layer.beginParts = 0;
    layer.beginVertices.clear();
}

void glEnd() {
    if (!layer.inBegin) return SetError(GL_INVALID_OPERATION);
    layer.inBegin = false;
    Batch batch;
    batch.mode = EsPrimitive(layer.beginMode, nullptr,
                             static_cast<GLsizei>(layer.beginVertices.size()), &batch.indices);
    batch.perVertex = layer.beginParts;
    batch.vertices.swap(layer.beginVertices);
    Submit(std::move(batch), layer.beginParts);
    // The vertex store is kept for the next glBegin.
    layer.beginVertices.swap(batch.vertices);
    layer.beginVertices.clear();
}

void glVertex2f(GLfloat x, GLfloat y) { AddVertex(x, y, 0, 1); }
void glVertex2i(GLint x, GLint y) { AddVertex(float(x), float(y), 0, 1); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { AddVertex(x, y, z, 1); }
void glVertex3fv(const GLfloat* v) { AddVertex(v[0], v[1], v[2], 1); }
void glVertex4f(GLfloat x, GLfloat y, GLfloat z, GLfloat w) { AddVertex(x, y, z, w); }

void glColor3f(GLfloat r, GLfloat g, GLfloat b) { SetColor(r, g, b, 1); }
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { SetColor(r, g, b, a); }
void glColor3fv(const GLfloat* v) { SetColor(v[0], v[1], v[2], 1); }
void glColor4fv(const GLfloat* v) { SetColor(v[0], v[1], v[2], v[3]); }
void glColor3ub(GLubyte r, GLubyte g, GLubyte b) { SetColor(r / 255.0f, g / 255.0f, b / 255.0f, 1); }
void glColor4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a) {
    SetColor(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
    SetCurrent(kNormalPart, [=](Attribs::Current& c) {
        c.normal[0] = x, c.normal[1] = y, c.normal[2] = z;
    });
}
void glNormal3fv(const GLfloat* v) { glNormal3f(v[0], v[1], v[2]); }

void glTexCoord2f(GLfloat s, GLfloat t) { SetTexCoord(0, s, t, 0, 1); }
void glTexCoord2fv(const GLfloat* v) { SetTexCoord(0, v[0], v[1], 0, 1); }
void glMultiTexCoord1fARB(GLenum unit, GLfloat s) { SetTexCoord(int(unit) - GL_TEXTURE0, s, 0, 0, 1); }
void glMultiTexCoord2fARB(GLenum unit, GLfloat s, GLfloat t) {
    SetTexCoord(int(unit) - GL_TEXTURE0, s, t, 0, 1);
}
void glMultiTexCoord3fARB(GLenum unit, GLfloat s, GLfloat t, GLfloat r) {
    SetTexCoord(int(unit) - GL_TEXTURE0, s, t, r, 1);
}
void glMultiTexCoord4fARB(GLenum unit, GLfloat s, GLfloat t, GLfloat r, GLfloat q) {
    SetTexCoord(int(unit) - GL_TEXTURE0, s, t, r, q);
}
void glMultiTexCoord2f(GLenum unit, GLfloat s, GLfloat t) { glMultiTexCoord2fARB(unit, s, t); }

// --- client arrays ----------------------------------------------------------------------

void glEnableClientState(GLenum array) {
    if (ClientArray* a = ClientArrayFor(array)) a->enabled = true;
    else Unsupported("glEnableClientState", array);
}
void glDisableClientState(GLenum array) {
    if (ClientArray* a = ClientArrayFor(array)) a->enabled = false;
    else Unsupported("glDisableClientState", array);
}
void glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    layer.client.vertex = {layer.client.vertex.enabled, size, type, stride, pointer};
}
void glColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    layer.client.color = {layer.client.color.enabled, size, type, stride, pointer};
}
void glNormalPointer(GLenum type, GLsizei stride, const void* pointer) {
    layer.client.normal = {layer.client.normal.enabled, 3, type, stride, pointer};
}
void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    ClientArray& a = layer.client.tex[layer.client.clientActive];
    a = {a.enabled, size, type, stride, pointer};
}
void glClientActiveTextureARB(GLenum texture) {
    const int unit = static_cast<int>(texture) - GL_TEXTURE0;
    if (unit < 0 || unit >= kUnits) return SetError(GL_INVALID_ENUM);
    layer.client.clientActive = unit;
}
void glClientActiveTexture(GLenum texture) { glClientActiveTextureARB(texture); }
// Every draw copies the arrays anyway, so locking them changes nothing.
void glLockArraysEXT(GLint, GLsizei) {}
void glUnlockArraysEXT() {}

void glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    DrawElements(mode, count, type, indices);
}
void glDrawArrays(GLenum mode, GLint first, GLsizei count) { DrawArrays(mode, first, count); }

// --- matrices ---------------------------------------------------------------------------

void glMatrixMode(GLenum mode) {
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE)
        return SetError(GL_INVALID_ENUM);
    RecordOrRun([=] { layer.a.transform.matrixMode = mode; });
}
void glLoadIdentity() {
    RecordOrRun([=] { LoadMatrix(Mat4::Identity()); });
}
void glLoadMatrixf(const GLfloat* m) {
    Mat4 matrix;
    std::copy(m, m + 16, matrix.m);
    RecordOrRun([=] { LoadMatrix(matrix); });
}
void glLoadMatrixd(const GLdouble* m) {
    const Mat4 matrix = Mat4::FromDoubles(m);
    RecordOrRun([=] { LoadMatrix(matrix); });
}
void glMultMatrixf(const GLfloat* m) {
    Mat4 matrix;
    std::copy(m, m + 16, matrix.m);
    RecordOrRun([=] { MultMatrix(matrix); });
}
void glMultMatrixd(const GLdouble* m) {
    const Mat4 matrix = Mat4::FromDoubles(m);
    RecordOrRun([=] { MultMatrix(matrix); });
}
void glPushMatrix() {
    RecordOrRun([=] { PushMatrix(); });
}
void glPopMatrix() {
    RecordOrRun([=] { PopMatrix(); });
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    RecordOrRun([=] { MultMatrix(Translation(x, y, z)); });
}
void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    glTranslatef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}
void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    RecordOrRun([=] { MultMatrix(Scaling(x, y, z)); });
}
void glScaled(GLdouble x, GLdouble y, GLdouble z) {
    glScalef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    const Mat4 r = Rotation(angle, x, y, z);
    RecordOrRun([=] { MultMatrix(r); });
}
void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    glRotatef(static_cast<float>(angle), static_cast<float>(x), static_cast<float>(y),
              static_cast<float>(z));
}
void glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    if (l == r || b == t || n == f) return SetError(GL_INVALID_VALUE);
    double m[16] = {};
    m[0] = 2 / (r - l), m[5] = 2 / (t - b), m[10] = -2 / (f - n), m[15] = 1;
    m[12] = -(r + l) / (r - l), m[13] = -(t + b) / (t - b), m[14] = -(f + n) / (f - n);
    glMultMatrixd(m);
}
void glFrustum(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    if (n <= 0 || f <= 0 || l == r || b == t || n == f) return SetError(GL_INVALID_VALUE);
    double m[16] = {};
    m[0] = 2 * n / (r - l), m[5] = 2 * n / (t - b);
    m[8] = (r + l) / (r - l), m[9] = (t + b) / (t - b), m[10] = -(f + n) / (f - n), m[11] = -1;
    m[14] = -2 * f * n / (f - n);
    glMultMatrixd(m);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    Mat4 m;
    if (Perspective(fovy, aspect, zNear, zFar, &m)) glMultMatrixf(m.m);
}
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    const Mat4 m = LookAt(eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ);
    glMultMatrixf(m.m);
    glTranslated(-eyeX, -eyeY, -eyeZ);
}
void gluOrtho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top) {
    glOrtho(left, right, bottom, top, -1, 1);
}

// --- enables and fixed-function state ---------------------------------------------------

void glEnable(GLenum cap) {
    RecordOrRun([=] { SetEnabled(cap, true); });
}
void glDisable(GLenum cap) {
    RecordOrRun([=] { SetEnabled(cap, false); });
}
GLboolean glIsEnabled(GLenum cap) {
    if (bool* flag = EnableFlag(cap)) return *flag ? GL_TRUE : GL_FALSE;
    double v[16];
    int n = 0;
    if (Query(cap, v, &n)) return v[0] != 0 ? GL_TRUE : GL_FALSE;
    Unsupported("glIsEnabled", cap);
    return GL_FALSE;
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

// --- textures ---------------------------------------------------------------------------

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

// --- display lists ----------------------------------------------------------------------

GLuint glGenLists(GLsizei range) {
    if (range <= 0) return 0;
    const GLuint first = layer.nextList;
    layer.nextList += static_cast<GLuint>(range);
    for (GLsizei i = 0; i < range; ++i) layer.lists[first + i] = std::make_unique<DisplayList>();
    return first;
}
GLboolean glIsList(GLuint name) { return layer.lists.count(name) ? GL_TRUE : GL_FALSE; }
void glDeleteLists(GLuint first, GLsizei range) {
    for (GLsizei i = 0; i < range; ++i) {
        const auto it = layer.lists.find(first + i);
        if (it == layer.lists.end()) continue;
        DisplayList& l = *it->second;
        if (l.vertexBuffer) es.DeleteBuffers(1, &l.vertexBuffer);
        if (l.indexBuffer) es.DeleteBuffers(1, &l.indexBuffer);
        layer.lists.erase(it);
    }
}
void glNewList(GLuint name, GLenum mode) {
    if (name == 0 || (mode != GL_COMPILE && mode != GL_COMPILE_AND_EXECUTE))
        return SetError(GL_INVALID_VALUE);
    if (layer.compiling || layer.inBegin) return SetError(GL_INVALID_OPERATION);
    layer.compiling = std::make_unique<DisplayList>();
    layer.compilingName = name;
    layer.compileMode = mode;
    layer.compileCurrent = layer.a.current;
}
void glEndList() {
    if (!layer.compiling || layer.inBegin) return SetError(GL_INVALID_OPERATION);
    StoreBatches(*layer.compiling);
    // Replaces a list of that name, freeing its buffers.
    glDeleteLists(layer.compilingName, 1);
    layer.lists[layer.compilingName] = std::move(layer.compiling);
    layer.compilingName = 0;
    layer.compileMode = 0;
    if (layer.nextList <= layer.lists.rbegin()->first) layer.nextList = layer.lists.rbegin()->first + 1;
}
void glCallList(GLuint name) {
    RecordOrRun([=] { CallList(name); });
}

// --- queries ----------------------------------------------------------------------------

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
