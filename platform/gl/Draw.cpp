// From the fixed-function record to an ES draw: a program per state combination, built
// on first use and kept, fed the record's matrices, light, fog and alpha reference.
#include "platform/gl/State.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace platform::gl {

namespace {

enum AttribLocation : GLuint { kPosition, kColor, kNormal, kTex0, kTex1, kAttribCount };

// The program key's fields.
enum : uint32_t {
    kTexOn = 1u << 0,        // and << unit
    kEnvShift = 2,           // 2 bits a unit: modulate, replace, decal, add
    kTexAlpha = 1u << 6,     // and << unit: the bound texture has an alpha channel
    kGenS = 1u << 8,         // and << 2 * unit: sphere map for s
    kGenT = 1u << 9,         // and << 2 * unit: sphere map for t
    kLighting = 1u << 12,
    kLight0 = 1u << 13,
    kFogShift = 14,          // 0 none, linear, exp, exp2
    kAlphaShift = 16,        // 0 none, then never, less, equal, lequal, greater, notequal, gequal
    kFlat = 1u << 19,
    kNormalize = 1u << 20,
};

const TextureInfo* BoundTexture(const TextureUnit& u) {
    const auto it = layer.textures.find(u.binding);
    if (it == layer.textures.end() || !it->second.hasImage) return nullptr;
    // Only level 0 is ever given, so a filter that wants mipmaps makes it incomplete,
    // and an incomplete texture turns the unit off, as GL 1.1 has it.
    const GLenum f = it->second.minFilter;
    if (f != GL_NEAREST && f != GL_LINEAR) return nullptr;
    return &it->second;
}

uint32_t KeyOf(const Attribs& a) {
    uint32_t key = 0;
    for (int u = 0; u < kUnits; ++u) {
        const TextureUnit& unit = a.texture.unit[u];
        const TextureInfo* info = unit.enabled ? BoundTexture(unit) : nullptr;
        if (!info) continue;
        key |= kTexOn << u;
        uint32_t env = 0;
        switch (unit.envMode) {
        case GL_REPLACE: env = 1; break;
        case GL_DECAL: env = 2; break;
        case GL_ADD: env = 3; break;
        default: break;
        }
        key |= env << (kEnvShift + 2 * u);
        if (info->baseFormat == GL_RGBA || info->baseFormat == GL_LUMINANCE_ALPHA ||
            info->baseFormat == GL_ALPHA)
            key |= kTexAlpha << u;
        if (unit.genS && unit.genModeS == GL_SPHERE_MAP) key |= kGenS << (2 * u);
        if (unit.genT && unit.genModeT == GL_SPHERE_MAP) key |= kGenT << (2 * u);
    }
    if (a.lighting.enabled) {
        key |= kLighting;
        if (a.lighting.light0) key |= kLight0;
    }
    if (a.fog.enabled) {
        const uint32_t fog = a.fog.mode == GL_LINEAR ? 1 : a.fog.mode == GL_EXP ? 2 : 3;
        key |= fog << kFogShift;
    }
    if (a.color.alphaTest && a.color.alphaFunc != GL_ALWAYS)
        key |= static_cast<uint32_t>(a.color.alphaFunc - GL_NEVER + 1) << kAlphaShift;
    if (a.lighting.shadeModel == GL_FLAT) key |= kFlat;
    if (a.transform.normalize || a.transform.rescaleNormal) key |= kNormalize;
    return key;
}

const char* kVertexShader = R"(
in vec4 aPosition;
in vec4 aColor;
in vec3 aNormal;
in vec4 aTex0;
in vec4 aTex1;
uniform mat4 uMvp;
uniform mat4 uModelview;
uniform mat3 uNormalMatrix;
uniform mat4 uTexMatrix0;
uniform mat4 uTexMatrix1;
uniform vec4 uSceneColor;
uniform vec4 uLightPosition;
uniform vec4 uLightAmbient;
uniform vec4 uLightDiffuse;
COLOR_QUALIFIER out vec4 vColor;
out vec4 vTex0;
out vec4 vTex1;
out float vFog;

// The default material: ambient 0.2, diffuse 0.8, no specular, no emission.
const vec3 kMaterialAmbient = vec3(0.2);
const vec3 kMaterialDiffuse = vec3(0.8);

vec2 SphereMap(vec3 u, vec3 n) {
    vec3 r = u - 2.0 * n * dot(n, u);
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
    return vec2(r.x / m + 0.5, r.y / m + 0.5);
}

void main() {
    gl_Position = uMvp * aPosition;
    gl_PointSize = 1.0;
#if NEED_EYE
    vec4 eye = uModelview * aPosition;
#endif
#if NEED_NORMAL
    vec3 n = uNormalMatrix * aNormal;
#if NORMALIZE
    n = normalize(n);
#endif
#endif
#if LIGHTING
    vec4 c = uSceneColor;
#if LIGHT0
    vec3 toLight = uLightPosition.w != 0.0
                       ? uLightPosition.xyz / uLightPosition.w - eye.xyz / eye.w
                       : uLightPosition.xyz;
    toLight = normalize(toLight);
    c.rgb += uLightAmbient.rgb * kMaterialAmbient +
             max(dot(n, toLight), 0.0) * uLightDiffuse.rgb * kMaterialDiffuse;
#endif
    vColor = clamp(c, 0.0, 1.0);
#else
    vColor = clamp(aColor, 0.0, 1.0);
#endif
#if NEED_SPHERE
    vec2 sphere = SphereMap(normalize(eye.xyz), n);
#endif
#if TEX0
    vec4 t0 = aTex0;
#if GEN0S
    t0.x = sphere.x;
#endif
#if GEN0T
    t0.y = sphere.y;
#endif
    vTex0 = uTexMatrix0 * t0;
#endif
#if TEX1
    vec4 t1 = aTex1;
#if GEN1S
    t1.x = sphere.x;
#endif
#if GEN1T
    t1.y = sphere.y;
#endif
    vTex1 = uTexMatrix1 * t1;
#endif
#if FOG
    vFog = abs(eye.z);
#endif
}
)";

