// Engine benchmark: ObjectVortex::Deform (table lookups) against a peer that computes
// the same three rotations with std::sin / std::cos per vertex, and ComputeNormals, on
// one mesh, each as a share of the 13.3 ms frame of the 75 Hz show.
//
// usage: engine_bench [--vertices N] [--reps N]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ObjectVortex.h"
#include "memory/MemoryTracker.h"
#include "object.h"

namespace {

using Clock = std::chrono::steady_clock;
const double kFrameMs = 1000.0 / 75.0;

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: engine_bench [--vertices N] [--reps N]\n"
                 "Times the vortex deformation (table and sin/cos peer) and the normal\n"
                 "computation on a sphere of about N vertices (default 20000), N reps each\n"
                 "(default 200), and prints milliseconds per call, the peer ratio and the\n"
                 "share of a 75 Hz frame.\n");
}

bool ParseCount(const char* text, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || v < 1 || v > 10000000) return false;
    *out = static_cast<int>(v);
    return true;
}

void MakeSphere(Object* o, int vertices) {
    const int rings = std::max(2, static_cast<int>(std::sqrt(vertices / 2.0)));
    const int segments = std::max(3, vertices / (rings + 1) - 1);
    o->Allocate((rings + 1) * (segments + 1), rings * segments * 2);
    int v = 0;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s, ++v) {
            const double t = M_PI * r / rings, p = 2 * M_PI * s / segments;
            o->vertices[v].Set(float(40 * std::sin(t) * std::cos(p)), float(40 * std::cos(t)),
                               float(40 * std::sin(t) * std::sin(p)));
        }
    int f = 0;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const unsigned a = r * (segments + 1) + s, b = a + segments + 1;
            o->faces[f++] = Face{a, a + 1, b};
            o->faces[f++] = Face{a + 1, b + 1, b};
        }
}

// The peer: the same rotations with the trigonometry computed for every vertex.
void DeformDirect(ObjectVortex& v) {
    const double step = ObjectVortex::kWaveStep;
    auto s = [&](int k) { return 2.0 * std::sin(k * step); };
    auto c = [&](int k) { return 2.0 * std::cos(k * step); };
    const int ka = int(v.twist.x * 70.0) & 1023, kb = int(v.twist.y * 60.0) & 1023,
              kc = int(v.twist.z * 100.0) & 1023;
    for (int i = 0; i < v.vertexCount; ++i) {
        const double x = v.restVertices[i].x, y = v.restVertices[i].y, z = v.restVertices[i].z;
        const double r = std::sqrt(x * x + y * y + z * z);
        const int m = int(100.0 * s(int(1.5 * r + 40.0 * v.twist.x) & 1023));
        const int ix = (m + ka) & 1023, iy = (m + kb) & 1023, iz = (m + kc) & 1023;
        const double x1 = x * c(iy) - z * s(iy), z1 = x * s(iy) + z * c(iy);
        const double y1 = y * c(iz) - x1 * s(iz);
        v.vertices[i].Set(float(x1 * c(iz) + y * s(iz)), float(y1 * c(ix) + z1 * s(ix)),
                          float(z1 * c(ix) - y1 * s(ix)));
    }
}

template <typename F>
double MsPerCall(int reps, F&& f) {
    const auto start = Clock::now();
    for (int i = 0; i < reps; ++i) f(i);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / reps;
}

}  // namespace

int main(int argc, char** argv) {
    int vertices = 20000, reps = 200;
    for (int i = 1; i < argc; i += 2) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            Usage(stdout);
            return 0;
        }
        int* target = !std::strcmp(argv[i], "--vertices") ? &vertices
                      : !std::strcmp(argv[i], "--reps")    ? &reps
                                                           : nullptr;
        if (!target || i + 1 >= argc || !ParseCount(argv[i + 1], target)) {
            std::fprintf(stderr, "engine_bench: bad argument '%s'\n", argv[i]);
            Usage(stderr);
            return 2;
        }
    }

    Object* sphere = KAVLO_NEW(Object);
    MakeSphere(sphere, vertices);
    ObjectVortex* vortex = KAVLO_NEW(ObjectVortex, *sphere);
    std::fprintf(stderr, "engine_bench: %d vertices, %d faces, %d reps\n", vortex->vertexCount,
                 vortex->faceCount, reps);

    auto twist = [&](int i) { vortex->SetTwist(0.01f * i, 0.02f * i, -0.015f * i); };
    const double table = MsPerCall(reps, [&](int i) {
        twist(i);
        vortex->Deform();
    });
    const double direct = MsPerCall(reps, [&](int i) {
        twist(i);
        DeformDirect(*vortex);
    });
    const double normals = MsPerCall(reps, [&](int) { vortex->ComputeNormals(); });

    std::printf("%-28s %10s %12s %14s\n", "operation", "ms/call", "vs peer", "frame share");
    std::printf("%-28s %10.3f %11.2fx %13.1f%%\n", "Deform (tables)", table, direct / table,
                100 * table / kFrameMs);
    std::printf("%-28s %10.3f %11.2fx %13.1f%%\n", "peer: rotations with sin/cos", direct, 1.0,
                100 * direct / kFrameMs);
    std::printf("%-28s %10.3f %12s %13.1f%%\n", "ComputeNormals", normals, "-",
                100 * normals / kFrameMs);

    KAVLO_DELETE(vortex);
    KAVLO_DELETE(sphere);
    return 0;
}
