// Test helpers: a snapshot of the GL state that drawing operations promise to leave,
// and the errors GL has collected.
#pragma once

#include <GL/gl.h>

#include <vector>

namespace testsupport {

struct GLState {
    bool depthTest, blend, fog, cullFace, texture2D, alphaTest, scissorTest, texGenS, texGenT;
    GLboolean depthMask;
    GLint matrixMode, modelviewDepth, projectionDepth, activeTexture;
    GLint blendSrc, blendDst, alphaFunc;
    GLfloat alphaRef;
    GLfloat color[4];
    GLint viewport[4];
};
GLState ReadGLState();

// Every error GL collected since the last call (at most 16; empty: none).
std::vector<GLenum> TakeGLErrors();

}  // namespace testsupport
