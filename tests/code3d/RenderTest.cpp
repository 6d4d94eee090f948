// The drawing passes, the render bracket and the camera on a real GL context: exact
// call sequences from the recorder, GL state afterwards, and a picture to look at.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <string>
#include <vector>

#include "Camera.h"
#include "GLRecorder.h"
#include "GLTestContext.h"
#include "Material.h"
#include "ObjectVortex.h"
#include "Texture.h"
#include "platform/window/GLWindow.h"
#include "object.h"
#include "scene.h"

namespace {

using Calls = std::vector<std::string>;

PFNGLACTIVETEXTUREARBPROC realActiveTexture = nullptr;

void APIENTRY RecordingActiveTexture(GLenum unit) {
    glrec::Record("glActiveTextureARB(" + std::to_string(unit) + ")");
    realActiveTexture(unit);
}

// The shared context with the extension entry points loaded, the active-texture
// pointer routed through the recorder, and texturing on as at start-up.
bool ContextReady() {
    static bool ready = [] {
        if (!testsupport::SharedGL().Ok()) return false;
        if (!GLWindow::LoadExtensions()) return false;
        realActiveTexture = GLWindow::ActiveTextureARB;
        GLWindow::ActiveTextureARB = RecordingActiveTexture;
        glEnable(GL_TEXTURE_2D);
        return true;
    }();
    return ready;
}

#define REQUIRE_GL()                                                              \
    do {                                                                          \
        if (!ContextReady())                                                      \
            GTEST_SKIP() << "no GL context: " << testsupport::SharedGL().Error(); \
    } while (0)

Texture* Checker(unsigned char r, unsigned char g, unsigned char b) {
    std::vector<unsigned char> rgb(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool on = ((x / 2) + (y / 2)) % 2 == 0;
            unsigned char* p = &rgb[(y * 8 + x) * 3];
            p[0] = on ? r : 40;
            p[1] = on ? g : 40;
            p[2] = on ? b : 40;
        }
    Texture* t = new Texture();
    t->UploadRGB(rgb.data(), 8, 8);
    return t;
}

// A unit triangle in the z = 0 plane with texture coordinates.
void MakeTriangle(Object* o) {
    o->Allocate(3, 1);
    o->vertices[0].Set(-1, -1, 0);
    o->vertices[1].Set(1, -1, 0);
    o->vertices[2].Set(0, 1, 0);
    o->texCoords[1] = TexCoord{1, 0};
    o->texCoords[2] = TexCoord{0.5f, 1};
    o->faces[0] = Face{0, 1, 2};
    for (int i = 0; i < 3; ++i) o->normals[i].Set(0, 0, 1);
}

// A latitude-longitude sphere of the given radius.
void MakeSphere(Object* o, float radius, int rings, int segments) {
    o->Allocate((rings + 1) * (segments + 1), rings * segments * 2);
    int v = 0;
    for (int r = 0; r <= rings; ++r) {
        const double theta = M_PI * r / rings;
        for (int s = 0; s <= segments; ++s, ++v) {
            const double phi = 2 * M_PI * s / segments;
            o->vertices[v].Set(float(radius * std::sin(theta) * std::cos(phi)),
                               float(radius * std::cos(theta)),
                               float(radius * std::sin(theta) * std::sin(phi)));
            o->texCoords[v] = TexCoord{float(s) / segments * 4, float(r) / rings * 2};
        }
    }
    int f = 0;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const unsigned a = r * (segments + 1) + s, b = a + segments + 1;
            o->faces[f++] = Face{a, a + 1, b};
            o->faces[f++] = Face{a + 1, b + 1, b};
        }
    o->ComputeNormals();
}

GLint StackDepth() {
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    return depth;
}

// The transform bracket Render opens for position (1, 2, 3), rotation (10, 20, 30)
// and scale 2.
const Calls kOpenTransform = {
    "glPushMatrix()",         "glTranslatef(1,2,3)",    "glPushMatrix()",
    "glRotatef(10,1,0,0)",    "glPushMatrix()",         "glRotatef(20,0,1,0)",
    "glPushMatrix()",         "glRotatef(30,0,0,1)",    "glPushMatrix()",
    "glPushMatrix()",         "glScalef(2,2,2)"};

