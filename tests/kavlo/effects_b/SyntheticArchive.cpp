// The synthetic data archive of the effect tests: stored 3DS entries with small
// meshes under the names the five effects look up, and no pictures.
#include "FxbSupport.h"

#include "RarWriter.h"
#include "Writer3DS.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fxb {

namespace {

const double kPi = 3.14159265358979323846;

// A latitude-longitude sphere cap from the north pole down to `polarEnd` radians.
threeds::Mesh SphereMesh(const std::string& name, float radius, int stacks, int slices,
                         double polarEnd) {
    threeds::Mesh m;
    m.name = name;
    for (int i = 0; i <= stacks; ++i) {
        const double theta = polarEnd * i / stacks;
        for (int j = 0; j <= slices; ++j) {
            const double phi = 2 * kPi * j / slices;
            m.vertices.push_back({static_cast<float>(radius * std::sin(theta) * std::cos(phi)),
                                  static_cast<float>(radius * std::sin(theta) * std::sin(phi)),
                                  static_cast<float>(radius * std::cos(theta))});
            m.texCoords.push_back({static_cast<float>(j) / slices, static_cast<float>(i) / stacks});
        }
    }
    const int row = slices + 1;
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const uint16_t a = static_cast<uint16_t>(i * row + j), b = static_cast<uint16_t>(a + 1);
            const uint16_t c = static_cast<uint16_t>(a + row), d = static_cast<uint16_t>(c + 1);
            m.faces.push_back({a, c, b});
            m.faces.push_back({b, c, d});
        }
    return m;
}

threeds::Mesh TorusMesh(const std::string& name, float ring, float tube, int rings, int sides) {
    threeds::Mesh m;
    m.name = name;
    for (int i = 0; i <= rings; ++i) {
        const double u = 2 * kPi * i / rings;
        for (int j = 0; j <= sides; ++j) {
            const double v = 2 * kPi * j / sides;
            const double r = ring + tube * std::cos(v);
            m.vertices.push_back({static_cast<float>(r * std::cos(u)), static_cast<float>(r * std::sin(u)),
                                  static_cast<float>(tube * std::sin(v))});
            m.texCoords.push_back({static_cast<float>(i) / rings, static_cast<float>(j) / sides});
        }
    }
    const int row = sides + 1;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < sides; ++j) {
            const uint16_t a = static_cast<uint16_t>(i * row + j), b = static_cast<uint16_t>(a + 1);
            const uint16_t c = static_cast<uint16_t>(a + row), d = static_cast<uint16_t>(c + 1);
            m.faces.push_back({a, c, b});
            m.faces.push_back({b, c, d});
        }
    return m;
}

// A flat square in the x-y plane, as the fan's single mesh.
threeds::Mesh SquareMesh(const std::string& name, float half) {
    threeds::Mesh m;
    m.name = name;
    m.vertices = {{-half, -half, 0}, {half, -half, 0}, {half, half, 0}, {-half, half, 0}};
    m.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.faces = {{0, 1, 2}, {0, 2, 3}};
    return m;
}

bool AddMesh(rarpack::RarWriter* writer, const char* file, const threeds::Mesh& mesh,
             std::string* error) {
    std::vector<uint8_t> bytes;
    if (!threeds::Write3DS({mesh}, &bytes, error)) return false;
    rarpack::EntryOptions stored;
    stored.method = 0;
    writer->Add(file, bytes.data(), bytes.size(), stored);
    return true;
}

}  // namespace

bool WriteSyntheticArchive(unsigned meshes, std::string* error) {
    rarpack::RarWriter writer;
    struct Entry {
        unsigned bit;
        const char* file;
        threeds::Mesh mesh;
    };
    const Entry entries[] = {
        {kBeamSphere, "3ds/beam2.3ds", SphereMesh("Sphere01", 0.5f, 8, 12, kPi)},
        {kBlob, "3ds/blob.3ds", SphereMesh("Blob01", 120.0f, 12, 16, kPi)},
        {kTorus, "3ds/torus.3ds", TorusMesh("Torus01", 100.0f, 35.0f, 16, 8)},
        {kBox, "3ds/underligmiddle.3ds", SphereMesh("Box02", 250.0f, 10, 12, kPi)},
        {kBigSphere, "3ds/insidespherehalf.3ds", SphereMesh("bigsphere", 70.0f, 12, 24, kPi / 2)},
        {kRadialDuck, "3ds/radialduck.3ds", SquareMesh("Box01", 20.0f)},
    };
    for (const Entry& e : entries)
        if ((meshes & e.bit) && !AddMesh(&writer, e.file, e.mesh, error)) return false;
    // An archive with no entry at all still needs a readable file.
    if (writer.EntryCount() == 0) {
        rarpack::EntryOptions stored;
        stored.method = 0;
        writer.Add("readme.txt", "x", 1, stored);
    }
    return writer.WriteFile("megadata.rar", error);
}

bool SyntheticDataReady() {
    static const bool ready = [] {
        std::string error;
        if (WriteSyntheticArchive(kAllMeshes, &error)) return true;
        ADD_FAILURE() << "cannot write the synthetic archive: " << error;
        return false;
    }();
    return ready;
}

}  // namespace fxb
