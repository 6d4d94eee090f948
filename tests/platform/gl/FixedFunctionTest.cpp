// The fixed-function calls the show relies on, drawn on the context the build gives the
// window layer: the desktop driver in the default build, the layer over ES with
// KAVLO_GLES. Both must give what GL 1.1 defines, so each case holds for both.
#include "platform/window/GLWindow.h"
#include "platform/gl/Framebuffer.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kSize = 64;

class FixedFunctionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(GLWindow::Create(kSize, kSize, 75, 32, false)) << SDL_GetError();
        ASSERT_TRUE(GLWindow::LoadExtensions());
    }
    static void TearDownTestSuite() { GLWindow::Destroy(); }

    void SetUp() override {
        glViewport(0, 0, kSize, kSize);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // Pixel (x, y) is the point (x + 0.5, y + 0.5) at any depth in -10..10.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kSize, 0, kSize, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor4f(1, 1, 1, 1);
    }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

    static std::vector<unsigned char> Pixel(int x, int y) {
        std::vector<unsigned char> p(4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
        return p;
    }
    static void Quad(float x0, float y0, float x1, float y1, float z = 0) {
        glBegin(GL_QUADS);
        glVertex3f(x0, y0, z);
        glVertex3f(x1, y0, z);
        glVertex3f(x1, y1, z);
        glVertex3f(x0, y1, z);
        glEnd();
    }
};

TEST_F(FixedFunctionTest, QuadsCoverTheirAreaAndColoursSetInsideBeginApplyPerVertex) {
    glBegin(GL_QUADS);
    glColor4f(1, 0, 0, 1);
    glVertex3f(0, 0, 0);
    glVertex3f(32, 0, 0);
    glVertex3f(32, 32, 0);
    glVertex3f(0, 32, 0);
    glColor4f(0, 0, 1, 1);  // the second quad, blue: one colour call for four vertices
    glVertex3f(32, 32, 0);
    glVertex3f(64, 32, 0);
    glVertex3f(64, 64, 0);
    glVertex3f(32, 64, 0);
    glEnd();
    EXPECT_EQ(Pixel(1, 1), (std::vector<unsigned char> {255, 0, 0, 255}));
    EXPECT_EQ(Pixel(30, 30), (std::vector<unsigned char> {255, 0, 0, 255}));
    EXPECT_EQ(Pixel(62, 62), (std::vector<unsigned char> {0, 0, 255, 255}));
    EXPECT_EQ(Pixel(34, 33), (std::vector<unsigned char> {0, 0, 255, 255}));
    EXPECT_EQ(Pixel(40, 10), (std::vector<unsigned char> {0, 0, 0, 0}));
    // The colour set inside glBegin is the current one afterwards.
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[2], 1.0f);
    EXPECT_EQ(c[0], 0.0f);
}

TEST_F(FixedFunctionTest, AListChangesNothingWhileCompiledAndReplaysStateAndVertices) {
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glTranslatef(16, 0, 0);
    glColor4f(0, 1, 0, 1);
    Quad(0, 0, 8, 8);
    glEndList();
    // Compiling drew nothing and left the matrix and the colour alone.
    EXPECT_EQ(Pixel(20, 4)[1], 0);
    GLfloat m[16], c[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(m[12], 0.0f);
    EXPECT_EQ(c[0], 1.0f);

    glCallList(list);
    glCallList(list);  // the translation is in the list: the second lands 16 further
    EXPECT_EQ(Pixel(20, 4), (std::vector<unsigned char> {0, 255, 0, 255}));
    EXPECT_EQ(Pixel(36, 4), (std::vector<unsigned char> {0, 255, 0, 255}));
    EXPECT_EQ(Pixel(4, 4)[1], 0);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(m[12], 32.0f);
    EXPECT_EQ(c[0], 0.0f);
    EXPECT_EQ(c[1], 1.0f);
    glDeleteLists(list, 1);
}

TEST_F(FixedFunctionTest, AListCompiledAndExecutedDrawsAtOnceAndKeepsItsAttribStack) {
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE_AND_EXECUTE);
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor4f(0.25f, 0, 0, 1);
    Quad(0, 56, 8, 64);
    glPopAttrib();
    glEndList();
    EXPECT_NEAR(Pixel(4, 60)[0], 64, 1);
    glCallList(list);  // added once more
    EXPECT_NEAR(Pixel(4, 60)[0], 128, 1);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint listIndex = -1;
    glGetIntegerv(GL_LIST_INDEX, &listIndex);
    EXPECT_EQ(listIndex, 0);
    glDeleteLists(list, 1);
}

