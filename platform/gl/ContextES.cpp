// The window layer's seam for the fixed-function layer: an OpenGL ES 3.0 context, the
// layer's record made fresh for it, the layer's own extension calls, and ES's framebuffer
// calls as they are.
// State.h first: its ES declarations need the GL headers' prototypes.
#include "platform/gl/State.h"
#include "platform/gl/Context.h"
#include "platform/gl/Framebuffer.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::gl {

namespace {

// What the layer counted as not carried out, on stderr with KAVLO_GL_REPORT set.
void Report() {
    const char* wanted = std::getenv("KAVLO_GL_REPORT");
    if (!wanted || !*wanted) return;
    if (layer.unsupported.empty()) {
        std::fprintf(stderr, "kavlo: GL layer ignored nothing\n");
        return;
    }
    std::fprintf(stderr, "kavlo: GL layer ignored:\n");
    for (const auto& entry : layer.unsupported)
        std::fprintf(stderr, "  %s  x%u\n", entry.first.c_str(), entry.second);
}

}  // namespace

void RequestContextAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
}

bool ContextCurrent() {
    layer = Layer {};
    if (!LoadEsCalls()) return false;
    const char* esVersion = reinterpret_cast<const char*>(es.GetString(GL_VERSION));
    layer.version = std::string("1.3 Kavlo fixed-function layer over ") +
                    (esVersion ? esVersion : "OpenGL ES");
    // What the layer itself provides.
    layer.extensions = "GL_ARB_multitexture GL_EXT_compiled_vertex_array";
    // The window's size is where viewport and scissor box start.
    es.GetIntegerv(GL_VIEWPORT, layer.a.viewport.box);
    es.GetIntegerv(GL_SCISSOR_BOX, layer.a.scissor.box);
    if (!CreateDrawObjects()) {
        DeleteDrawObjects();
        layer = Layer {};
        return false;
    }
    ApplyEsState(layer.a);
    return true;
}

void ContextGone() {
    Report();
    DeleteDrawObjects();
    layer = Layer {};
}

void* ExtensionProc(const char* name) {
    struct Entry {
        const char* name;
        void* proc;
    };
    static const Entry kEntries[] = {
        {"glActiveTextureARB", reinterpret_cast<void*>(&glActiveTextureARB)},
        {"glClientActiveTextureARB", reinterpret_cast<void*>(&glClientActiveTextureARB)},
        {"glMultiTexCoord1fARB", reinterpret_cast<void*>(&glMultiTexCoord1fARB)},
        {"glMultiTexCoord2fARB", reinterpret_cast<void*>(&glMultiTexCoord2fARB)},
        {"glMultiTexCoord3fARB", reinterpret_cast<void*>(&glMultiTexCoord3fARB)},
        {"glMultiTexCoord4fARB", reinterpret_cast<void*>(&glMultiTexCoord4fARB)},
        {"glLockArraysEXT", reinterpret_cast<void*>(&glLockArraysEXT)},
        {"glUnlockArraysEXT", reinterpret_cast<void*>(&glUnlockArraysEXT)},
    };
    for (const Entry& e : kEntries)
        if (std::strcmp(e.name, name) == 0) return e.proc;
    return nullptr;
}

// ES 3.0 has them; the layer keeps no state of theirs, so they go to ES directly.
const FramebufferCalls* Framebuffers() {
    static FramebufferCalls calls;
    if (layer.version.empty()) return nullptr;  // no context
#define KAVLO_FRAMEBUFFER_CALL(name) calls.name = es.name;
    KAVLO_ES_FRAMEBUFFER_CALLS(KAVLO_FRAMEBUFFER_CALL)
#undef KAVLO_FRAMEBUFFER_CALL
    return &calls;
}

}  // namespace platform::gl