const char* kFragmentShader = R"(
COLOR_QUALIFIER in vec4 vColor;
in vec4 vTex0;
in vec4 vTex1;
in float vFog;
uniform sampler2D uSampler0;
uniform sampler2D uSampler1;
uniform vec4 uFogColor;
uniform vec4 uFogParams;  // -1 / (end - start), end / (end - start), density
uniform float uAlphaRef;  // in 1/255 steps
out vec4 fragColor;

vec4 Env(int mode, bool hasAlpha, vec4 c, vec4 t) {
    if (mode == 1) return hasAlpha ? t : vec4(t.rgb, c.a);            // replace
    if (mode == 2) return hasAlpha ? vec4(mix(c.rgb, t.rgb, t.a), c.a)  // decal
                                   : vec4(t.rgb, c.a);
    if (mode == 3) return vec4(min(c.rgb + t.rgb, 1.0), c.a * t.a);    // add
    return c * t;                                                       // modulate
}

void main() {
    vec4 c = vColor;
#if TEX0
    c = Env(ENV0, ALPHA0, c, textureProj(uSampler0, vTex0.xyw));
#endif
#if TEX1
    c = Env(ENV1, ALPHA1, c, textureProj(uSampler1, vTex1.xyw));
#endif
#if FOG == 1
    float f = clamp(vFog * uFogParams.x + uFogParams.y, 0.0, 1.0);
#elif FOG == 2
    float f = clamp(exp(-uFogParams.z * vFog), 0.0, 1.0);
#elif FOG == 3
    float d = uFogParams.z * vFog;
    float f = clamp(exp(-d * d), 0.0, 1.0);
#endif
#if FOG
    c.rgb = mix(uFogColor.rgb, c.rgb, f);
#endif
#if ALPHA_FUNC
    // Compared as the colour buffer holds alpha, in steps of 1/255, as GL defines it.
    float a = floor(clamp(c.a, 0.0, 1.0) * 255.0 + 0.5);
    if (!(ALPHA_TEST)) discard;
#endif
    fragColor = c;
}
)";

