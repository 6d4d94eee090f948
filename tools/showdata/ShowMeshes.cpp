// The show's scenes and the mesh builders they are made from.
#include "ShowMeshes.h"

#include <cmath>

namespace showdata {

namespace {

constexpr float kPi = 3.14159265358979f;
using threeds::Mesh;
using threeds::TexCoord;
using threeds::Triangle;
using threeds::Vertex;

uint16_t Index(size_t i) { return static_cast<uint16_t>(i); }

void Quad(Mesh* m, size_t a, size_t b, size_t c, size_t d) {
    m->faces.push_back({Index(a), Index(b), Index(c)});
    m->faces.push_back({Index(a), Index(c), Index(d)});
}

// Drops vertices that no face uses (the loader's normals would be undefined there)
// and renumbers the faces.
void Compact(Mesh* m) {
    std::vector<int> map(m->vertices.size(), -1);
    for (const Triangle& f : m->faces)
        for (uint16_t i : {f.a, f.b, f.c}) map[i] = 0;
    std::vector<Vertex> v;
    std::vector<TexCoord> t;
    for (size_t i = 0; i < map.size(); ++i) {
        if (map[i] < 0) continue;
        map[i] = static_cast<int>(v.size());
        v.push_back(m->vertices[i]);
        if (!m->texCoords.empty()) t.push_back(m->texCoords[i]);
    }
    for (Triangle& f : m->faces) {
        f.a = Index(map[f.a]);
        f.b = Index(map[f.b]);
        f.c = Index(map[f.c]);
    }
    m->vertices.swap(v);
    m->texCoords.swap(t);
}

// Turns a mesh built along z to lie along y (a proper rotation, so the winding stays
// outward).
void ZToY(Mesh* m) {
    for (Vertex& v : m->vertices) {
        float y = v.y;
        v.y = v.z;
        v.z = -y;
    }
}

// A lumpy sphere: the radius swells and dips with a few smooth lobes, all periodic in
// longitude so the texture seam stays closed.
Mesh Blob(const std::string& name, float radius) {
    const int slices = 48, stacks = 24;
    Mesh m = UvSphere(name, 1, slices, stacks);
    for (Vertex& v : m.vertices) {
        float theta = std::acos(std::max(-1.0f, std::min(1.0f, v.z)));
        float phi = std::atan2(v.y, v.x);
        float k = 1 + 0.12f * std::sin(3 * phi) * std::sin(2 * theta) +
                  0.08f * std::cos(4 * theta) + 0.06f * std::sin(5 * phi + 1.0f) * std::sin(theta);
        v.x *= radius * k;
        v.y *= radius * k;
        v.z *= radius * k;
    }
    return m;
}

}  // namespace

Mesh UvSphere(const std::string& name, float radius, int slices, int stacks) {
    Mesh m;
    m.name = name;
    for (int i = 0; i <= stacks; ++i) {
        float theta = kPi * i / stacks;
        for (int j = 0; j <= slices; ++j) {
            float phi = 2 * kPi * j / slices;
            m.vertices.push_back({radius * std::sin(theta) * std::cos(phi),
                                  radius * std::sin(theta) * std::sin(phi),
                                  radius * std::cos(theta)});
            m.texCoords.push_back({static_cast<float>(j) / slices, 1 - static_cast<float>(i) / stacks});
        }
    }
    auto at = [&](int i, int j) { return static_cast<size_t>(i) * (slices + 1) + j; };
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            size_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            // At the poles one of the two triangles would have no area.
            if (i != stacks - 1) m.faces.push_back({Index(a), Index(b), Index(c)});
            if (i != 0) m.faces.push_back({Index(a), Index(c), Index(d)});
        }
    Compact(&m);
    return m;
}