TEST_F(FixedFunctionTest, AListKeepsArrayDataButTakesTheColourCurrentWhenCalled) {
    std::vector<GLfloat> vertices = {0, 40, 0, 8, 40, 0, 8, 48, 0, 0, 48, 0};
    const GLuint indices[6] = {0, 1, 2, 0, 2, 3};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices.data());
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, indices);
    glEndList();
    // The arrays are read when compiled; what they hold later does not matter.
    for (GLfloat& v : vertices) v = 0;
    glDisableClientState(GL_VERTEX_ARRAY);
    glColor4f(1, 1, 0, 1);
    glCallList(list);
    EXPECT_EQ(Pixel(4, 44), (std::vector<unsigned char> {255, 255, 0, 255}));
    glColor4f(0, 1, 1, 1);
    glCallList(list);
    EXPECT_EQ(Pixel(4, 44), (std::vector<unsigned char> {0, 255, 255, 255}));
    glDeleteLists(list, 1);
}

TEST_F(FixedFunctionTest, ThirtyTwoBitIndicesReachVerticesBeyondSixtyFiveThousand) {
    constexpr GLuint kFar = 70000;
    std::vector<GLfloat> vertices(3 * (kFar + 3), -100.0f);
    const GLfloat corner[3][3] = {{48, 0, 0}, {64, 0, 0}, {64, 16, 0}};
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 3; ++i) vertices[3 * (kFar + k) + i] = corner[k][i];
    const GLuint indices[3] = {kFar, kFar + 1, kFar + 2};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices.data());
    glColor4f(1, 0, 1, 1);
    glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, indices);
    glDisableClientState(GL_VERTEX_ARRAY);
    EXPECT_EQ(Pixel(62, 2), (std::vector<unsigned char> {255, 0, 255, 255}));
}

TEST_F(FixedFunctionTest, LinearFogFollowsTheEyeDistance) {
    glFogf(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 2);
    glFogf(GL_FOG_END, 6);
    const GLfloat black[4] = {0, 0, 0, 1};
    glFogfv(GL_FOG_COLOR, black);
    glEnable(GL_FOG);
    const float depths[3] = {1, 3, 5.5f};  // before the start, a quarter in, near the end
    for (int i = 0; i < 3; ++i) Quad(16.0f * i, 0, 16.0f * i + 16, 16, -depths[i]);
    glDisable(GL_FOG);
    for (int i = 0; i < 3; ++i) {
        const double f = std::min(1.0, std::max(0.0, (6 - depths[i]) / (6.0 - 2.0)));
        EXPECT_NEAR(Pixel(16 * i + 8, 8)[0], 255 * f, 1.0) << "at depth " << depths[i];
    }
}

// s and t of a sphere map for an eye-space position and normal.
void SphereMap(const double p[3], const double n[3], double* s, double* t) {
    const double len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    const double u[3] = {p[0] / len, p[1] / len, p[2] / len};
    const double nu = n[0] * u[0] + n[1] * u[1] + n[2] * u[2];
    const double r[3] = {u[0] - 2 * n[0] * nu, u[1] - 2 * n[1] * nu, u[2] - 2 * n[2] * nu};
    const double m = 2 * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1) * (r[2] + 1));
    *s = r[0] / m + 0.5;
    *t = r[1] / m + 0.5;
}

TEST_F(FixedFunctionTest, SphereMapTexGenMatchesItsFormulaPerVertex) {
    // A texture whose texel (x, y) is (x, y, 0): the colour a point gets is where it
    // sampled. Points take their vertex's coordinates, with no interpolation.
    std::vector<unsigned char> texels(256 * 256 * 3);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            texels[3 * (y * 256 + x)] = static_cast<unsigned char>(x);
            texels[3 * (y * 256 + x) + 1] = static_cast<unsigned char>(y);
        }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 256, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_2D);
    // The normals are turned by the model-view matrix and, with GL_NORMALIZE off, used
    // at the length they have.
    glRotatef(30, 0, 1, 0);
    const double turn = 30 * 3.14159265358979323846 / 180;
    const double normals[4][3] = {{0, 0, 1}, {0.3, -0.2, 0.9}, {-0.6, 0.5, 0.6}, {0.5, 0.5, 0.5}};
    struct Expected {
        int x, y;
        double s, t;
    };
    std::vector<Expected> expected;
    glBegin(GL_POINTS);
    for (int i = 0; i < 4; ++i) {
        const int x = 10 + 12 * i, y = 20 + 7 * i;
        // The object-space point whose eye-space position is (x + 0.5, y + 0.5, -3).
        const double eye[3] = {x + 0.5, y + 0.5, -3};
        const double obj[3] = {eye[0] * std::cos(turn) - eye[2] * std::sin(turn), eye[1],
                               eye[0] * std::sin(turn) + eye[2] * std::cos(turn)};
        const double* n = normals[i];
        const double eyeNormal[3] = {n[0] * std::cos(turn) + n[2] * std::sin(turn), n[1],
                                     -n[0] * std::sin(turn) + n[2] * std::cos(turn)};
        Expected e {x, y, 0, 0};
        SphereMap(eye, eyeNormal, &e.s, &e.t);
        expected.push_back(e);
        glNormal3f(float(n[0]), float(n[1]), float(n[2]));
        glVertex3f(float(obj[0]), float(obj[1]), float(obj[2]));
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
    for (const Expected& e : expected) {
        const std::vector<unsigned char> p = Pixel(e.x, e.y);
        EXPECT_NEAR(p[0], std::floor(e.s * 256), 1.0) << "s at " << e.x << "," << e.y;
        EXPECT_NEAR(p[1], std::floor(e.t * 256), 1.0) << "t at " << e.x << "," << e.y;
    }
}