std::string Defines(uint32_t key) {
    auto flag = [key](uint32_t bit) { return (key & bit) ? 1 : 0; };
    const bool tex0 = key & (kTexOn << 0), tex1 = key & (kTexOn << 1);
    const bool sphere = key & (kGenS | kGenT | (kGenS << 2) | (kGenT << 2));
    const bool lighting = key & kLighting;
    const uint32_t fog = (key >> kFogShift) & 3, alpha = (key >> kAlphaShift) & 7;
    static const char* const kTests[] = {"true", "false", "a < uAlphaRef", "a == uAlphaRef",
                                         "a <= uAlphaRef", "a > uAlphaRef",
                                         "a != uAlphaRef", "a >= uAlphaRef"};
    char text[1024];
    std::snprintf(
        text, sizeof text,
        "#version 300 es\nprecision highp float;\n"
        "#define TEX0 %d\n#define TEX1 %d\n#define ENV0 %u\n#define ENV1 %u\n"
        "#define ALPHA0 %s\n#define ALPHA1 %s\n"
        "#define GEN0S %d\n#define GEN0T %d\n#define GEN1S %d\n#define GEN1T %d\n"
        "#define NEED_SPHERE %d\n#define LIGHTING %d\n#define LIGHT0 %d\n#define FOG %u\n"
        "#define NEED_EYE %d\n#define NEED_NORMAL %d\n#define NORMALIZE %d\n"
        "#define ALPHA_FUNC %u\n#define ALPHA_TEST %s\n#define COLOR_QUALIFIER %s\n",
        tex0, tex1, (key >> kEnvShift) & 3, (key >> (kEnvShift + 2)) & 3,
        flag(kTexAlpha) ? "true" : "false", flag(kTexAlpha << 1) ? "true" : "false",
        tex0 && flag(kGenS), tex0 && flag(kGenT), tex1 && flag(kGenS << 2),
        tex1 && flag(kGenT << 2), sphere, lighting, lighting && flag(kLight0), fog,
        sphere || lighting || fog, sphere || lighting, flag(kNormalize), alpha,
        kTests[alpha], flag(kFlat) ? "flat" : "");
    return text;
}

GLuint Compile(GLenum type, const std::string& defines, const char* body) {
    const GLuint shader = es.CreateShader(type);
    const char* parts[2] = {defines.c_str(), body};
    es.ShaderSource(shader, 2, parts, nullptr);
    es.CompileShader(shader);
    GLint ok = 0;
    es.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = "";
        es.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "kavlo: GL layer shader does not compile:\n%s\n%s", defines.c_str(),
                     log);
        es.DeleteShader(shader);
        return 0;
    }
    return shader;
}

