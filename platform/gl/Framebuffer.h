// Framebuffer objects, as the GL seam offers them to the window layer: the calls of the
// current context, and a picture-sized framebuffer made of renderbuffers of its own.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

namespace platform::gl {

// GL 3.0 and ARB_framebuffer_object on the desktop; OpenGL ES 3.0 (WebGL 2) has them.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
    PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;
};

// The current context's framebuffer calls, every one present; null where it has none
// (decided once per context by the context's own file, ContextDesktop.cpp or ContextES.cpp).
const FramebufferCalls* Framebuffers();

// A framebuffer over renderbuffers of its own: RGBA8 colour and, where asked, depth and
// stencil in one buffer (drivers rarely offer a separate stencil buffer, and the
// window's own 16/1 request gets a combined one too). All zero while there is none.
struct Framebuffer {
    GLuint name = 0, color = 0, depthStencil = 0;
};

// Makes `out` at this size and leaves it bound. Where the context cannot make it
// complete, nothing is kept, framebuffer 0 is bound and the GL errors it caused are
// taken: false.
bool CreateFramebuffer(const FramebufferCalls& calls, int width, int height,
                       bool withDepthStencil, Framebuffer* out);
// Deletes whatever `f` holds (not the binding) and zeroes it.
void DeleteFramebuffer(const FramebufferCalls& calls, Framebuffer* f);

}  // namespace platform::gl