TEST_F(FixedFunctionTest, LightZeroWithTheDefaultMaterialUsesNormalsUnnormalised) {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const GLfloat position[4] = {32.5f, 32.5f, 0, 1};  // a point light in front of the points
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glColor4f(1, 0, 0, 1);  // no colour material: the vertex colour plays no part
    const float lengths[3] = {0.25f, 0.5f, 2.0f};
    glBegin(GL_POINTS);
    for (int i = 0; i < 3; ++i) {
        glNormal3f(0, 0, lengths[i]);
        glVertex3f(32.5f, 20.5f + 4 * i, -4);
    }
    glEnd();
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    for (int i = 0; i < 3; ++i) {
        const double dy = 32.5 - (20.5 + 4 * i), dz = 4;
        const double cosine = dz / std::sqrt(dy * dy + dz * dz);
        // Scene ambient 0.2 x material ambient 0.2, plus diffuse 0.8 x (n . l).
        const double lit = std::min(1.0, 0.04 + 0.8 * lengths[i] * cosine);
        const std::vector<unsigned char> p = Pixel(32, 20 + 4 * i);
        EXPECT_NEAR(p[0], 255 * lit, 1.0) << "normal length " << lengths[i];
        EXPECT_EQ(p[0], p[2]);
    }
}

// A 1 x 1 texture of one colour.
GLuint SolidTexture(unsigned char r, unsigned char g, unsigned char b) {
    const unsigned char texel[3] = {r, g, b};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, texel);
    return texture;
}

// A texture update in a list happens when the list is called, with the pixels as they
// were when it was compiled (3 bytes here: the last row is not padded to the alignment).
TEST_F(FixedFunctionTest, AListUpdatesATextureWhenCalledWithThePixelsOfItsCompile) {
    const GLuint texture = SolidTexture(255, 0, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    std::vector<unsigned char> texel = {0, 0, 255};
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, texel.data());
    glEndList();
    texel = {0, 255, 0};
    auto drawn = [] {
        glEnable(GL_TEXTURE_2D);
        Quad(0, 0, 8, 8);
        glDisable(GL_TEXTURE_2D);
        return Pixel(4, 4);
    };
    EXPECT_EQ(drawn(), (std::vector<unsigned char> {255, 0, 0, 255})) << "changed by compiling";
    glCallList(list);
    EXPECT_EQ(drawn(), (std::vector<unsigned char> {0, 0, 255, 255}));
    glDeleteLists(list, 1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
}

TEST_F(FixedFunctionTest, TexturingWithoutACompleteTextureLeavesTheColour) {
    // The show enables texturing once and draws untextured things with texture 0 bound.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glColor4f(0, 1, 0, 1);
    Quad(0, 0, 8, 8);
    glDisable(GL_TEXTURE_2D);
    EXPECT_EQ(Pixel(4, 4), (std::vector<unsigned char> {0, 255, 0, 255}));
}

TEST_F(FixedFunctionTest, TwoUnitsModulateInTurnWithTheirOwnCoordinates) {
    // Unit 1 is reached only through the extension calls, as the show reaches it.
    ASSERT_NE(GLWindow::ActiveTextureARB, nullptr);
    ASSERT_NE(GLWindow::ClientActiveTextureARB, nullptr);
    const GLuint first = SolidTexture(128, 255, 255), second = SolidTexture(255, 128, 255);
    GLWindow::ActiveTextureARB(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, first);
    GLWindow::ActiveTextureARB(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, second);
    const GLfloat square[8] = {0, 0, 8, 0, 8, 8, 0, 8};
    const GLuint indices[6] = {0, 1, 2, 0, 2, 3};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, square);
    for (int unit = 0; unit < 2; ++unit) {
        GLWindow::ClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, square);
    }
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, indices);
    for (int unit = 1; unit >= 0; --unit) {
        GLWindow::ClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        GLWindow::ActiveTextureARB(GL_TEXTURE0_ARB + unit);
        glDisable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    const GLuint textures[2] = {first, second};
    glDeleteTextures(2, textures);
    const std::vector<unsigned char> p = Pixel(4, 4);
    EXPECT_NEAR(p[0], 128, 1);
    EXPECT_NEAR(p[1], 128, 1);
    EXPECT_EQ(p[2], 255);
}