const Program* ProgramFor(uint32_t key) {
    const auto found = layer.programs.find(key);
    if (found != layer.programs.end()) return found->second.id ? &found->second : nullptr;
    Program& p = layer.programs[key];  // a failed build is kept too, so it is tried once
    const std::string defines = Defines(key);
    const GLuint vs = Compile(GL_VERTEX_SHADER, defines, kVertexShader);
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, defines, kFragmentShader);
    if (!vs || !fs) {
        if (vs) es.DeleteShader(vs);
        if (fs) es.DeleteShader(fs);
        return nullptr;
    }
    const GLuint id = es.CreateProgram();
    es.AttachShader(id, vs);
    es.AttachShader(id, fs);
    static const char* const kNames[kAttribCount] = {"aPosition", "aColor", "aNormal", "aTex0",
                                                     "aTex1"};
    for (GLuint i = 0; i < kAttribCount; ++i) es.BindAttribLocation(id, i, kNames[i]);
    es.LinkProgram(id);
    es.DeleteShader(vs);
    es.DeleteShader(fs);
    GLint ok = 0;
    es.GetProgramiv(id, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = "";
        es.GetProgramInfoLog(id, sizeof log, nullptr, log);
        std::fprintf(stderr, "kavlo: GL layer program does not link:\n%s\n%s", defines.c_str(),
                     log);
        es.DeleteProgram(id);
        return nullptr;
    }
    p.id = id;
    p.mvp = es.GetUniformLocation(id, "uMvp");
    p.modelview = es.GetUniformLocation(id, "uModelview");
    p.normalMatrix = es.GetUniformLocation(id, "uNormalMatrix");
    p.texMatrix[0] = es.GetUniformLocation(id, "uTexMatrix0");
    p.texMatrix[1] = es.GetUniformLocation(id, "uTexMatrix1");
    p.sceneColor = es.GetUniformLocation(id, "uSceneColor");
    p.lightPosition = es.GetUniformLocation(id, "uLightPosition");
    p.lightAmbient = es.GetUniformLocation(id, "uLightAmbient");
    p.lightDiffuse = es.GetUniformLocation(id, "uLightDiffuse");
    p.fogColor = es.GetUniformLocation(id, "uFogColor");
    p.fogParams = es.GetUniformLocation(id, "uFogParams");
    p.alphaRef = es.GetUniformLocation(id, "uAlphaRef");
    es.UseProgram(id);
    layer.currentProgram = id;
    es.Uniform1i(es.GetUniformLocation(id, "uSampler0"), 0);
    es.Uniform1i(es.GetUniformLocation(id, "uSampler1"), 1);
    return &p;
}

// The uniforms of one draw, from the record as it is now.
void SetUniforms(const Program& p) {
    const Attribs& a = layer.a;
    const Mat4& mv = Top(layer.modelview);
    const Mat4 mvp = Multiply(Top(layer.projection), mv);
    es.UniformMatrix4fv(p.mvp, 1, GL_FALSE, mvp.m);
    if (p.modelview >= 0) es.UniformMatrix4fv(p.modelview, 1, GL_FALSE, mv.m);
    if (p.normalMatrix >= 0) {
        float n[9];
        NormalMatrix(mv, n);
        es.UniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, n);
    }
    for (int u = 0; u < kUnits; ++u)
        if (p.texMatrix[u] >= 0)
            es.UniformMatrix4fv(p.texMatrix[u], 1, GL_FALSE, Top(layer.texture[u]).m);
    if (p.sceneColor >= 0) {
        // Emission (none) plus the material's ambient (0.2) lit by the scene's ambient;
        // alpha is the material's diffuse alpha (1).
        const float* m = a.lighting.modelAmbient;
        const float scene[4] = {0.2f * m[0], 0.2f * m[1], 0.2f * m[2], 1.0f};
        es.Uniform4fv(p.sceneColor, 1, scene);
    }
    if (p.lightPosition >= 0) es.Uniform4fv(p.lightPosition, 1, a.lighting.position);
    if (p.lightAmbient >= 0) es.Uniform4fv(p.lightAmbient, 1, a.lighting.ambient);
    if (p.lightDiffuse >= 0) es.Uniform4fv(p.lightDiffuse, 1, a.lighting.diffuse);
    if (p.fogColor >= 0) es.Uniform4fv(p.fogColor, 1, a.fog.color);
    if (p.fogParams >= 0) {
        const float range = a.fog.end - a.fog.start;
        const float scale = range != 0.0f ? 1.0f / range : 0.0f;
        const float params[4] = {-scale, a.fog.end * scale, a.fog.density, 0};
        // A zero range leaves everything unfogged rather than dividing by zero.
        const float unfogged[4] = {0, 1, a.fog.density, 0};
        es.Uniform4fv(p.fogParams, 1, range != 0.0f ? params : unfogged);
    }
    if (p.alphaRef >= 0) es.Uniform1f(p.alphaRef, std::floor(a.color.alphaRef * 255.0f + 0.5f));
}

