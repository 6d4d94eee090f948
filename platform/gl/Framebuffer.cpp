// The renderbuffer-backed framebuffers of the window layer.
#include "platform/gl/Framebuffer.h"

namespace platform::gl {

namespace {

GLuint MakeRenderbuffer(const FramebufferCalls& calls, GLenum format, int width, int height) {
    GLuint buffer = 0;
    calls.GenRenderbuffers(1, &buffer);
    calls.BindRenderbuffer(GL_RENDERBUFFER, buffer);
    calls.RenderbufferStorage(GL_RENDERBUFFER, format, width, height);
    return buffer;
}

}  // namespace

bool CreateFramebuffer(const FramebufferCalls& calls, int width, int height,
                       bool withDepthStencil, Framebuffer* out) {
    Framebuffer f;
    f.color = MakeRenderbuffer(calls, GL_RGBA8, width, height);
    if (withDepthStencil)
        f.depthStencil = MakeRenderbuffer(calls, GL_DEPTH24_STENCIL8, width, height);
    calls.BindRenderbuffer(GL_RENDERBUFFER, 0);
    calls.GenFramebuffers(1, &f.name);
    calls.BindFramebuffer(GL_FRAMEBUFFER, f.name);
    calls.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, f.color);
    if (withDepthStencil) {
        calls.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                      f.depthStencil);
        calls.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                      f.depthStencil);
    }
    if (calls.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        calls.BindFramebuffer(GL_FRAMEBUFFER, 0);
        DeleteFramebuffer(calls, &f);
        while (glGetError() != GL_NO_ERROR) {
        }
        return false;
    }
    *out = f;
    return true;
}

void DeleteFramebuffer(const FramebufferCalls& calls, Framebuffer* f) {
    if (f->name) calls.DeleteFramebuffers(1, &f->name);
    if (f->color) calls.DeleteRenderbuffers(1, &f->color);
    if (f->depthStencil) calls.DeleteRenderbuffers(1, &f->depthStencil);
    *f = Framebuffer {};
}

}  // namespace platform::gl
