// The desktop's OpenGL: a compatibility-profile context, extensions and framebuffer
// objects from the driver.
#include "platform/gl/Context.h"
#include "platform/gl/Framebuffer.h"
#include "platform/gl/Proc.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace platform::gl {

namespace {

FramebufferCalls framebufferCalls;
bool framebuffersLoaded = false;

// Core from GL 3.0, an extension before. A driver may hand out entry points it does
// not support, so non-null pointers alone prove nothing.
bool FramebuffersSupported() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version && std::atoi(version) >= 3) return true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const char* name = "GL_ARB_framebuffer_object";
    const size_t length = std::strlen(name);
    for (const char* at = extensions; at && (at = std::strstr(at, name)); at += length) {
        const bool starts = at == extensions || at[-1] == ' ';
        if (starts && (at[length] == ' ' || at[length] == '\0')) return true;
    }
    return false;
}

bool LoadFramebuffers(FramebufferCalls* c) {
    if (!FramebuffersSupported()) return false;
    // Every one is fetched, even after one is missing.
    bool complete = LoadProc(Proc, "glGenFramebuffers", &c->GenFramebuffers);
    complete &= LoadProc(Proc, "glDeleteFramebuffers", &c->DeleteFramebuffers);
    complete &= LoadProc(Proc, "glBindFramebuffer", &c->BindFramebuffer);
    complete &= LoadProc(Proc, "glFramebufferRenderbuffer", &c->FramebufferRenderbuffer);
    complete &= LoadProc(Proc, "glCheckFramebufferStatus", &c->CheckFramebufferStatus);
    complete &= LoadProc(Proc, "glGenRenderbuffers", &c->GenRenderbuffers);
    complete &= LoadProc(Proc, "glDeleteRenderbuffers", &c->DeleteRenderbuffers);
    complete &= LoadProc(Proc, "glBindRenderbuffer", &c->BindRenderbuffer);
    complete &= LoadProc(Proc, "glRenderbufferStorage", &c->RenderbufferStorage);
    complete &= LoadProc(Proc, "glBlitFramebuffer", &c->BlitFramebuffer);
    return complete;
}

}  // namespace

void RequestContextAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

bool ContextCurrent() {
    framebuffersLoaded = LoadFramebuffers(&framebufferCalls);
    return true;
}

void ContextGone() { framebuffersLoaded = false; }

void* ExtensionProc(const char* name) { return Proc(name); }

const FramebufferCalls* Framebuffers() { return framebuffersLoaded ? &framebufferCalls : nullptr; }

}  // namespace platform::gl
