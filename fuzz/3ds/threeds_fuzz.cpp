// Fuzz target for the 3DS reader: ParseObject with a null name and with a fixed one,
// and the per-block summary the tools print. Any mesh that comes back must be safe to
// compute normals for and to draw.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "SceneLoad3DS.h"
#include "memory/MemoryTracker.h"
#include "object.h"

namespace {

void CheckMesh(Object* o) {
    if (!o) return;
    for (int f = 0; f < o->faceCount; ++f)
        if (o->faces[f].a >= unsigned(o->vertexCount) || o->faces[f].b >= unsigned(o->vertexCount) ||
            o->faces[f].c >= unsigned(o->vertexCount))
            std::abort();  // would reach glDrawElements out of range
    o->ComputeNormals();
    KAVLO_DELETE(o);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckMesh(Parse3DSObject(data, size, nullptr));
    CheckMesh(Parse3DSObject(data, size, "Sphere01"));
    std::vector<MeshSummary3DS> meshes;
    Describe3DSMeshes(data, size, &meshes);
    // Every listed name must lead back to its block (or to an earlier one of the same
    // name), never to a crash.
    for (size_t i = 0; i < meshes.size() && i < 4; ++i)
        CheckMesh(Parse3DSObject(data, size, meshes[i].name.c_str()));
    return 0;
}