Calls Concat(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Calls kSixPops(6, "glPopMatrix()");

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_GL();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        MakeTriangle(&object);
        object.SetPosition(1, 2, 3);
        object.SetRotation(10, 20, 30);
        object.SetScale(2);
        base = Checker(255, 0, 0);
        env = Checker(0, 0, 255);
        material.SetTexture(base);
        material.SetEnvTexture(env);
        object.SetMaterial(&material);
    }
    void TearDown() override {
        delete base;
        delete env;
    }
    std::string Id(Texture* t) { return std::to_string(t->id); }
    Calls TexturedDraw() {
        return {"glBindTexture(3553," + Id(base) + ")",
                "glEnableClientState(32884)",
                "glEnableClientState(32888)",
                "glDisableClientState(32885)",
                "glDisableClientState(32886)",
                "glTexCoordPointer(2,5126,0," + glrec::Ptr(object.texCoords) + ")",
                "glVertexPointer(3,5126,0," + glrec::Ptr(object.vertices) + ")",
                "glDrawElements(4,3,5125," + glrec::Ptr(object.faces) + ")",
                "glBindTexture(3553,0)"};
    }
    Calls ArrayDraw() {
        return {"glEnableClientState(32884)",
                "glEnableClientState(32888)",
                "glEnableClientState(32885)",
                "glDisableClientState(32886)",
                "glVertexPointer(3,5126,0," + glrec::Ptr(object.vertices) + ")",
                "glTexCoordPointer(2,5126,0," + glrec::Ptr(object.texCoords) + ")",
                "glNormalPointer(5126,0," + glrec::Ptr(object.normals) + ")",
                "glDrawElements(4,3,5125," + glrec::Ptr(object.faces) + ")"};
    }

    Object object;
    Material material;
    Texture* base = nullptr;
    Texture* env = nullptr;
};

TEST_F(RenderTest, WithoutMaterialNothingReachesGL) {
    object.SetMaterial(nullptr);
    glrec::Start();
    object.Render();
    EXPECT_TRUE(glrec::Stop().empty());
}

TEST_F(RenderTest, AFreshMaterialGivesOnlyTheTransformAndCullingBracket) {
    glrec::Start();
    object.Render();
    EXPECT_EQ(glrec::Stop(),
              Concat({{"glEnable(2884)"}, kOpenTransform, kSixPops, {"glDisable(2884)"}}));
}

TEST_F(RenderTest, TexturedCallSequence) {
    material.SetFlag(MaterialTextured);
    glrec::Start();
    object.Render();
    const Calls calls = glrec::Stop();
    EXPECT_EQ(calls, Concat({{"glEnable(2884)"}, kOpenTransform, TexturedDraw(), kSixPops,
                             {"glDisable(2884)"}}));
}

TEST_F(RenderTest, BracketRestoresStackAndSwitchesEverythingOff) {
    for (int k : {MaterialTextured, MaterialAlphaTest, MaterialBlend, MaterialAdditive,
                  MaterialCullFront, MaterialCullBack, MaterialNoCull})
        material.SetFlag(k);
    const GLint depth = StackDepth();
    glrec::Start();
    object.Render();
    const Calls calls = glrec::Stop();
    EXPECT_EQ(StackDepth(), depth);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask);
    const Calls expected = Concat(
        {{"glEnable(2884)", "glCullFace(1028)", "glCullFace(1029)", "glDisable(2884)"},
         kOpenTransform,
         {"glEnable(3042)", "glBlendFunc(1,1)", "glAlphaFunc(516,0.5)", "glEnable(3008)",
          "glDepthMask(0)", "glEnable(3042)", "glBlendFunc(770,771)"},
         TexturedDraw(),
         {"glDisable(3042)", "glDepthMask(1)", "glDisable(3008)", "glDisable(3042)"},
         kSixPops,
         {"glDisable(2884)"}});
    EXPECT_EQ(calls, expected);
}