TEST_F(FixedFunctionTest, ClientAttribStackRestoresArraysAndPixelStore) {
    const GLfloat a[3] = {0, 0, 0};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, a);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPopClientAttrib();
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
    glDisableClientState(GL_VERTEX_ARRAY);
}

TEST_F(FixedFunctionTest, AlphaIsTestedInTheColourBuffersSteps) {
    // 0.501 is 128/255 in the colour buffer, as 0.5 is: not greater. 0.51 is 130/255.
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_ALPHA_TEST);
    glColor4f(1, 1, 1, 0.501f);
    Quad(0, 0, 8, 8);
    glColor4f(1, 1, 1, 0.51f);
    Quad(8, 0, 16, 8);
    glDisable(GL_ALPHA_TEST);
    glAlphaFunc(GL_ALWAYS, 0);
    EXPECT_EQ(Pixel(4, 4)[0], 0);
    EXPECT_EQ(Pixel(12, 4)[0], 255);
}

TEST_F(FixedFunctionTest, PopAttribRestoresFixedFunctionAndPassedOnState) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glEnable(GL_FOG);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 4, 4);
    glAlphaFunc(GL_GREATER, 0.5f);
    glBlendFunc(GL_ONE, GL_ONE);
    glClearColor(1, 1, 1, 1);
    glPopAttrib();
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    GLint func = 0, src = 0;
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &func);
    glGetIntegerv(GL_BLEND_SRC, &src);
    EXPECT_EQ(func, GL_ALWAYS);
    EXPECT_EQ(src, GL_ONE);
    // The scissor test and clear colour are back where the driver draws, too.
    Quad(0, 0, kSize, kSize);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(Pixel(60, 60), (std::vector<unsigned char> {0, 0, 0, 0}));
}

// The window's offscreen pictures come from the GL seam's own framebuffer calls, on the
// desktop driver and over ES alike.
TEST_F(FixedFunctionTest, TheSeamsFramebuffersTakeDrawingAndBlitItBack) {
    const platform::gl::FramebufferCalls* fb = platform::gl::Framebuffers();
    ASSERT_NE(fb, nullptr);
    platform::gl::Framebuffer picture;
    ASSERT_TRUE(platform::gl::CreateFramebuffer(*fb, kSize, kSize, true, &picture));
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    fb->BindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(Pixel(4, 4)[2], 0) << "drawn offscreen only";
    fb->BindFramebuffer(GL_READ_FRAMEBUFFER, picture.name);
    fb->BlitFramebuffer(0, 0, kSize, kSize, 0, 0, kSize, kSize, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    fb->BindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(Pixel(4, 4), (std::vector<unsigned char> {0, 0, 255, 255}));
    platform::gl::DeleteFramebuffer(*fb, &picture);
}

TEST_F(FixedFunctionTest, GluCameraMultipliesOntoTheCurrentMatrix) {
    GLfloat m[16];
    glScalef(2, 2, 2);
    gluLookAt(0, 0, 5, 0, 0, 0, 0, 1, 0);  // a move of 5 along -z, no turn
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 2);
    EXPECT_FLOAT_EQ(m[14], -10);
    glLoadIdentity();
    gluLookAt(0, 0, 0, 1, 0, 0, 0, 1, 0);  // looking along +x: x goes to -z
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_NEAR(m[2], -1, 1e-6);
    EXPECT_NEAR(m[8], 1, 1e-6);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(1, 1, 1);
    glTranslatef(3, 0, 0);
    gluPerspective(90, 2, 1, 3);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 0.5f);  // cot(45) / aspect
    EXPECT_FLOAT_EQ(m[5], 1);
    EXPECT_FLOAT_EQ(m[10], -2);   // -(far + near) / (far - near)
    EXPECT_FLOAT_EQ(m[14], -3);   // -2 far near / (far - near)
    EXPECT_FLOAT_EQ(m[8], -3);    // the translation kept: it multiplied
    // GLU leaves the matrix alone for a zero aspect.
    glLoadIdentity();
    gluPerspective(90, 0, 1, 3);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_EQ(m[0], 1.0f);
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace
