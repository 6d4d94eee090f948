// The twisting mesh: wave table, rest shape and the per-frame deformation.
#include "ObjectVortex.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "memory/MemoryTracker.h"

namespace {

// Truncation toward zero as the x86 conversion does it: anything outside the int range
// (or not a number) becomes INT_MIN, whose low ten bits are 0. A plain cast would be
// undefined there.
int TruncateToInt(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace

ObjectVortex::ObjectVortex(const Object& source)
    : Object(), waveTable(nullptr), restVertices(nullptr), twist() {
    CopyFrom(source);
    Setup();
}

ObjectVortex::~ObjectVortex() { ReleaseVortex(); }

void ObjectVortex::ReleaseVortex() {
    if (waveTable) KAVLO_DELETE_ARRAY(waveTable);
    if (restVertices) KAVLO_DELETE_ARRAY(restVertices);
    waveTable = nullptr;
    restVertices = nullptr;
}

void ObjectVortex::Setup() {
    ReleaseVortex();
    twist.Set(0, 0, 0);
    restVertices = KAVLO_NEW_ARRAY(Vector3, vertexCount);
    if (vertexCount > 0) std::memcpy(restVertices, vertices, sizeof(Vector3) * vertexCount);
    waveTable = KAVLO_NEW_ARRAY(float, kWaveTableSize);
    for (int k = 0; k < 1024; ++k) {
        waveTable[k] = static_cast<float>(2.0 * std::sin(k * kWaveStep));
        waveTable[1024 + k] = static_cast<float>(2.0 * std::cos(k * kWaveStep));
    }
}

void ObjectVortex::Deform() {
    if (!waveTable || !restVertices) return;
    const float* sinT = waveTable;
    const float* cosT = waveTable + 1024;
    const double px = twist.x, py = twist.y, pz = twist.z;
    const int ka = TruncateToInt(px * 70.0) & 1023;
    const int kb = TruncateToInt(py * 60.0) & 1023;
    const int kc = TruncateToInt(pz * 100.0) & 1023;

    for (int i = 0; i < vertexCount; ++i) {
        const double x = restVertices[i].x, y = restVertices[i].y, z = restVertices[i].z;
        const double r = std::sqrt(x * x + y * y + z * z);
        const int k0 = TruncateToInt(1.5 * r + 40.0 * px) & 1023;
        const int m = TruncateToInt(100.0 * sinT[k0]);
        const int ix = (m + ka) & 1023;
        const int iy = (m + kb) & 1023;
        const int iz = (m + kc) & 1023;

        // Rotations about y, z and x; each also doubles what it mixes, since the table's
        // amplitude is 2.
        const float x1 = static_cast<float>(x * cosT[iy] - z * sinT[iy]);
        const double z1 = x * sinT[iy] + z * cosT[iy];
        const float y1 = static_cast<float>(y * cosT[iz] - double(x1) * sinT[iz]);
        vertices[i].x = static_cast<float>(double(x1) * cosT[iz] + y * sinT[iz]);
        vertices[i].y = static_cast<float>(double(y1) * cosT[ix] + z1 * sinT[ix]);
        vertices[i].z = static_cast<float>(z1 * cosT[ix] - double(y1) * sinT[ix]);
    }
}
