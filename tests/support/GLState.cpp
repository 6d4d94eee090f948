// GL state snapshots and error collection for the drawing tests.
#include "GLState.h"

#include <GL/glext.h>

namespace testsupport {

GLState ReadGLState() {
    GLState s{};
    s.depthTest = glIsEnabled(GL_DEPTH_TEST);
    s.blend = glIsEnabled(GL_BLEND);
    s.fog = glIsEnabled(GL_FOG);
    s.cullFace = glIsEnabled(GL_CULL_FACE);
    s.texture2D = glIsEnabled(GL_TEXTURE_2D);
    s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
    s.scissorTest = glIsEnabled(GL_SCISSOR_TEST);
    s.texGenS = glIsEnabled(GL_TEXTURE_GEN_S);
    s.texGenT = glIsEnabled(GL_TEXTURE_GEN_T);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelviewDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projectionDepth);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
    glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
    glGetIntegerv(GL_BLEND_DST, &s.blendDst);
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &s.alphaFunc);
    glGetFloatv(GL_ALPHA_TEST_REF, &s.alphaRef);
    glGetFloatv(GL_CURRENT_COLOR, s.color);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    return s;
}

std::vector<GLenum> TakeGLErrors() {
    std::vector<GLenum> errors;
    for (GLenum e = glGetError(); e != GL_NO_ERROR && errors.size() < 16; e = glGetError())
        errors.push_back(e);
    return errors;
}

}  // namespace testsupport
