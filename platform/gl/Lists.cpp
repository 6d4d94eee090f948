// Display lists: compiled from the calls RecordOrRun keeps and the batches drawn while
// compiling, replayed by glCallList.
#include "platform/gl/Calls.h"

#include <memory>

namespace platform::gl {

namespace {

void CallList(GLuint name) {
    const auto it = layer.lists.find(name);
    // Lists that call lists stop at GL's usual nesting depth.
    if (it == layer.lists.end() || layer.callDepth >= 64) return;
    ++layer.callDepth;
    DisplayList* list = it->second.get();
    for (const auto& command : list->commands) command();
    --layer.callDepth;
}

}  // namespace

}  // namespace platform::gl

using namespace platform::gl;

extern "C" {

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

}  // extern "C"
