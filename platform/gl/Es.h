// The OpenGL ES 3.0 calls the layer draws with, reached through a table filled once a
// context is current; the layer's own gl* symbols answer the show.
#pragma once

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>

namespace platform::gl {

// Only calls that ES 3.0 and WebGL 2 both have.
#define KAVLO_ES_CALLS(X)                                                                     \
    X(ActiveTexture) X(AttachShader) X(BindAttribLocation) X(BindBuffer) X(BindTexture)       \
    X(BindVertexArray) X(BlendFunc) X(BufferData) X(Clear) X(ClearColor) X(ClearDepthf)      \
    X(ClearStencil) X(ColorMask) X(CompileShader) X(CreateProgram) X(CreateShader)           \
    X(CullFace) X(DeleteBuffers) X(DeleteProgram) X(DeleteShader) X(DeleteTextures)          \
    X(DeleteVertexArrays) X(DepthFunc) X(DepthMask) X(DepthRangef) X(Disable)                \
    X(DisableVertexAttribArray) X(DrawArrays) X(DrawElements) X(Enable)                      \
    X(EnableVertexAttribArray) X(Finish) X(Flush) X(FrontFace) X(GenBuffers) X(GenTextures)  \
    X(GenVertexArrays) X(GetBooleanv) X(GetError) X(GetFloatv) X(GetIntegerv)               \
    X(GetProgramInfoLog) X(GetProgramiv) X(GetShaderInfoLog) X(GetShaderiv) X(GetString)     \
    X(GetUniformLocation) X(Hint) X(IsEnabled) X(LineWidth) X(LinkProgram) X(PixelStorei)    \
    X(PolygonOffset) X(ReadBuffer) X(ReadPixels) X(Scissor) X(ShaderSource) X(StencilFunc)   \
    X(StencilMask) X(StencilOp) X(TexImage2D) X(TexParameterf) X(TexParameteri)              \
    X(TexSubImage2D) X(Uniform1f) X(Uniform1i) X(Uniform4fv) X(UniformMatrix3fv)            \
    X(UniformMatrix4fv) X(UseProgram) X(VertexAttrib4fv) X(VertexAttribPointer) X(Viewport)  \
    KAVLO_ES_FRAMEBUFFER_CALLS(X)

// The framebuffer calls the layer hands the window layer as they are (Framebuffer.h).
#define KAVLO_ES_FRAMEBUFFER_CALLS(X)                                                         \
    X(GenFramebuffers) X(DeleteFramebuffers) X(BindFramebuffer) X(FramebufferRenderbuffer)   \
    X(CheckFramebufferStatus) X(GenRenderbuffers) X(DeleteRenderbuffers) X(BindRenderbuffer) \
    X(RenderbufferStorage) X(BlitFramebuffer)

struct EsCalls {
#define KAVLO_ES_MEMBER(name) decltype(&::gl##name) name = nullptr;
    KAVLO_ES_CALLS(KAVLO_ES_MEMBER)
#undef KAVLO_ES_MEMBER
};
extern EsCalls es;

// Fills the table through Proc; false if any call is missing.
bool LoadEsCalls();

}  // namespace platform::gl
