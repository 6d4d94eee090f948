// Vertices: glBegin .. glEnd and the client arrays, gathered into batches that are drawn
// at once, kept in the list being compiled, or both.
#include "platform/gl/Calls.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace platform::gl {

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

// The current values the next vertex takes: while a list is only compiled, glColor & co.
// change the list's own copy, not the state.
Attribs::Current& Cur() { return CompileOnly() ? layer.compileCurrent : layer.a.current; }

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

}  // namespace

}  // namespace platform::gl

using namespace platform::gl;

extern "C" {

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

}  // extern "C"
