// The abstract effect's stored window.
#include "Effect.h"

#include <GL/gl.h>

bool Effect::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    width = width_;
    height = height_;
    startMs = startMs_;
    endMs = endMs_;
    return true;
}

bool Effect::IsActive(unsigned timeMs) { return startMs < timeMs && timeMs < endMs; }

void Effect::WarmUp(std::initializer_list<unsigned> timesMs) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    for (unsigned t : timesMs) Render(t, 0, false);
    // The drawing is done here, not in the first frame that follows.
    glFinish();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ResetState();
}