// Points the attributes at vertices in the bound array buffer; what the draw does not
// carry per vertex comes from the current values.
void SetAttributes(size_t offset, unsigned perVertex) {
    const Attribs::Current& c = layer.a.current;
    struct Part {
        GLuint location;
        unsigned bit;
        GLint size;
        size_t field;
        const float* current;
    };
    const float normal[4] = {c.normal[0], c.normal[1], c.normal[2], 0};
    const Part parts[] = {
        {kPosition, 0, 4, offsetof(Vertex, position), nullptr},
        {kColor, kColorPart, 4, offsetof(Vertex, color), c.color},
        {kNormal, kNormalPart, 3, offsetof(Vertex, normal), normal},
        {kTex0, kTex0Part, 4, offsetof(Vertex, tex), c.tex[0]},
        {kTex1, kTex1Part, 4, offsetof(Vertex, tex) + sizeof(float) * 4, c.tex[1]},
    };
    for (const Part& part : parts) {
        const bool array = part.bit == 0 || (perVertex & part.bit);
        const unsigned mask = 1u << part.location;
        if (array) {
            if (!(layer.enabledAttribs & mask)) es.EnableVertexAttribArray(part.location);
            layer.enabledAttribs |= mask;
            es.VertexAttribPointer(part.location, part.size, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                                   reinterpret_cast<const void*>(offset + part.field));
        } else {
            if (layer.enabledAttribs & mask) es.DisableVertexAttribArray(part.location);
            layer.enabledAttribs &= ~mask;
            es.VertexAttrib4fv(part.location, part.current);
        }
    }
}

bool PrepareDraw() {
    const Program* p = ProgramFor(KeyOf(layer.a));
    if (!p) return false;
    if (layer.currentProgram != p->id) {
        es.UseProgram(p->id);
        layer.currentProgram = p->id;
    }
    SetUniforms(*p);
    return true;
}

}  // namespace

void DrawBatch(const Batch& batch) {
    if (batch.vertices.empty() || !PrepareDraw()) return;
    // Each draw's vertices go to fresh storage, so no draw waits for the one before.
    es.BindBuffer(GL_ARRAY_BUFFER, layer.streamVertices);
    es.BufferData(GL_ARRAY_BUFFER, batch.vertices.size() * sizeof(Vertex),
                  batch.vertices.data(), GL_STREAM_DRAW);
    SetAttributes(0, batch.perVertex);
    if (batch.indices.empty()) {
        es.DrawArrays(batch.mode, 0, static_cast<GLsizei>(batch.vertices.size()));
        return;
    }
    es.BufferData(GL_ELEMENT_ARRAY_BUFFER, batch.indices.size() * sizeof(GLuint),
                  batch.indices.data(), GL_STREAM_DRAW);
    es.DrawElements(batch.mode, static_cast<GLsizei>(batch.indices.size()), GL_UNSIGNED_INT,
                    nullptr);
}

void DrawStored(const DisplayList& list, const StoredBatch& batch) {
    if (batch.vertexCount == 0 || !PrepareDraw()) return;
    es.BindBuffer(GL_ARRAY_BUFFER, list.vertexBuffer);
    SetAttributes(batch.vertexOffset, batch.perVertex);
    if (batch.indexCount == 0) {
        es.DrawArrays(batch.mode, 0, batch.vertexCount);
        return;
    }
    es.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, list.indexBuffer);
    es.DrawElements(batch.mode, batch.indexCount, GL_UNSIGNED_INT,
                    reinterpret_cast<const void*>(batch.indexOffset));
    es.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, layer.streamIndices);
}