TEST_F(RenderTest, BothBlendKindsGiveAdditiveBlending) {
    material.SetFlag(MaterialBlend);
    material.SetFlag(MaterialBlendAdditive);
    glrec::Start();
    object.Render();
    const Calls calls = glrec::Stop();
    EXPECT_EQ(glrec::Count(calls, "glBlendFunc(1,1)"), 1);
    EXPECT_EQ(glrec::Count(calls, "glBlendFunc(770"), 0);
    EXPECT_EQ(glrec::Count(calls, "glDrawElements"), 0);  // no drawing kind set
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(RenderTest, MultitexturingDrawsOnceOnTwoUnits) {
    material.SetFlag(MaterialTextured);
    material.SetFlag(MaterialEnvMapped);
    glrec::Start();
    object.Render();
    const Calls calls = glrec::Stop();
    const Calls multi = Concat(
        {{"glActiveTextureARB(33984)", "glEnable(3553)", "glBindTexture(3553," + Id(base) + ")",
          "glTexParameterf(3553,10240,9728)", "glTexParameterf(3553,10241,9728)",
          "glActiveTextureARB(33985)", "glEnable(3553)", "glBindTexture(3553," + Id(env) + ")",
          "glTexGeni(8192,9472,9218)", "glEnable(3168)", "glTexGeni(8193,9472,9218)",
          "glEnable(3169)"},
         ArrayDraw(),
         {"glDisable(3169)", "glDisable(3168)", "glActiveTextureARB(33985)", "glDisable(3553)",
          "glActiveTextureARB(33984)", "glBindTexture(3553,0)"}});
    EXPECT_EQ(calls, Concat({{"glEnable(2884)"}, kOpenTransform, multi, kSixPops,
                             {"glDisable(2884)"}}));
    EXPECT_EQ(glrec::Count(calls, "glDrawElements"), 1);

    GLint active = 0, unit1 = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
    realActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit1);
    const bool unit1Enabled = glIsEnabled(GL_TEXTURE_2D);
    realActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(GLuint(unit1), env->id);  // still bound, but off
    EXPECT_FALSE(unit1Enabled);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint filter = 0;
    base->Bind();
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    base->Unbind();
    EXPECT_EQ(filter, GL_NEAREST);
}

TEST_F(RenderTest, PassesWithoutTheirTextureDrawNothing) {
    Material bare;
    for (int k : {MaterialTextured, MaterialEnvMapped, MaterialBillboards}) bare.SetFlag(k);
    object.SetMaterial(&bare);
    const GLint depth = StackDepth();
    glrec::Start();
    object.Render();
    object.DrawTextured();
    object.DrawEnvMapped();
    const Calls calls = glrec::Stop();
    EXPECT_EQ(glrec::Count(calls, "glDrawElements"), 0);
    EXPECT_EQ(glrec::Count(calls, "glBegin"), 0);
    EXPECT_EQ(glrec::Count(calls, "glBindTexture"), 0);
    EXPECT_EQ(StackDepth(), depth);
}

TEST_F(RenderTest, EnvMappingGeneratesSphereCoordinatesAndStopsAfterwards) {
    material.SetFlag(MaterialEnvMapped);
    glrec::Start();
    object.DrawEnvMapped();
    const Calls calls = glrec::Stop();
    EXPECT_EQ(calls, Concat({{"glTexGeni(8192,9472,9218)", "glEnable(3168)",
                              "glTexGeni(8193,9472,9218)", "glEnable(3169)",
                              "glBindTexture(3553," + Id(env) + ")"},
                             ArrayDraw(),
                             {"glBindTexture(3553,0)", "glDisable(3168)", "glDisable(3169)"}}));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
}

