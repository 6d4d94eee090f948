// The twister effect: the scene drawn into stacked scissor bands, each band with only
// the faces that can reach its rows.
#include "EffectTwister.h"

#include "code3d/Camera.h"
#include "code3d/Material.h"
#include "code3d/SceneLoad3DS.h"
#include "code3d/TextureImageJPEG.h"
#include "code3d/object.h"
#include "memory/MemoryTracker.h"

#include <algorithm>

#include <cmath>

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
    camera->SetFieldOfView(kFieldOfView);
    camera->SetFarPlane(2500.0f);
    camera->SetLookAt(0.0f, 0.0f, -200.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);

    // Positions, materials and textures are fixed in the list from here on.
    displayList = glGenLists(1);
    glNewList(displayList, GL_COMPILE);
    scene->Render();
    glEndList();

    background = KAVLO_NEW(TextureImageJPEG, "data/twist_back.jpg");
    PrepareBandCulling();

    // Ten bands, as the show starts with, draw every state a full frame does.
    WarmUp({startMs + 500, startMs + 5000});
    return true;
}

namespace {
EffectTwister::FaceBounds BoundsOf(const Vector3* const* points, int count) {
    float zLow = points[0]->z, zHigh = zLow, xLow = points[0]->x, xHigh = xLow,
          yLow = points[0]->y, yHigh = yLow;
    for (int k = 1; k < count; ++k) {
        zLow = std::min(zLow, points[k]->z);
        zHigh = std::max(zHigh, points[k]->z);
        xLow = std::min(xLow, points[k]->x);
        xHigh = std::max(xHigh, points[k]->x);
        yLow = std::min(yLow, points[k]->y);
        yHigh = std::max(yHigh, points[k]->y);
    }
    const double cx = 0.5 * (double(xLow) + xHigh), cy = 0.5 * (double(yLow) + yHigh);
    double r = 0;
    for (int k = 0; k < count; ++k)
        r = std::max(r, std::hypot(points[k]->x - cx, points[k]->y - cy));
    // A little over, so that rounding never makes the circle too small.
    return {zLow, zHigh, static_cast<float>(cx), static_cast<float>(cy),
            static_cast<float>(r * (1 + 1e-5) + 1e-3)};
}
}  // namespace

// A band's faces come from a few neighbouring heights; with the vertices in height
// order they also sit close together in the arrays, so each band's draw hands GL a
// short run of vertices instead of the whole cylinder. Faces keep their order.
void EffectTwister::SortVerticesByHeight(Object* o) {
    const int n = o->vertexCount;
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [o](int a, int b) { return o->vertices[a].z < o->vertices[b].z; });
    std::vector<unsigned> newIndex(n);
    std::vector<Vector3> vertices(n), normals(n);
    std::vector<TexCoord> texCoords(n);
    for (int i = 0; i < n; ++i) {
        newIndex[order[i]] = static_cast<unsigned>(i);
        vertices[i] = o->vertices[order[i]];
        normals[i] = o->normals[order[i]];
        texCoords[i] = o->texCoords[order[i]];
    }
    std::copy(vertices.begin(), vertices.end(), o->vertices);
    std::copy(normals.begin(), normals.end(), o->normals);
    std::copy(texCoords.begin(), texCoords.end(), o->texCoords);
    for (int f = 0; f < o->faceCount; ++f) {
        Face& face = o->faces[f];
        face = Face{newIndex[face.a], newIndex[face.b], newIndex[face.c]};
    }
}

void EffectTwister::PrepareBandCulling() {
    cylinderFaces.clear();
    bandCulling = false;
    // The bounds are taken where the list drew the faces: untransformed, as loaded.
    std::vector<Object*> drawn;
    for (int k = 0; k < scene->ObjectCount(); ++k) {
        Object* o = scene->ObjectAt(k);
        if (!o || !o->material) continue;
        const bool plain = o->position.x == 0 && o->position.y == 0 && o->position.z == 0 &&
                           o->rotation.x == 0 && o->rotation.y == 0 && o->rotation.z == 0 &&
                           o->scale.x == 1 && o->scale.y == 1 && o->scale.z == 1;
        if (!plain || !o->faces || o->faceCount <= 0) return;
        const unsigned n = o->vertexCount > 0 ? unsigned(o->vertexCount) : 0u;
        for (int f = 0; f < o->faceCount; ++f) {
            const Face& face = o->faces[f];
            if (face.a >= n || face.b >= n || face.c >= n) return;
        }
        drawn.push_back(o);
    }
    for (Object* o : drawn) {
        SortVerticesByHeight(o);
        CylinderFaces c;
        c.object = o;
        c.faces = o->faces;
        c.faceCount = o->faceCount;
        std::vector<const Vector3*> run;
        for (int f = 0; f < o->faceCount; ++f) {
            const Face& face = o->faces[f];
            const Vector3* corners[3] = {&o->vertices[face.a], &o->vertices[face.b],
                                         &o->vertices[face.c]};
            c.faceBounds.push_back(BoundsOf(corners, 3));
            run.insert(run.end(), corners, corners + 3);
            if (run.size() == 3 * kRunFaces || f == o->faceCount - 1) {
                c.runBounds.push_back(BoundsOf(run.data(), static_cast<int>(run.size())));
                run.clear();
            }
        }
        c.band.reserve(o->faceCount);
        cylinderFaces.push_back(std::move(c));
    }
    bandCulling = !cylinderFaces.empty();
}

