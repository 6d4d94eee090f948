// The fixed-function layer's one record: every state the GL 1.1 calls set, what the
// attribute stacks save, the display lists, and the ES objects that draw them.
//
// The layer is the show's GL 1.1 over OpenGL ES 3.0 (WebGL 2), built with KAVLO_GLES:
// - The standard gl*/glu* symbols are defined a file per concern (Vertices, Transform,
//   FixedState, Textures, Lists, Queries; what they share in Calls.h, this record in
//   Layer.cpp). State changes land in this record; what ES has as it is (blend, depth,
//   cull, scissor, viewport, clear, textures, read back) is also passed on at once, and
//   queries answer from the record.
// - A draw (glEnd, glDrawElements, glDrawArrays, a list's draw) hands Draw.cpp a batch:
//   vertices in one layout, streamed into a buffer object, quads made triangles.
//   Draw.cpp turns the record's relevant part into a program key (texture units and
//   their env and sphere-map texgen, LIGHT0, fog mode, alpha function, shading) and
//   uniforms; a program is built once per key and kept.
// - A display list is the same batches kept in buffers of its own, with the calls around
//   them recorded; glCallList replays both. Calls that GL runs at once (client arrays,
//   queries, pixel store) are never recorded.
// - The ES calls come through a table (Es.h) filled once the context is current; how a
//   system finds them is Proc*.cpp, one file per system. ContextES.cpp is the window
//   layer's seam (Context.h). No threads, no client-side arrays, no mapped buffers.
// - What the show never calls is ignored and counted; KAVLO_GL_REPORT=1 lists it on
//   stderr when the context goes.
#pragma once

#include "platform/gl/Es.h"
#include "platform/gl/Matrix.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::gl {

constexpr int kUnits = 2;  // texture units, as the show's multitexture needs
constexpr int kModelviewDepth = 32, kProjectionDepth = 32, kTextureDepth = 10;
constexpr int kAttribDepth = 16;

// One vertex as every draw hands it to ES; fields the draw does not take per vertex
// come from the current values instead.
struct Vertex {
    float position[4];
    float color[4];
    float normal[3];
    float tex[kUnits][4];
};
enum VertexPart : unsigned { kColorPart = 1, kNormalPart = 2, kTex0Part = 4, kTex1Part = 8 };

struct TextureUnit {
    bool enabled = false;  // GL_TEXTURE_2D
    bool genS = false, genT = false;
    GLenum genModeS = GL_EYE_LINEAR, genModeT = GL_EYE_LINEAR;
    GLenum envMode = GL_MODULATE;
    GLuint binding = 0;
};

// What glPushAttrib saves, a part per attribute bit that restores it.
struct Attribs {
    struct Current {  // GL_CURRENT_BIT
        float color[4] = {1, 1, 1, 1};
        float normal[3] = {0, 0, 1};
        float tex[kUnits][4] = {{0, 0, 0, 1}, {0, 0, 0, 1}};
    } current;
    struct Fog {  // GL_FOG_BIT
        bool enabled = false;
        GLenum mode = GL_EXP;
        float density = 1, start = 0, end = 1;
        float color[4] = {0, 0, 0, 0};
    } fog;
    struct Lighting {  // GL_LIGHTING_BIT
        bool enabled = false, light0 = false;
        GLenum shadeModel = GL_SMOOTH;
        float position[4] = {0, 0, 1, 0};  // in eye coordinates
        float ambient[4] = {0, 0, 0, 1};
        float diffuse[4] = {1, 1, 1, 1};
        float specular[4] = {1, 1, 1, 1};
        float modelAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
    } lighting;
    struct ColorBuffer {  // GL_COLOR_BUFFER_BIT
        bool alphaTest = false;
        GLenum alphaFunc = GL_ALWAYS;
        float alphaRef = 0;
        bool blend = false;
        GLenum blendSrc = GL_ONE, blendDst = GL_ZERO;
        GLboolean colorMask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
        float clearColor[4] = {0, 0, 0, 0};
        bool dither = true;
    } color;
    struct Depth {  // GL_DEPTH_BUFFER_BIT
        bool test = false;
        GLenum func = GL_LESS;
        GLboolean mask = GL_TRUE;
        float clear = 1;
    } depth;
    struct Polygon {  // GL_POLYGON_BIT
        bool cull = false, offsetFill = false;
        GLenum cullMode = GL_BACK, frontFace = GL_CCW;
        float offsetFactor = 0, offsetUnits = 0;
    } polygon;
    struct Scissor {  // GL_SCISSOR_BIT
        bool test = false;
        GLint box[4] = {0, 0, 0, 0};
    } scissor;
    struct Texture {  // GL_TEXTURE_BIT
        TextureUnit unit[kUnits];
        int active = 0;
    } texture;
    struct Transform {  // GL_TRANSFORM_BIT
        GLenum matrixMode = GL_MODELVIEW;
        bool normalize = false, rescaleNormal = false;
    } transform;
    struct Viewport {  // GL_VIEWPORT_BIT
        GLint box[4] = {0, 0, 0, 0};
        float zNear = 0, zFar = 1;
    } viewport;
    float lineWidth = 1;  // GL_LINE_BIT
};