TEST_F(RenderTest, BillboardsFaceTheViewAtEveryVertex) {
    material.SetBillboardSize(0.5f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glrec::Start();
    object.DrawBillboards();
    const Calls calls = glrec::Stop();
    // Bind, matrix read, begin, 3 x (colour + 4 x (coordinate + vertex)), end, unbind.
    ASSERT_EQ(calls.size(), 1u + 1 + 1 + 3 * 9 + 1 + 1);
    EXPECT_EQ(calls[1], "glGetFloatv(2982," + calls[1].substr(calls[1].find(',') + 1));
    EXPECT_EQ(calls[2], "glBegin(7)");
    // With an identity view, right = (0.5, 0, 0) and up = (0, 0.5, 0) around (-1, -1, 0).
    EXPECT_EQ(calls[3], "glColor4f(1,1,1,1)");
    EXPECT_EQ(calls[4], "glTexCoord2f(0,0)");
    EXPECT_EQ(calls[5], "glVertex3f(-1.5,-1.5,0)");
    EXPECT_EQ(calls[6], "glTexCoord2f(1,0)");
    EXPECT_EQ(calls[7], "glVertex3f(-0.5,-1.5,0)");
    EXPECT_EQ(calls[9], "glVertex3f(-0.5,-0.5,0)");
    EXPECT_EQ(calls[11], "glVertex3f(-1.5,-0.5,0)");
    EXPECT_EQ(calls.back(), "glBindTexture(3553,0)");
}

TEST_F(RenderTest, LitPassUsesLengthScaledPositionsAsNormals) {
    material.SetColor(0.5f, 0.25f, 1, 1);
    object.vertices[2].Set(0, 2, 0);
    glrec::Start();
    object.DrawLit();
    const Calls calls = glrec::Stop();
    ASSERT_EQ(calls.size(), 5u + 1 + 6 + 2);
    EXPECT_EQ(calls[0], "glEnable(2896)");
    EXPECT_EQ(calls[1], "glShadeModel(7425)");
    EXPECT_EQ(calls[2], "glEnable(16384)");
    EXPECT_EQ(calls[3], "glLightfv(16384,4611,{0,0,0,1})");
    EXPECT_EQ(calls[4], "glColor4f(0.5,0.25,1,1)");
    EXPECT_EQ(calls[5], "glBegin(4)");
    EXPECT_EQ(calls[10], "glNormal3f(0,4,0)");  // |p| * p for p = (0, 2, 0)
    EXPECT_EQ(calls[11], "glVertex3f(0,2,0)");
    EXPECT_EQ(calls[13], "glDisable(2896)");
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    glDisable(GL_LIGHT0);
}

TEST_F(RenderTest, WireframeDrawsEveryEdgeInTheLineColour) {
    material.SetLineColor(0, 1, 0, 0.5f);
    glrec::Start();
    object.DrawWireframe();
    const Calls calls = glrec::Stop();
    EXPECT_EQ(calls, (Calls{"glColor4f(0,1,0,0.5)", "glBegin(1)", "glVertex3f(-1,-1,0)",
                            "glVertex3f(1,-1,0)", "glVertex3f(1,-1,0)", "glVertex3f(0,1,0)",
                            "glVertex3f(0,1,0)", "glVertex3f(-1,-1,0)", "glEnd()"}));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[3], 0.5f);
}

TEST(CameraGL, BeginAndEndFollowTheBeamSetUp) {
    REQUIRE_GL();
    Camera camera;
    camera.EnableDepthTest();
    camera.SetViewport(800, 600);
    camera.SetFieldOfView(90);
    camera.SetFarPlane(250000);
    camera.SetFog(0, 15, 0, 0, 0, 0);
    camera.SetLookAt(0, 0, -2000, 0, 0, 0, 0, 1, 0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    const GLint depth = StackDepth();
    glrec::Start();
    camera.Begin();
    const Calls begin = glrec::Stop();
    EXPECT_EQ(begin, (Calls{"glViewport(0,0,800,600)", "glMatrixMode(5889)", "glLoadIdentity()",
                            "gluPerspective(90,1.3333333730697632,0.10000000149011612,250000)",
                            "glMatrixMode(5888)", "glLoadIdentity()", "glEnable(2929)",
                            "glFogf(2915,0)", "glFogf(2916,15)", "glFogf(2917,9729)",
                            "glFogfv(2918,{0,0,0,0})", "glEnable(2912)", "glPushMatrix()",
                            "gluLookAt(0,0,-2000,0,0,0,0,1,0)", "glPushMatrix()"}));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_EQ(StackDepth(), 3);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[5] / projection[0], 800.0f / 600.0f);

    glrec::Start();
    camera.End();
    EXPECT_EQ(glrec::Stop(), (Calls{"glPopMatrix()", "glPopMatrix()", "glDisable(2912)",
                                    "glDisable(2929)"}));
    EXPECT_EQ(StackDepth(), depth);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_FOG));
}

