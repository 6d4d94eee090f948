// The exact GL call sequences of Texture's upload and draws. The program is linked with
// --wrap for every GL entry point Texture uses, so each call lands in a recorder here
// instead of the driver (no context needed).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "Texture.h"

namespace {

std::vector<std::string> calls;

void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Record(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    calls.push_back(text);
}

}  // namespace

extern "C" {
void __wrap_glGenTextures(GLsizei n, GLuint* ids) {
    Record("glGenTextures(%d)", n);
    for (GLsizei i = 0; i < n; ++i) ids[i] = 7;
}
void __wrap_glBindTexture(GLenum target, GLuint id) { Record("glBindTexture(%u,%u)", target, id); }
void __wrap_glPixelStorei(GLenum name, GLint v) { Record("glPixelStorei(%u,%d)", name, v); }
void __wrap_glTexParameteri(GLenum target, GLenum name, GLint v) {
    Record("glTexParameteri(%u,%u,%d)", target, name, v);
}
void __wrap_glTexEnvf(GLenum target, GLenum name, GLfloat v) {
    Record("glTexEnvf(%u,%u,%.1f)", target, name, v);
}
void __wrap_glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h,
                         GLint border, GLenum format, GLenum type, const void* pixels) {
    Record("glTexImage2D(%u,%d,%d,%d,%d,%d,%u,%u,%s)", target, level, internal, w, h, border,
           format, type, pixels ? "pixels" : "null");
}
void __wrap_glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    Record("glViewport(%d,%d,%d,%d)", x, y, w, h);
}
void __wrap_glMatrixMode(GLenum mode) { Record("glMatrixMode(%u)", mode); }
void __wrap_glLoadIdentity() { Record("glLoadIdentity()"); }
void __wrap_gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    Record("gluPerspective(%.17g,%.17g,%.17g,%.17g)", fovy, aspect, zNear, zFar);
}
void __wrap_glPushMatrix() { Record("glPushMatrix()"); }
void __wrap_glPopMatrix() { Record("glPopMatrix()"); }
void __wrap_glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    Record("glTranslatef(%g,%g,%g)", x, y, z);
}
void __wrap_glBegin(GLenum mode) { Record("glBegin(%u)", mode); }
void __wrap_glEnd() { Record("glEnd()"); }
void __wrap_glTexCoord2f(GLfloat s, GLfloat t) { Record("glTexCoord2f(%g,%g)", s, t); }
void __wrap_glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    Record("glVertex3f(%g,%g,%g)", x, y, z);
}
void __wrap_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    Record("glColor4f(%g,%g,%g,%g)", r, g, b, a);
}
void __wrap_glBlendFunc(GLenum s, GLenum d) { Record("glBlendFunc(%u,%u)", s, d); }
void __wrap_glEnable(GLenum cap) { Record("glEnable(%u)", cap); }
void __wrap_glDisable(GLenum cap) { Record("glDisable(%u)", cap); }
}

namespace {

using Calls = std::vector<std::string>;

Calls UploadCalls(int internalFormat) {
    const std::string f = std::to_string(internalFormat);
    return {"glBindTexture(3553,7)",
            "glPixelStorei(3317,1)",
            "glTexParameteri(3553,10242,10497)",
            "glTexParameteri(3553,10243,10497)",
            "glTexParameteri(3553,10240,9729)",
            "glTexParameteri(3553,10241,9729)",
            "glTexEnvf(8960,8704,8448.0)",
            "glTexImage2D(3553,0," + f + ",4,4,0," + f + ",5121,pixels)",
            "glBindTexture(3553,0)"};
}

// DrawScreen and DrawAt share this shape; they differ in the translation and depth.
Calls DrawCalls(const char* viewport, const char* aspect, const char* translate,
                const char* depth) {
    const std::string d = depth;
    return {"glBindTexture(3553,7)",
            viewport,
            "glMatrixMode(5889)",
            "glLoadIdentity()",
            std::string("gluPerspective(90,") + aspect + ",0.10000000149011612,10)",
            "glMatrixMode(5888)",
            "glLoadIdentity()",
            "glPushMatrix()",
            "glLoadIdentity()",
            translate,
            "glBegin(7)",
            "glTexCoord2f(1,0)",
            "glVertex3f(1,1," + d + ")",
            "glTexCoord2f(0,0)",
            "glVertex3f(-1,1," + d + ")",
            "glTexCoord2f(0,1)",
            "glVertex3f(-1,-1," + d + ")",
            "glTexCoord2f(1,1)",
            "glVertex3f(1,-1," + d + ")",
            "glEnd()",
            "glPopMatrix()",
            "glBindTexture(3553,0)"};
}

TEST(TextureCalls, ConstructionOnlyGeneratesAName) {
    calls.clear();
    Texture t;
    EXPECT_EQ(calls, Calls{"glGenTextures(1)"});
    EXPECT_EQ(t.id, 7u);
    calls.clear();
    {
        Texture gone;
    }
    EXPECT_EQ(calls, Calls{"glGenTextures(1)"});  // no glDeleteTextures either
}

TEST(TextureCalls, Uploads) {
    Texture t;
    const unsigned char pixels[64] = {};
    calls.clear();
    t.UploadRGBA(pixels, 4, 4);
    EXPECT_EQ(calls, UploadCalls(6408));
    calls.clear();
    t.UploadRGB(pixels, 4, 4);
    EXPECT_EQ(calls, UploadCalls(6407));
}

TEST(TextureCalls, Draws) {
    Texture t;
    calls.clear();
    t.DrawScreen(800, 600, 0.25f);
    // 800 / 600 is the integer 1.
    EXPECT_EQ(calls, DrawCalls("glViewport(0,0,800,600)", "1", "glTranslatef(0,0,-1)", "0.25"));

    calls.clear();
    t.DrawAt(0.5f, -2, -3, 1024, 512);
    EXPECT_EQ(calls, DrawCalls("glViewport(0,0,1024,512)", "2", "glTranslatef(0.5,-2,-3)", "0"));

    calls.clear();
    t.DrawScreenBlended(800, 600, 0, 0.5f);
    Calls want = {"glColor4f(1,1,1,0.5)", "glBlendFunc(770,1)", "glEnable(3042)"};
    const Calls draw = DrawCalls("glViewport(0,0,800,600)", "1", "glTranslatef(0,0,-1)", "0");
    want.insert(want.end(), draw.begin(), draw.end());
    want.push_back("glDisable(3042)");
    EXPECT_EQ(calls, want);
}

}  // namespace