Mesh Dome(const std::string& name, float radius, int slices, int rings) {
    Mesh m;
    m.name = name;
    m.vertices.push_back({0, 0, radius});
    m.texCoords.push_back({0.5f, 0.5f});
    for (int i = 1; i <= rings; ++i) {
        float theta = 0.5f * kPi * i / rings;
        for (int j = 0; j < slices; ++j) {
            float phi = 2 * kPi * j / slices;
            float s = std::sin(theta);
            m.vertices.push_back({radius * s * std::cos(phi), radius * s * std::sin(phi),
                                  radius * std::cos(theta)});
            m.texCoords.push_back({0.5f + 0.5f * s * std::cos(phi), 0.5f + 0.5f * s * std::sin(phi)});
        }
    }
    auto at = [&](int i, int j) { return 1 + static_cast<size_t>(i - 1) * slices + (j % slices); };
    for (int j = 0; j < slices; ++j) m.faces.push_back({0, Index(at(1, j)), Index(at(1, j + 1))});
    for (int i = 1; i < rings; ++i)
        for (int j = 0; j < slices; ++j) Quad(&m, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    return m;
}

Mesh Cylinder(const std::string& name, float radius, float length, int slices, int stacks,
              Vertex centre) {
    Mesh m;
    m.name = name;
    auto at = [&](int i, int j) { return static_cast<size_t>(i) * (slices + 1) + j; };
    for (int i = 0; i <= stacks; ++i) {
        float z = length * 0.5f - length * i / stacks;
        for (int j = 0; j <= slices; ++j) {
            float phi = 2 * kPi * j / slices;
            m.vertices.push_back({centre.x + radius * std::cos(phi), centre.y + radius * std::sin(phi),
                                  centre.z + z});
            m.texCoords.push_back({static_cast<float>(j) / slices,
                                   (1 - static_cast<float>(i) / stacks) * length / (2 * kPi * radius)});
        }
    }
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) Quad(&m, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    // Caps with their own rim vertices, so the edge stays sharp.
    for (int side = 0; side < 2; ++side) {
        float z = centre.z + (side == 0 ? length * 0.5f : -length * 0.5f);
        size_t middle = m.vertices.size();
        m.vertices.push_back({centre.x, centre.y, z});
        m.texCoords.push_back({0.5f, 0.5f});
        for (int j = 0; j < slices; ++j) {
            float phi = 2 * kPi * j / slices;
            m.vertices.push_back({centre.x + radius * std::cos(phi), centre.y + radius * std::sin(phi), z});
            m.texCoords.push_back({0.5f + 0.5f * std::cos(phi), 0.5f + 0.5f * std::sin(phi)});
        }
        for (int j = 0; j < slices; ++j) {
            size_t p = middle + 1 + j, q = middle + 1 + (j + 1) % slices;
            if (side == 0)
                m.faces.push_back({Index(middle), Index(p), Index(q)});
            else
                m.faces.push_back({Index(middle), Index(q), Index(p)});
        }
    }
    return m;
}

Mesh Torus(const std::string& name, float ring, float tube, int segments, int sides) {
    Mesh m;
    m.name = name;
    for (int i = 0; i <= segments; ++i) {
        float u = 2 * kPi * i / segments;
        for (int j = 0; j <= sides; ++j) {
            float v = 2 * kPi * j / sides;
            float r = ring + tube * std::cos(v);
            m.vertices.push_back({r * std::cos(u), r * std::sin(u), tube * std::sin(v)});
            m.texCoords.push_back({4.0f * i / segments, static_cast<float>(j) / sides});
        }
    }
    auto at = [&](int i, int j) { return static_cast<size_t>(i) * (sides + 1) + j; };
    for (int i = 0; i < segments; ++i)
        for (int j = 0; j < sides; ++j) Quad(&m, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    return m;
}

Mesh Box(const std::string& name, float hx, float hy, float hz, int n) {
    Mesh m;
    m.name = name;
    struct Side {
        Vertex corner, e1, e2;  // e1 x e2 points outward
    };
    const Side sides[6] = {
        {{hx, -hy, -hz}, {0, 2 * hy, 0}, {0, 0, 2 * hz}},
        {{-hx, -hy, -hz}, {0, 0, 2 * hz}, {0, 2 * hy, 0}},
        {{-hx, hy, -hz}, {0, 0, 2 * hz}, {2 * hx, 0, 0}},
        {{-hx, -hy, -hz}, {2 * hx, 0, 0}, {0, 0, 2 * hz}},
        {{-hx, -hy, hz}, {2 * hx, 0, 0}, {0, 2 * hy, 0}},
        {{-hx, -hy, -hz}, {0, 2 * hy, 0}, {2 * hx, 0, 0}},
    };
    for (const Side& s : sides) {
        size_t base = m.vertices.size();
        for (int b = 0; b <= n; ++b)
            for (int a = 0; a <= n; ++a) {
                float fa = static_cast<float>(a) / n, fb = static_cast<float>(b) / n;
                m.vertices.push_back({s.corner.x + s.e1.x * fa + s.e2.x * fb,
                                      s.corner.y + s.e1.y * fa + s.e2.y * fb,
                                      s.corner.z + s.e1.z * fa + s.e2.z * fb});
                m.texCoords.push_back({fa, fb});
            }
        auto at = [&](int a, int b) { return base + static_cast<size_t>(b) * (n + 1) + a; };
        for (int b = 0; b < n; ++b)
            for (int a = 0; a < n; ++a) Quad(&m, at(a, b), at(a + 1, b), at(a + 1, b + 1), at(a, b + 1));
    }
    return m;
}

Mesh Plane(const std::string& name, float half, int n) {
    // The closing scene turns the plane by -90 degrees about x and looks at it with y
    // pointing down the screen: screen right is -x, screen up is +z. u therefore runs
    // against x, and v (which the loader negates) rises with z.
    Mesh m;
    m.name = name;
    for (int b = 0; b <= n; ++b)
        for (int a = 0; a <= n; ++a) {
            float x = -half + 2 * half * a / n, z = -half + 2 * half * b / n;
            m.vertices.push_back({x, 0, z});
            m.texCoords.push_back({0.5f - x / (2 * half), 0.5f + z / (2 * half)});
        }
    auto at = [&](int a, int b) { return static_cast<size_t>(b) * (n + 1) + a; };
    for (int b = 0; b < n; ++b)
        for (int a = 0; a < n; ++a) Quad(&m, at(a, b), at(a + 1, b), at(a + 1, b + 1), at(a, b + 1));
    return m;
}

std::vector<SceneFile> MakeScenes() {
    std::vector<SceneFile> scenes;
    // Feedback: seen from 50 to 150 units with a 45 degree lens, copies 30 apart.
    scenes.push_back({"3ds/kasse_kugle.3ds", {UvSphere("Sphere01", 18, 32, 16)}});
    // Vortex: the deformer roughly quadruples its input; seen from about 540 units.
    {
        Mesh hair = Cylinder("Cylinder05", 9, 100, 24, 40, {0, 0, 0});
        ZToY(&hair);
        scenes.push_back({"3ds/hair3.3ds", {hair}});
    }
    // Twister: three columns around the z axis at z = -200 as the demo sees it (the
    // loader mirrors z), watched by a camera orbiting at radius about 400 with +z up.
    {
        std::vector<Mesh> columns;
        const char* names[3] = {"Cylinder01", "Cylinder02", "Cylinder03"};
        for (int k = 0; k < 3; ++k) {
            float a = 2 * kPi * k / 3 + 0.5f * kPi;
            columns.push_back(Cylinder(names[k], 24 - 3 * k, 280 - 30 * k, 24, 16,
                                       {58 * std::cos(a), 58 * std::sin(a), 200}));
        }
        scenes.push_back({"3ds/twist.3ds", columns});
    }
    // Beam: a grid two units apart, five units from the eye, black fog ending at 15.
    scenes.push_back({"3ds/beam2.3ds", {UvSphere("Sphere01", 0.7f, 20, 12)}});
    // Blob: pulsed to 0.2 .. 1.4 times, then vortex-deformed; seen from about 1400
    // with the view aimed 20 degrees past it, so it must stay small to stay on screen.
    scenes.push_back({"3ds/blob.3ds", {Blob("Blob01", 36)}});
    // Tori: flown from 5600 to the eye in white fog; x = -z / 3 brings each through
    // the ring as it passes.
    scenes.push_back({"3ds/torus.3ds", {Torus("Torus01", 150, 42, 48, 16)}});
    // Ordan: a long box, vortex-deformed, seen from 1200 to 2000 units.
    scenes.push_back({"3ds/underligmiddle.3ds", {Box("Box02", 150, 55, 55, 12)}});
    // Ordan2: the eye sits 21 units from the centre inside the dome; fog runs 60 .. 81.
    scenes.push_back({"3ds/insidespherehalf.3ds", {Dome("bigsphere", 62, 72, 24)}});
    // The closing fan: 16 copies at scale 0.1 .. 0.2, 25 units from the eye.
    scenes.push_back({"3ds/radialduck.3ds", {Plane("Box01", 100, 8)}});
    return scenes;
}

bool EncodeScene(const SceneFile& scene, std::vector<uint8_t>* out, std::string* error) {
    std::string why;
    if (!threeds::Write3DS(scene.meshes, out, &why)) {
        if (error) *error = scene.name + ": " + why;
        return false;
    }
    return true;
}

}  // namespace showdata
