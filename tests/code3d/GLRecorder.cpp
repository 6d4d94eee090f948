// GL call recorder: --wrap stand-ins that log each call and pass it on.
#include "GLRecorder.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>

namespace glrec {
namespace {
bool recording = false;
std::vector<std::string> calls;
}  // namespace

void Start() {
    calls.clear();
    recording = true;
}

std::vector<std::string> Stop() {
    recording = false;
    return calls;
}

void Record(const std::string& call) {
    if (recording) calls.push_back(call);
}

std::string Ptr(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

int Count(const std::vector<std::string>& list, const std::string& prefix) {
    int n = 0;
    for (const std::string& c : list)
        if (c.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

}  // namespace glrec

namespace {
std::string F(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}
std::string D(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}
// Light positions and fog colours: the four values themselves.
std::string Vec(const GLfloat* p) {
    return "{" + F(p[0]) + "," + F(p[1]) + "," + F(p[2]) + "," + F(p[3]) + "}";
}
}  // namespace

extern "C" {

void __real_glEnable(GLenum);
void __wrap_glEnable(GLenum cap) {
    glrec::Record("glEnable(" + std::to_string(static_cast<long long>(cap)) + ")");
    __real_glEnable(cap);
}
void __real_glDisable(GLenum);
void __wrap_glDisable(GLenum cap) {
    glrec::Record("glDisable(" + std::to_string(static_cast<long long>(cap)) + ")");
    __real_glDisable(cap);
}
void __real_glCullFace(GLenum);
void __wrap_glCullFace(GLenum mode) {
    glrec::Record("glCullFace(" + std::to_string(static_cast<long long>(mode)) + ")");
    __real_glCullFace(mode);
}
void __real_glPushMatrix(void);
void __wrap_glPushMatrix(void) {
    glrec::Record("glPushMatrix()");
    __real_glPushMatrix();
}
void __real_glPopMatrix(void);
void __wrap_glPopMatrix(void) {
    glrec::Record("glPopMatrix()");
    __real_glPopMatrix();
}
void __real_glTranslatef(GLfloat, GLfloat, GLfloat);
void __wrap_glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    glrec::Record("glTranslatef(" + F(x) + "," + F(y) + "," + F(z) + ")");
    __real_glTranslatef(x, y, z);
}
void __real_glRotatef(GLfloat, GLfloat, GLfloat, GLfloat);
void __wrap_glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) {
    glrec::Record("glRotatef(" + F(a) + "," + F(x) + "," + F(y) + "," + F(z) + ")");
    __real_glRotatef(a, x, y, z);
}
void __real_glScalef(GLfloat, GLfloat, GLfloat);
void __wrap_glScalef(GLfloat x, GLfloat y, GLfloat z) {
    glrec::Record("glScalef(" + F(x) + "," + F(y) + "," + F(z) + ")");
    __real_glScalef(x, y, z);
}
void __real_glBlendFunc(GLenum, GLenum);
void __wrap_glBlendFunc(GLenum s, GLenum d) {
    glrec::Record("glBlendFunc(" + std::to_string(static_cast<long long>(s)) + "," + std::to_string(static_cast<long long>(d)) + ")");
    __real_glBlendFunc(s, d);
}
void __real_glAlphaFunc(GLenum, GLclampf);
void __wrap_glAlphaFunc(GLenum f, GLclampf r) {
    glrec::Record("glAlphaFunc(" + std::to_string(static_cast<long long>(f)) + "," + F(r) + ")");
    __real_glAlphaFunc(f, r);
}
void __real_glDepthMask(GLboolean);
void __wrap_glDepthMask(GLboolean m) {
    glrec::Record("glDepthMask(" + std::to_string(static_cast<long long>(m)) + ")");
    __real_glDepthMask(m);
}
void __real_glEnableClientState(GLenum);
void __wrap_glEnableClientState(GLenum a) {
    glrec::Record("glEnableClientState(" + std::to_string(static_cast<long long>(a)) + ")");
    __real_glEnableClientState(a);
}
void __real_glDisableClientState(GLenum);
void __wrap_glDisableClientState(GLenum a) {
    glrec::Record("glDisableClientState(" + std::to_string(static_cast<long long>(a)) + ")");
    __real_glDisableClientState(a);
}
void __real_glTexCoordPointer(GLint, GLenum, GLsizei, const GLvoid*);
void __wrap_glTexCoordPointer(GLint n, GLenum t, GLsizei s, const GLvoid* p) {
    glrec::Record("glTexCoordPointer(" + std::to_string(static_cast<long long>(n)) + "," + std::to_string(static_cast<long long>(t)) + "," + std::to_string(static_cast<long long>(s)) + "," + glrec::Ptr(p) + ")");
    __real_glTexCoordPointer(n, t, s, p);
}
void __real_glVertexPointer(GLint, GLenum, GLsizei, const GLvoid*);
void __wrap_glVertexPointer(GLint n, GLenum t, GLsizei s, const GLvoid* p) {
    glrec::Record("glVertexPointer(" + std::to_string(static_cast<long long>(n)) + "," + std::to_string(static_cast<long long>(t)) + "," + std::to_string(static_cast<long long>(s)) + "," + glrec::Ptr(p) + ")");
    __real_glVertexPointer(n, t, s, p);
}
void __real_glNormalPointer(GLenum, GLsizei, const GLvoid*);
void __wrap_glNormalPointer(GLenum t, GLsizei s, const GLvoid* p) {
    glrec::Record("glNormalPointer(" + std::to_string(static_cast<long long>(t)) + "," + std::to_string(static_cast<long long>(s)) + "," + glrec::Ptr(p) + ")");
    __real_glNormalPointer(t, s, p);
}
void __real_glDrawElements(GLenum, GLsizei, GLenum, const GLvoid*);
void __wrap_glDrawElements(GLenum m, GLsizei n, GLenum t, const GLvoid* p) {
    glrec::Record("glDrawElements(" + std::to_string(static_cast<long long>(m)) + "," + std::to_string(static_cast<long long>(n)) + "," + std::to_string(static_cast<long long>(t)) + "," + glrec::Ptr(p) + ")");
    __real_glDrawElements(m, n, t, p);
}
void __real_glTexGeni(GLenum, GLenum, GLint);
void __wrap_glTexGeni(GLenum c, GLenum n, GLint v) {
    glrec::Record("glTexGeni(" + std::to_string(static_cast<long long>(c)) + "," + std::to_string(static_cast<long long>(n)) + "," + std::to_string(static_cast<long long>(v)) + ")");
    __real_glTexGeni(c, n, v);
}
void __real_glTexParameterf(GLenum, GLenum, GLfloat);
void __wrap_glTexParameterf(GLenum t, GLenum n, GLfloat v) {
    glrec::Record("glTexParameterf(" + std::to_string(static_cast<long long>(t)) + "," + std::to_string(static_cast<long long>(n)) + "," + F(v) + ")");
    __real_glTexParameterf(t, n, v);
}
void __real_glGetFloatv(GLenum, GLfloat*);
void __wrap_glGetFloatv(GLenum n, GLfloat* p) {
    glrec::Record("glGetFloatv(" + std::to_string(static_cast<long long>(n)) + "," + glrec::Ptr(p) + ")");
    __real_glGetFloatv(n, p);
}
void __real_glBegin(GLenum);
void __wrap_glBegin(GLenum m) {
    glrec::Record("glBegin(" + std::to_string(static_cast<long long>(m)) + ")");
    __real_glBegin(m);
}
void __real_glEnd(void);
void __wrap_glEnd(void) {
    glrec::Record("glEnd()");
    __real_glEnd();
}
void __real_glColor4f(GLfloat, GLfloat, GLfloat, GLfloat);
void __wrap_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    glrec::Record("glColor4f(" + F(r) + "," + F(g) + "," + F(b) + "," + F(a) + ")");
    __real_glColor4f(r, g, b, a);
}
void __real_glTexCoord2f(GLfloat, GLfloat);
void __wrap_glTexCoord2f(GLfloat s, GLfloat t) {
    glrec::Record("glTexCoord2f(" + F(s) + "," + F(t) + ")");
    __real_glTexCoord2f(s, t);
}
void __real_glVertex3f(GLfloat, GLfloat, GLfloat);
void __wrap_glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    glrec::Record("glVertex3f(" + F(x) + "," + F(y) + "," + F(z) + ")");
    __real_glVertex3f(x, y, z);
}
void __real_glNormal3f(GLfloat, GLfloat, GLfloat);
void __wrap_glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
    glrec::Record("glNormal3f(" + F(x) + "," + F(y) + "," + F(z) + ")");
    __real_glNormal3f(x, y, z);
}
void __real_glLightfv(GLenum, GLenum, const GLfloat*);
void __wrap_glLightfv(GLenum l, GLenum n, const GLfloat* p) {
    glrec::Record("glLightfv(" + std::to_string(static_cast<long long>(l)) + "," + std::to_string(static_cast<long long>(n)) + "," + Vec(p) + ")");
    __real_glLightfv(l, n, p);
}
void __real_glShadeModel(GLenum);
void __wrap_glShadeModel(GLenum m) {
    glrec::Record("glShadeModel(" + std::to_string(static_cast<long long>(m)) + ")");
    __real_glShadeModel(m);
}
void __real_glBindTexture(GLenum, GLuint);
void __wrap_glBindTexture(GLenum t, GLuint id) {
    glrec::Record("glBindTexture(" + std::to_string(static_cast<long long>(t)) + "," + std::to_string(static_cast<long long>(id)) + ")");
    __real_glBindTexture(t, id);
}
void __real_glViewport(GLint, GLint, GLsizei, GLsizei);
void __wrap_glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    glrec::Record("glViewport(" + std::to_string(static_cast<long long>(x)) + "," + std::to_string(static_cast<long long>(y)) + "," + std::to_string(static_cast<long long>(w)) + "," + std::to_string(static_cast<long long>(h)) + ")");
    __real_glViewport(x, y, w, h);
}
void __real_glMatrixMode(GLenum);
void __wrap_glMatrixMode(GLenum m) {
    glrec::Record("glMatrixMode(" + std::to_string(static_cast<long long>(m)) + ")");
    __real_glMatrixMode(m);
}
void __real_glLoadIdentity(void);
void __wrap_glLoadIdentity(void) {
    glrec::Record("glLoadIdentity()");
    __real_glLoadIdentity();
}
void __real_glFogf(GLenum, GLfloat);
void __wrap_glFogf(GLenum n, GLfloat v) {
    glrec::Record("glFogf(" + std::to_string(static_cast<long long>(n)) + "," + F(v) + ")");
    __real_glFogf(n, v);
}
void __real_glFogfv(GLenum, const GLfloat*);
void __wrap_glFogfv(GLenum n, const GLfloat* p) {
    glrec::Record("glFogfv(" + std::to_string(static_cast<long long>(n)) + "," + Vec(p) + ")");
    __real_glFogfv(n, p);
}
void __real_gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble);
void __wrap_gluPerspective(GLdouble f, GLdouble a, GLdouble n, GLdouble z) {
    glrec::Record("gluPerspective(" + D(f) + "," + D(a) + "," + D(n) + "," + D(z) + ")");
    __real_gluPerspective(f, a, n, z);
}
void __real_gluLookAt(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble);
void __wrap_gluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux, GLdouble uy, GLdouble uz) {
    glrec::Record("gluLookAt(" + D(ex) + "," + D(ey) + "," + D(ez) + "," + D(cx) + "," + D(cy) + "," + D(cz) + "," + D(ux) + "," + D(uy) + "," + D(uz) + ")");
    __real_gluLookAt(ex, ey, ez, cx, cy, cz, ux, uy, uz);
}
}  // extern "C"