TEST(CameraGL, SwitchesItDoesNotUseAreLeftAsFound) {
    REQUIRE_GL();
    Camera camera;
    camera.SetViewport(640, 480);
    camera.SetFieldOfView(60);
    camera.SetFarPlane(100);
    camera.SetLookAt(0, 0, 5, 0, 0, 0, 0, 1, 0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_FOG);
    glrec::Start();
    camera.Begin();
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    camera.End();
    const Calls calls = glrec::Stop();
    EXPECT_EQ(glrec::Count(calls, "glFog"), 0);
    EXPECT_EQ(glrec::Count(calls, "glEnable"), 0);
    EXPECT_EQ(glrec::Count(calls, "glDisable"), 0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
}

TEST(CameraGL, RenderSceneDrawsInsideTheBracketBlendedLast) {
    REQUIRE_GL();
    Object opaque, blended;
    MakeTriangle(&opaque);
    MakeTriangle(&blended);
    opaque.SetPosition(1, 0, 0);
    blended.SetPosition(2, 0, 0);
    Material plain, glass;
    plain.SetFlag(MaterialWireframe);
    glass.SetFlag(MaterialWireframe);
    glass.SetFlag(MaterialBlend);
    opaque.SetMaterial(&plain);
    blended.SetMaterial(&glass);
    Scene scene;
    scene.Add(&blended);
    scene.Add(&opaque);
    Camera camera;
    camera.SetViewport(800, 600);
    camera.SetFieldOfView(90);
    camera.SetFarPlane(100);
    camera.SetLookAt(0, 0, 5, 0, 0, 0, 0, 1, 0);
    const GLint depth = StackDepth();
    glrec::Start();
    camera.RenderScene(&scene);
    const Calls calls = glrec::Stop();
    EXPECT_EQ(StackDepth(), depth);
    std::vector<std::string> translations;
    for (const std::string& c : calls)
        if (c.rfind("glTranslatef", 0) == 0) translations.push_back(c);
    EXPECT_EQ(translations, (Calls{"glTranslatef(1,0,0)", "glTranslatef(2,0,0)"}));
    EXPECT_EQ(calls.front(), "glViewport(0,0,800,600)");
    EXPECT_EQ(calls.back(), "glPopMatrix()");
}

// Draws a textured sphere, a lit and wireframed vortex and billboards, writes the frame
// as code3d_meshes.png, and checks that each landed where it should.
TEST(MeshPicture, TexturedLitAndBillboardMeshes) {
    REQUIRE_GL();
    auto& gl = testsupport::SharedGL();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Texture* checker = Checker(255, 200, 40);
    Texture* flare = Checker(80, 160, 255);

    Object sphere;
    MakeSphere(&sphere, 1.0f, 16, 24);
    sphere.SetPosition(-1.6f, 0, 0);
    sphere.SetRotation(20, 30, 0);
    Material textured;
    textured.SetFlag(MaterialTextured);
    textured.SetFlag(MaterialCullBack);
    textured.SetTexture(checker);
    sphere.SetMaterial(&textured);

    ObjectVortex vortex(sphere);
    vortex.SetTwist(0.4f, 0.8f, 0.2f);
    vortex.Deform();
    vortex.ComputeNormals();
    vortex.SetPosition(1.6f, 0, 0);
    vortex.SetScale(0.15f);  // the deformation itself enlarges about eightfold
    Material lit;
    lit.SetFlag(MaterialLit);
    lit.SetFlag(MaterialWireframe);
    lit.SetLineColor(0.2f, 1, 0.3f, 1);
    vortex.SetMaterial(&lit);

    Object sprites;
    sprites.Allocate(3, 0);
    sprites.vertices[0].Set(-1, 1.6f, 0);
    sprites.vertices[1].Set(0, 1.6f, 0);
    sprites.vertices[2].Set(1, 1.6f, 0);
    Material billboards;
    billboards.SetFlag(MaterialBillboards);
    billboards.SetFlag(MaterialBlendAdditive);
    billboards.SetBillboardSize(0.25f);
    billboards.SetTexture(flare);
    sprites.SetMaterial(&billboards);

    Scene scene;
    scene.Add(&sprites);
    scene.Add(&sphere);
    scene.Add(&vortex);
    Camera camera;
    camera.EnableDepthTest();
    camera.SetViewport(float(gl.Width()), float(gl.Height()));
    camera.SetFieldOfView(60);
    camera.SetFarPlane(100);
    camera.SetLookAt(0, 0, 6, 0, 0, 0, 0, 1, 0);
    camera.RenderScene(&scene);
    glDisable(GL_LIGHT0);

    const std::string path = gl.WritePNG("code3d_meshes.png");
    EXPECT_FALSE(path.empty());
    const std::vector<uint8_t> px = gl.ReadPixels();
    auto at = [&](double fx, double fy) {
        return testsupport::PixelAt(px, gl.Width(), int(fx * gl.Width()), int(fy * gl.Height()));
    };
    auto lum = [](uint32_t rgba) { return (rgba >> 24) + ((rgba >> 16) & 255) + ((rgba >> 8) & 255); };
    EXPECT_GT(lum(at(0.5 - 1.6 / 6.93 / 1.333, 0.5)), 100u);  // sphere centre
    EXPECT_GT(lum(at(0.5 - 1.0 / 6.93 / 1.333, 0.5 - 1.6 / 6.93)), 100u);  // a billboard
    EXPECT_EQ(lum(at(0.02, 0.98)), 0u);                                     // background
    delete checker;
    delete flare;
}

}  // namespace
