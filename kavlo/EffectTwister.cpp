// The twister effect: one display list replayed into stacked scissor bands.
#include "EffectTwister.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/object.h"
#include "memory/MemoryTracker.h"

#include <algorithm>
#include <cmath>

int EffectTwister::sliceCount = 10;
int EffectTwister::sliceDivisor = 0;
float EffectTwister::orbitRadius = EffectTwister::kRestOrbitRadius;

namespace {
const char* const kCylinderNames[3] = {"Cylinder01", "Cylinder02", "Cylinder03"};
const char* const kTextureNames[3] = {"data/twist1.jpg", "data/twist2.jpg", "data/twist3.jpg"};
}  // namespace

EffectTwister::~EffectTwister() {
    // The scene does not own its objects: the found ones go first, then the scene.
    // All three are looked up before any is deleted, since each lookup reads the names
    // of the objects listed before it.
    if (scene) {
        Object* found[3];
        for (int k = 0; k < 3; ++k) found[k] = scene->FindObject(kCylinderNames[k]);
        for (Object* object : found)
            if (object) KAVLO_DELETE(object);
        KAVLO_DELETE(scene);
    }
    for (Material* m : materials)
        if (m) KAVLO_DELETE(m);
    if (background) KAVLO_DELETE(background);
    if (camera) KAVLO_DELETE(camera);
    for (Texture* t : textures)
        if (t) KAVLO_DELETE(t);
    if (flareTexture) KAVLO_DELETE(flareTexture);
    // The display list lives on with the context, like every GL name of the demo.
}

bool EffectTwister::Init(int width_, int height_, unsigned startMs_, unsigned endMs_) {
    Effect::Init(width_, height_, startMs_, endMs_);
    scene = KAVLO_NEW(SceneLoad3DS);
    LoadScene(scene, 3, "3ds/twist.3ds", kCylinderNames[0], kCylinderNames[1],
              kCylinderNames[2]);
    Object* cylinders[3];
    for (int k = 0; k < 3; ++k) {
        cylinders[k] = scene->FindObject(kCylinderNames[k]);
        if (!cylinders[k]) return false;
    }

    flareTexture = KAVLO_NEW(TextureImageJPEG, "data/start_flare.jpg");
    for (int k = 0; k < 3; ++k) {
        materials[k] = KAVLO_NEW(Material);
        materials[k]->SetFlag(MaterialCullFront);
        materials[k]->SetFlag(MaterialTextured);
        materials[k]->SetFlag(MaterialEnvMapped);
        textures[k] = KAVLO_NEW(TextureImageJPEG, kTextureNames[k]);
        materials[k]->SetTexture(textures[k]);
        materials[k]->SetEnvTexture(flareTexture);
        cylinders[k]->SetMaterial(materials[k]);
        cylinders[k]->ComputeNormals();
    }

    camera = KAVLO_NEW(Camera);
    camera->EnableDepthTest();
    camera->SetViewport(static_cast<float>(width), static_cast<float>(height));
    camera->SetFieldOfView(45.0f);
    camera->SetFarPlane(2500.0f);
    camera->SetLookAt(0.0f, 0.0f, -200.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);

    // Positions, materials and textures are fixed in the list from here on.
    displayList = glGenLists(1);
    glNewList(displayList, GL_COMPILE);
    scene->Render();
    glEndList();

    background = KAVLO_NEW(TextureImageJPEG, "data/twist_back.jpg");
    return true;
}

int EffectTwister::BandCount(int height) { return std::min(height, kDesignHeight) / 2; }

void EffectTwister::UpdateSliceCount(unsigned t, int dt) {
    if (t < startMs + 3000 && sliceCount < BandCount(height))
        sliceCount += static_cast<int>(dt * 0.2);
    if (t > endMs - 3000 && sliceCount > 0) sliceCount += static_cast<int>(dt * -0.2);
}

void EffectTwister::PullCamera(bool sync) {
    if (sync) {
        orbitRadius = 300.0f;
        orbitRadius += 10.0f;
    } else if (orbitRadius < kRestOrbitRadius) {
        orbitRadius += 10.0f;
    }
}

float EffectTwister::BandStep(float angle, int height) {
    return static_cast<float>(std::sin(static_cast<double>(angle)) /
                              (std::min(height, kDesignHeight) >> 3));
}

int EffectTwister::BandY(int height, int divisor, int i) {
    return static_cast<int>(
        std::ceil(static_cast<double>(height) / divisor * static_cast<double>(divisor - i)));
}

void EffectTwister::Render(unsigned t, int dt, bool sync) {
    if (t < startMs + 1000) {
        background->DrawScreenBlended(
            width, height, 0.0f,
            static_cast<float>(static_cast<double>(t - startMs) * static_cast<double>(0.001f)));
        return;
    }
    if (t == startMs + 1000) return;

    const float angle = static_cast<float>(t * 0.0006666666666666666);
    glClear(GL_DEPTH_BUFFER_BIT);
    background->DrawScreen(width, height, 0.0f);
    const float step = BandStep(angle, height);
    // The count changes before the bands are drawn.
    UpdateSliceCount(t, dt);
    if (sliceDivisor == 0) sliceDivisor = BandCount(height);
    PullCamera(sync);

    // A screen under two rows high has no bands to cut (and would divide by zero).
    if (sliceDivisor <= 0) return;
    glEnable(GL_SCISSOR_TEST);
    float u = 0.0f;
    for (int i = 1; i <= sliceCount; ++i) {
        const double w = static_cast<double>(u) + step;
        u = static_cast<float>(w);
        const float radius =
            static_cast<float>(std::sin(4.0 * angle - 4.0 * w) * 50.0 + orbitRadius);
        // Bands tile the screen exactly also where the height is not a whole number of
        // bands (taller pictures keep 300 bands, each a little over two rows).
        const int bandY = BandY(height, sliceDivisor, i);
        const int bandHeight = BandY(height, sliceDivisor, i - 1) - bandY;
        glScissor(0, bandY, width, bandHeight);
        const float a2 = u + angle;
        camera->SetLookAt(static_cast<float>(std::sin(static_cast<double>(a2)) * (radius - 50.0f)),
                          static_cast<float>(std::cos(static_cast<double>(a2)) * radius), -200.0f, 0.0f, 0.0f,
                          -200.0f, 0.0f, 0.0f, 1.0f);
        camera->Begin();
        glCallList(displayList);
        camera->End();
    }
    glDisable(GL_SCISSOR_TEST);
}
