// The matrix stacks, and the GL and GLU calls that multiply onto them.
#include "platform/gl/Calls.h"

#include <GL/glu.h>

#include <algorithm>

namespace platform::gl {

namespace {

void MultMatrix(const Mat4& m) {
    Mat4& top = Top(CurrentStack());
    top = Multiply(top, m);
}

void LoadMatrix(const Mat4& m) { Top(CurrentStack()) = m; }

void PushMatrix() {
    std::vector<Mat4>& stack = CurrentStack();
    const size_t depth = &stack == &layer.modelview    ? kModelviewDepth
                         : &stack == &layer.projection ? kProjectionDepth
                                                       : kTextureDepth;
    if (stack.size() >= depth) return SetError(GL_STACK_OVERFLOW);
    stack.push_back(stack.back());
}

void PopMatrix() {
    std::vector<Mat4>& stack = CurrentStack();
    if (stack.size() <= 1) return SetError(GL_STACK_UNDERFLOW);
    stack.pop_back();
}

}  // namespace

}  // namespace platform::gl

using namespace platform::gl;

extern "C" {

void glMatrixMode(GLenum mode) {
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE)
        return SetError(GL_INVALID_ENUM);
    RecordOrRun([=] { layer.a.transform.matrixMode = mode; });
}
void glLoadIdentity() {
    RecordOrRun([=] { LoadMatrix(Mat4::Identity()); });
}
void glLoadMatrixf(const GLfloat* m) {
    Mat4 matrix;
    std::copy(m, m + 16, matrix.m);
    RecordOrRun([=] { LoadMatrix(matrix); });
}
void glLoadMatrixd(const GLdouble* m) {
    const Mat4 matrix = Mat4::FromDoubles(m);
    RecordOrRun([=] { LoadMatrix(matrix); });
}
void glMultMatrixf(const GLfloat* m) {
    Mat4 matrix;
    std::copy(m, m + 16, matrix.m);
    RecordOrRun([=] { MultMatrix(matrix); });
}
void glMultMatrixd(const GLdouble* m) {
    const Mat4 matrix = Mat4::FromDoubles(m);
    RecordOrRun([=] { MultMatrix(matrix); });
}
void glPushMatrix() {
    RecordOrRun([=] { PushMatrix(); });
}
void glPopMatrix() {
    RecordOrRun([=] { PopMatrix(); });
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    RecordOrRun([=] { MultMatrix(Translation(x, y, z)); });
}
void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    glTranslatef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}
void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    RecordOrRun([=] { MultMatrix(Scaling(x, y, z)); });
}
void glScaled(GLdouble x, GLdouble y, GLdouble z) {
    glScalef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    const Mat4 r = Rotation(angle, x, y, z);
    RecordOrRun([=] { MultMatrix(r); });
}
void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    glRotatef(static_cast<float>(angle), static_cast<float>(x), static_cast<float>(y),
              static_cast<float>(z));
}
void glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    if (l == r || b == t || n == f) return SetError(GL_INVALID_VALUE);
    double m[16] = {};
    m[0] = 2 / (r - l), m[5] = 2 / (t - b), m[10] = -2 / (f - n), m[15] = 1;
    m[12] = -(r + l) / (r - l), m[13] = -(t + b) / (t - b), m[14] = -(f + n) / (f - n);
    glMultMatrixd(m);
}
void glFrustum(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    if (n <= 0 || f <= 0 || l == r || b == t || n == f) return SetError(GL_INVALID_VALUE);
    double m[16] = {};
    m[0] = 2 * n / (r - l), m[5] = 2 * n / (t - b);
    m[8] = (r + l) / (r - l), m[9] = (t + b) / (t - b), m[10] = -(f + n) / (f - n), m[11] = -1;
    m[14] = -2 * f * n / (f - n);
    glMultMatrixd(m);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    Mat4 m;
    if (Perspective(fovy, aspect, zNear, zFar, &m)) glMultMatrixf(m.m);
}
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    const Mat4 m = LookAt(eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ);
    glMultMatrixf(m.m);
    glTranslated(-eyeX, -eyeY, -eyeZ);
}
void gluOrtho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top) {
    glOrtho(left, right, bottom, top, -1, 1);
}

}  // extern "C"