struct ClientArray {
    bool enabled = false;
    GLint size = 4;
    GLenum type = GL_FLOAT;
    GLsizei stride = 0;
    const void* pointer = nullptr;
};

// What glPushClientAttrib saves.
struct ClientState {
    ClientArray vertex, color, normal, tex[kUnits];
    int clientActive = 0;
    GLint packAlignment = 4, unpackAlignment = 4;
};

// Vertices ready for ES: a primitive ES draws as it is (quads already made triangles).
struct Batch {
    GLenum mode = GL_TRIANGLES;
    unsigned perVertex = 0;  // VertexPart bits taken from the vertices
    std::vector<Vertex> vertices;
    std::vector<GLuint> indices;  // empty: drawn in order
};

// A batch stored in a display list's buffers.
struct StoredBatch {
    GLenum mode;
    unsigned perVertex;
    GLsizei vertexCount, indexCount;
    size_t vertexOffset, indexOffset;  // bytes into the list's buffers
    unsigned leaves;                   // VertexPart bits of `after` that become current
    Attribs::Current after;            // the current values glEnd leaves behind
};

struct DisplayList {
    std::vector<std::function<void()>> commands;
    std::vector<Batch> pending;  // batches while compiling, moved to the buffers at the end
    std::vector<StoredBatch> batches;
    GLuint vertexBuffer = 0, indexBuffer = 0;
};

// What a draw's program depends on.
struct ProgramKey {
    uint32_t bits = 0;
    bool operator==(const ProgramKey& o) const { return bits == o.bits; }
};

struct Program {
    GLuint id = 0;
    GLint mvp = -1, modelview = -1, normalMatrix = -1, texMatrix[kUnits] = {-1, -1};
    GLint lightPosition = -1, lightAmbient = -1, lightDiffuse = -1, sceneColor = -1;
    GLint fogColor = -1, fogParams = -1, alphaRef = -1;
};

struct TextureInfo {
    bool hasImage = false;
    GLenum baseFormat = GL_RGBA;
    GLenum minFilter = GL_NEAREST_MIPMAP_LINEAR;
};

struct Layer {
    Attribs a;
    ClientState client;
    std::vector<Mat4> modelview{Mat4::Identity()}, projection{Mat4::Identity()};
    std::vector<Mat4> texture[kUnits] = {{Mat4::Identity()}, {Mat4::Identity()}};
    std::vector<std::pair<GLbitfield, Attribs>> attribStack;
    std::vector<std::pair<GLbitfield, ClientState>> clientStack;

    // glBegin .. glEnd
    bool inBegin = false;
    GLenum beginMode = 0;
    unsigned beginParts = 0;
    std::vector<Vertex> beginVertices;

    // Display lists; `compiling` while glNewList is open.
    std::map<GLuint, std::unique_ptr<DisplayList>> lists;
    GLuint nextList = 1;
    GLuint compilingName = 0;
    GLenum compileMode = 0;
    std::unique_ptr<DisplayList> compiling;
    Attribs::Current compileCurrent;  // what glColor & co. set in a list being compiled
    int callDepth = 0;

    std::unordered_map<GLuint, TextureInfo> textures;
    std::unordered_map<uint32_t, Program> programs;
    GLuint streamVertices = 0, streamIndices = 0, vertexArray = 0;
    GLuint currentProgram = 0;
    int esActive = 0;  // the texture unit ES has active
    unsigned enabledAttribs = 0;

    GLenum error = GL_NO_ERROR;
    std::map<std::string, unsigned> unsupported;
    std::string extensions, version;
};

extern Layer layer;

// The current matrix stack (by matrix mode) and its top.
std::vector<Mat4>& CurrentStack();
inline Mat4& Top(std::vector<Mat4>& stack) { return stack.back(); }

// A GL error, kept until glGetError asks (only the first, as GL does).
void SetError(GLenum error);
// A call or value the layer does not carry out: ignored, counted for the report.
void Unsupported(const char* call, GLenum value);

// Draws a batch with the current state (Draw.cpp).
void DrawBatch(const Batch& batch);
// Draws a batch kept in a display list's buffers.
void DrawStored(const DisplayList& list, const StoredBatch& batch);
// Moves a finished list's batches into its buffers.
void StoreBatches(DisplayList& list);
// Makes the ES objects the draws need; false where the program cannot be built.
bool CreateDrawObjects();
void DeleteDrawObjects();
// Every ES-level state in `a` issued again (after glPopAttrib, or at the start).
void ApplyEsState(const Attribs& a);

// The ES primitive that draws `count` vertices of a GL primitive, indices[i] each (or i
// where indices is null). Quads become triangles split as (0, 1, 3), (1, 2, 3), quad
// strips triangle strips, polygons fans. `out` gets the indices where they are needed,
// and stays empty where the vertices can be drawn in order.
GLenum EsPrimitive(GLenum mode, const GLuint* indices, GLsizei count, std::vector<GLuint>* out);

}  // namespace platform::gl
