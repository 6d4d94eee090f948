// The beam effect: sphere grid from one display list, fog, and the added background.
#include "effectbeam.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/object.h"
#include "memory/MemoryTracker.h"

#include <GL/gl.h>
#include <cmath>

EffectBeam::~EffectBeam() {
    // The found object first: the scene does not own it.
    if (sphere) KAVLO_DELETE(sphere);
    if (scene) KAVLO_DELETE(scene);
    if (material) KAVLO_DELETE(material);
    if (camera) KAVLO_DELETE(camera);
    if (background) KAVLO_DELETE(background);
    if (sphereTexture) KAVLO_DELETE(sphereTexture);
}

bool EffectBeam::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 1, "3ds/beam2.3ds", "Sphere01");
    sphere = scene->FindObject("Sphere01");
    if (!sphere) return false;

    // "data/beam.jpg" was loaded here once and never drawn; it is left in the archive.
    material = KAVLO_NEW(Material);
    material->SetFlag(MaterialTextured);
    material->SetFlag(MaterialCullFront);
    sphereTexture = KAVLO_NEW(TextureImageJPEG, "data/twist1.jpg");
    material->SetTexture(sphereTexture);
    sphere->SetMaterial(material);

    camera = KAVLO_NEW(Camera);
    camera->EnableDepthTest();
    camera->SetViewport(static_cast<float>(width), static_cast<float>(height));
    camera->SetFieldOfView(90);
    camera->SetFarPlane(250000);
    // Black fog that swallows everything 15 units away: the grid ends in darkness.
    camera->SetFog(0, 15, 0, 0, 0, 0);
    camera->SetLookAt(0, 0, -2000, 0, 0, 0, 0, 1, 0);

    background = KAVLO_NEW(TextureImageJPEG, "data/beam_back.jpg");

    displayList = glGenLists(1);
    glNewList(displayList, GL_COMPILE);
    sphere->Render();
    glEndList();
    WarmUp({startMs + 500, startMs + 3000, endMs - 500});
    return true;
}

std::vector<unsigned> EffectBeam::PhaseEdges() const {
    return {startMs, startMs + 1000, endMs - 1000, endMs};
}

EffectBeam::Phase EffectBeam::PhaseAt(unsigned t) const {
    if (t < startMs + 1000) return FadeIn;
    if (t > endMs - 1000) return FadeOut;
    if (t > startMs + 1000 && t < endMs - 1000) return Main;
    return None;
}

float EffectBeam::Angle(unsigned t) { return static_cast<float>(t) * 0.00066666666f; }

void EffectBeam::DrawGrid(float a) {
    const double A = a;
    for (int i = 0; i < kColumns; ++i) {
        const float x = static_cast<float>((i - 10) * 2);
        const double p = i * 0.157;
        const float sy = static_cast<float>(std::sin(3.0 * A + i) * 0.5 + 1.0);
        for (int j = 0; j < kRows; ++j) {
            glPushMatrix();
            glTranslatef(x, static_cast<float>((j - 1.5) * 2.0), 0.0f);
            glPushMatrix();
            glRotatef(static_cast<float>(std::sin(A + p + j * 0.5233333333333333) * 50.0), 1.0f,
                      1.0f, 0.0f);
            glPushMatrix();
            glScalef(static_cast<float>(std::sin(j + 2.0 * A) * 0.5 + 1.0), sy,
                     static_cast<float>(std::sin(A + i + j) * 2.0 + 3.0));
            glCallList(displayList);
            glPopMatrix();
            glPopMatrix();
            glPopMatrix();
        }
    }
}

void EffectBeam::Render(unsigned t, int, bool) {
    // A sync once pulled a value towards the grid that no drawing ever read; the eye
    // stays in the plane z = -5, so the picture depends on t alone.
    if (t > startMs + 1000 && t < endMs - 1000) {
        const float a = Angle(t);
        const double A = a;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        camera->SetLookAt(static_cast<float>(std::sin(A * double(0.33333334f)) * 10.0),
                          static_cast<float>(std::cos(A) * 5.0), -5.0f,
                          static_cast<float>(std::cos(A * 0.5) * 10.0), 0.0f, 0.0f, 0.0f, 1.0f,
                          0.0f);
        camera->Begin();
        DrawGrid(a);
        camera->End();
        // Added on top of the spheres with whatever colour is current.
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        background->DrawScreen(width, height, 0.0f);
        glDisable(GL_BLEND);
    }
    if (t < startMs + 1000) {
        background->DrawScreenBlended(width, height, 0.0f,
                                      static_cast<float>((t - startMs) * 0.001));
    }
    if (t > endMs - 1000) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        background->DrawScreenBlended(width, height, 0.0f,
                                      static_cast<float>((endMs - t) * 0.001));
    }
}