void StoreBatches(DisplayList& list) {
    size_t vertexBytes = 0, indexBytes = 0;
    for (const Batch& b : list.pending) {
        vertexBytes += b.vertices.size() * sizeof(Vertex);
        indexBytes += b.indices.size() * sizeof(GLuint);
    }
    std::vector<unsigned char> vertices(vertexBytes), indices(indexBytes);
    size_t v = 0, i = 0;
    for (size_t k = 0; k < list.pending.size(); ++k) {
        const Batch& b = list.pending[k];
        StoredBatch& s = list.batches[k];
        s.vertexOffset = v;
        s.indexOffset = i;
        if (!b.vertices.empty()) std::memcpy(&vertices[v], b.vertices.data(), b.vertices.size() * sizeof(Vertex));
        if (!b.indices.empty()) std::memcpy(&indices[i], b.indices.data(), b.indices.size() * sizeof(GLuint));
        v += b.vertices.size() * sizeof(Vertex);
        i += b.indices.size() * sizeof(GLuint);
    }
    list.pending.clear();
    list.pending.shrink_to_fit();
    if (vertexBytes) {
        es.GenBuffers(1, &list.vertexBuffer);
        es.BindBuffer(GL_ARRAY_BUFFER, list.vertexBuffer);
        es.BufferData(GL_ARRAY_BUFFER, vertexBytes, vertices.data(), GL_STATIC_DRAW);
    }
    if (indexBytes) {
        es.GenBuffers(1, &list.indexBuffer);
        es.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, list.indexBuffer);
        es.BufferData(GL_ELEMENT_ARRAY_BUFFER, indexBytes, indices.data(), GL_STATIC_DRAW);
        es.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, layer.streamIndices);
    }
}

bool CreateDrawObjects() {
    es.GenVertexArrays(1, &layer.vertexArray);
    es.BindVertexArray(layer.vertexArray);
    es.GenBuffers(1, &layer.streamVertices);
    es.GenBuffers(1, &layer.streamIndices);
    es.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, layer.streamIndices);
    // The plainest program, built now so that a context that cannot run the layer's
    // shaders is found out before the show starts.
    return ProgramFor(0) != nullptr;
}

void DeleteDrawObjects() {
    for (auto& entry : layer.programs)
        if (entry.second.id) es.DeleteProgram(entry.second.id);
    for (auto& entry : layer.lists) {
        DisplayList& l = *entry.second;
        if (l.vertexBuffer) es.DeleteBuffers(1, &l.vertexBuffer);
        if (l.indexBuffer) es.DeleteBuffers(1, &l.indexBuffer);
    }
    if (layer.streamVertices) es.DeleteBuffers(1, &layer.streamVertices);
    if (layer.streamIndices) es.DeleteBuffers(1, &layer.streamIndices);
    if (layer.vertexArray) es.DeleteVertexArrays(1, &layer.vertexArray);
}

void ApplyEsState(const Attribs& a) {
    auto enable = [](GLenum cap, bool on) { on ? es.Enable(cap) : es.Disable(cap); };
    enable(GL_BLEND, a.color.blend);
    enable(GL_DITHER, a.color.dither);
    enable(GL_DEPTH_TEST, a.depth.test);
    enable(GL_CULL_FACE, a.polygon.cull);
    enable(GL_POLYGON_OFFSET_FILL, a.polygon.offsetFill);
    enable(GL_SCISSOR_TEST, a.scissor.test);
    es.BlendFunc(a.color.blendSrc, a.color.blendDst);
    es.ColorMask(a.color.colorMask[0], a.color.colorMask[1], a.color.colorMask[2],
                 a.color.colorMask[3]);
    es.ClearColor(a.color.clearColor[0], a.color.clearColor[1], a.color.clearColor[2],
                  a.color.clearColor[3]);
    es.DepthFunc(a.depth.func);
    es.DepthMask(a.depth.mask);
    es.ClearDepthf(a.depth.clear);
    es.CullFace(a.polygon.cullMode);
    es.FrontFace(a.polygon.frontFace);
    es.PolygonOffset(a.polygon.offsetFactor, a.polygon.offsetUnits);
    es.Scissor(a.scissor.box[0], a.scissor.box[1], a.scissor.box[2], a.scissor.box[3]);
    es.Viewport(a.viewport.box[0], a.viewport.box[1], a.viewport.box[2], a.viewport.box[3]);
    es.DepthRangef(a.viewport.zNear, a.viewport.zFar);
    es.LineWidth(a.lineWidth);
    for (int u = 0; u < kUnits; ++u) {
        es.ActiveTexture(GL_TEXTURE0 + u);
        es.BindTexture(GL_TEXTURE_2D, a.texture.unit[u].binding);
    }
    es.ActiveTexture(GL_TEXTURE0 + a.texture.active);
    layer.esActive = a.texture.active;
}

}  // namespace platform::gl