EffectTwister::BandView EffectTwister::ViewOfBand(float eyeX, float eyeY, float eyeZ,
                                                  double fovDegrees, int bandY, int bandHeight,
                                                  int height) {
    // One row of margin on each side covers rounding in the transform and in
    // rasterisation (a face reaches a row only if it covers a pixel centre in it).
    const double radians = fovDegrees / 2 * 3.14159265358979323846 / 180;
    BandView v;
    v.eyeZ = eyeZ;
    v.distance = std::hypot(double(eyeX), double(eyeY));
    v.towardsX = v.distance > 0 ? eyeX / v.distance : 0;
    v.towardsY = v.distance > 0 ? eyeY / v.distance : 0;
    v.focal = std::cos(radians) / std::sin(radians);
    v.low = 2.0 * (bandY - 1) / height - 1;
    v.high = 2.0 * (bandY + bandHeight + 1) / height - 1;
    return v;
}

bool EffectTwister::MayReachBand(const FaceBounds& b, const BandView& v) {
    // The eye looks horizontally at the z axis with +z up: a point's height on the
    // screen is focal * (z - eyeZ) / d, d its distance along the view direction.
    if (v.distance <= 0) return true;
    const double d = v.distance - (b.centreX * v.towardsX + b.centreY * v.towardsY);
    const double near = d - b.radius, far = d + b.radius;
    // Close to the eye or behind it the bound does not hold: leave it to GL.
    if (near < 1.0) return true;
    const double top = v.focal * (double(b.zHigh) - v.eyeZ);
    const double bottom = v.focal * (double(b.zLow) - v.eyeZ);
    if (top < v.low * (v.low >= 0 ? near : far)) return false;     // wholly below
    if (bottom > v.high * (v.high >= 0 ? far : near)) return false;  // wholly above
    return true;
}

void EffectTwister::DrawBand(const BandView& view) {
    for (CylinderFaces& c : cylinderFaces) {
        c.band.clear();
        const int runs = static_cast<int>(c.runBounds.size());
        for (int r = 0; r < runs; ++r) {
            if (!MayReachBand(c.runBounds[r], view)) continue;
            const int end = std::min(c.faceCount, (r + 1) * kRunFaces);
            for (int f = r * kRunFaces; f < end; ++f)
                if (MayReachBand(c.faceBounds[f], view)) c.band.push_back(c.faces[f]);
        }
        // The faces keep their order, so the picture is what the whole list draws.
        c.object->faces = c.band.data();
        c.object->faceCount = static_cast<int>(c.band.size());
    }
    scene->Render();
    for (CylinderFaces& c : cylinderFaces) {
        c.object->faces = c.faces;
        c.object->faceCount = c.faceCount;
    }
}

int EffectTwister::BandCount(int height) { return std::min(height, kDesignHeight) / 2; }

void EffectTwister::UpdateSliceCount(unsigned t, int dt) {
    int& count = state.sliceCount;
    if (t < startMs + 3000 && count < BandCount(height)) count += static_cast<int>(dt * 0.2);
    if (t > endMs - 3000 && count > 0) count += static_cast<int>(dt * -0.2);
}

void EffectTwister::PullCamera(bool sync) {
    float& radius = state.orbitRadius;
    if (sync) {
        radius = 300.0f;
        radius += 10.0f;
    } else if (radius < kRestOrbitRadius) {
        radius += 10.0f;
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

void EffectTwister::StepState(unsigned t, int dt, bool sync) {
    if (t <= startMs + 1000) return;
    UpdateSliceCount(t, dt);
    if (state.sliceDivisor == 0) state.sliceDivisor = BandCount(height);
    PullCamera(sync);
}

std::vector<unsigned> EffectTwister::PhaseEdges() const {
    return {startMs, startMs + 1000, endMs - 3000, endMs};
}

void EffectTwister::Render(unsigned t, int dt, bool sync) {
    if (t < startMs + 1000) {
        background->DrawScreenBlended(
            width, height, 0.0f,
            static_cast<float>(static_cast<double>(t - startMs) * static_cast<double>(0.001f)));
        return;
    }
    StepState(t, dt, sync);
    if (t == startMs + 1000) return;

    const float angle = static_cast<float>(t * 0.0006666666666666666);
    glClear(GL_DEPTH_BUFFER_BIT);
    background->DrawScreen(width, height, 0.0f);
    const float step = BandStep(angle, height);
    const int sliceDivisor = state.sliceDivisor;

    // A screen under two rows high has no bands to cut (and would divide by zero).
    if (sliceDivisor <= 0) return;
    glEnable(GL_SCISSOR_TEST);
    float u = 0.0f;
    for (int i = 1; i <= state.sliceCount; ++i) {
        const double w = static_cast<double>(u) + step;
        u = static_cast<float>(w);
        const float radius =
            static_cast<float>(std::sin(4.0 * angle - 4.0 * w) * 50.0 + state.orbitRadius);
        // Bands tile the screen exactly also where the height is not a whole number of
        // bands (taller pictures keep 300 bands, each a little over two rows).
        const int bandY = BandY(height, sliceDivisor, i);
        const int bandHeight = BandY(height, sliceDivisor, i - 1) - bandY;
        glScissor(0, bandY, width, bandHeight);
        const float a2 = u + angle;
        const float eyeX = static_cast<float>(std::sin(static_cast<double>(a2)) * (radius - 50.0f));
        const float eyeY = static_cast<float>(std::cos(static_cast<double>(a2)) * radius);
        camera->SetLookAt(eyeX, eyeY, -200.0f, 0.0f, 0.0f, -200.0f, 0.0f, 0.0f, 1.0f);
        camera->Begin();
        if (bandCulling)
            DrawBand(ViewOfBand(eyeX, eyeY, -200.0f, kFieldOfView, bandY, bandHeight, height));
        else
            glCallList(displayList);
        camera->End();
    }
    glDisable(GL_SCISSOR_TEST);
}
