// The show's scenes: every 3DS file the effects load, with the named meshes sized for
// each effect's camera, fog and deformer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Writer3DS.h"

namespace showdata {

struct SceneFile {
    std::string name;                  // archive entry name, e.g. "3ds/torus.3ds"
    std::vector<threeds::Mesh> meshes;  // in the file's own coordinates
};

// Every scene, in a fixed order.
std::vector<SceneFile> MakeScenes();

// The scene's 3DS file bytes; false with a reason from the writer.
bool EncodeScene(const SceneFile& scene, std::vector<uint8_t>* out, std::string* error);

// ---- mesh builders (exposed for tests). All faces wind counter-clockwise seen from
// outside, the way modellers write 3DS files; the demo's loader mirrors z, so its
// front-face culling then keeps the outside. Every vertex is used by a face and no
// face is degenerate, so computed normals are always defined.

// Latitude-longitude sphere around the origin with poles on z; u around, v up.
threeds::Mesh UvSphere(const std::string& name, float radius, int slices, int stacks);
// Upper half (z >= 0) of a sphere, open at the equator, seam welded (for sphere maps).
threeds::Mesh Dome(const std::string& name, float radius, int slices, int rings);
// Capped cylinder along z, centred on `centre`.
threeds::Mesh Cylinder(const std::string& name, float radius, float length, int slices, int stacks,
                       threeds::Vertex centre);
// Torus around z with tube radius `tube`.
threeds::Mesh Torus(const std::string& name, float ring, float tube, int segments, int sides);
// Box with each side split into n x n quads.
threeds::Mesh Box(const std::string& name, float hx, float hy, float hz, int n);
// Flat n x n grid in the xz plane, half-size `half`, mapped so that the picture reads
// upright when the plane is turned to face the closing scene's camera.
threeds::Mesh Plane(const std::string& name, float half, int n);

}  // namespace showdata
