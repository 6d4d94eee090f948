// The generator's own parts: the TGA layout, fixed-seed randomness, tileable noise and
// textures, squeezed text, the mesh builders, and the two command-line front ends.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ShowImage.h"
#include "ShowMeshes.h"
#include "ShowPictures.h"

namespace {

using namespace showdata;

TEST(ShowKit, TgaStoresBgraTopRowFirstWithTheHeaderTheLoaderReads) {
    // 2 x 2 pixels, distinct bytes, so a swapped or shifted channel shows.
    std::vector<uint8_t> rgba = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::vector<uint8_t> tga = EncodeTga32(rgba, 2, 2);
    ASSERT_EQ(tga.size(), 18u + 16u);
    EXPECT_EQ(tga[0], 0);   // no ID field: the loader takes pixels from byte 18
    EXPECT_EQ(tga[1], 0);   // no colour map
    EXPECT_EQ(tga[2], 2);   // uncompressed true colour
    EXPECT_EQ(tga[12] | tga[13] << 8, 2);
    EXPECT_EQ(tga[14] | tga[15] << 8, 2);
    EXPECT_EQ(tga[16], 32);
    EXPECT_EQ(tga[17], 0x28);  // 8 alpha bits, first stored row at the top
    const uint8_t firstPixel[4] = {3, 2, 1, 4};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(tga[18 + i], firstPixel[i]);
    EXPECT_EQ(tga[18 + 12], 15);
    EXPECT_EQ(tga[18 + 15], 16);
}

TEST(ShowKit, RandomIsFixedBySeedAndStaysInRange) {
    Random a(42), b(42), c(43);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        uint64_t x = a.Next();
        EXPECT_EQ(x, b.Next());
        differs |= x != c.Next();
    }
    EXPECT_TRUE(differs);
    Random r(7);
    for (int i = 0; i < 10000; ++i) {
        float u = r.Unit();
        ASSERT_GE(u, 0.0f);
        ASSERT_LT(u, 1.0f);
        int k = r.Below(5);
        ASSERT_GE(k, 0);
        ASSERT_LT(k, 5);
    }
    EXPECT_EQ(r.Below(0), 0);
}

TEST(ShowKit, PeriodicNoiseRepeatsExactlyAndStaysInRange) {
    for (float x = -3.3f; x < 9; x += 0.37f)
        for (float y = -2.1f; y < 9; y += 0.41f) {
            float n = Noise(x, y, 8, 5);
            ASSERT_GE(n, 0.0f);
            ASSERT_LE(n, 1.0f);
            // Shifting by a period only rounds the coordinate's last bits.
            EXPECT_NEAR(n, Noise(x + 8, y, 8, 5), 1e-4);
            EXPECT_NEAR(n, Noise(x, y - 16, 8, 5), 1e-4);
            EXPECT_NEAR(Fbm(x, y, 4, 8, 3), Fbm(x + 8, y + 8, 4, 8, 3), 1e-4);
            EXPECT_NEAR(Cells(x, y, 8, 2), Cells(x + 8, y, 8, 2), 1e-4);
        }
}

// Mean absolute step between two pixel columns (or rows) of an RGB picture.
double Step(const Picture& p, bool columns, int a, int b) {
    double sum = 0;
    for (int k = 0; k < p.size; ++k) {
        size_t ia = columns ? (static_cast<size_t>(k) * p.size + a) : (static_cast<size_t>(a) * p.size + k);
        size_t ib = columns ? (static_cast<size_t>(k) * p.size + b) : (static_cast<size_t>(b) * p.size + k);
        for (int ch = 0; ch < 3; ++ch) sum += std::abs(p.pixels[ia * 3 + ch] - p.pixels[ib * 3 + ch]);
    }
    return sum / (p.size * 3.0);
}

TEST(ShowKit, MeshTexturesWrapWithoutASeam) {
    // These are wrapped around meshes with repeat addressing, in both directions.
    const std::set<std::string> wrapped = {
        "data/kasse.jpg",   "data/hair.jpg",      "data/twist1.jpg",
        "data/twist2.jpg",  "data/twist3.jpg",    "data/torus_2.jpg",
        "data/torus_1.jpg", "data/torus_texture_1.jpg", "data/torus_texture_2.jpg",
    };
    std::vector<Picture> pictures;
    std::string error;
    ASSERT_TRUE(MakePictures(&pictures, &error)) << error;
    int checked = 0;
    for (const Picture& p : pictures) {
        if (!wrapped.count(p.name)) continue;
        ++checked;
        for (bool columns : {true, false}) {
            double inside = 0;
            for (int k = 0; k + 1 < p.size; ++k) inside += Step(p, columns, k, k + 1);
            inside /= p.size - 1;
            double seam = Step(p, columns, p.size - 1, 0);
            EXPECT_LE(seam, inside * 3 + 2) << p.name << (columns ? " left/right" : " top/bottom");
        }
    }
    EXPECT_EQ(checked, static_cast<int>(wrapped.size()));
}

TEST(ShowKit, SqueezedTextIsNarrowerForPicturesStretchedToTheScreen) {
    TextRenderer text;
    ASSERT_TRUE(text.Load(FontPath(true))) << text.Error();
    int normal = text.Measure("greetings", 60);
    text.SetSqueeze(0.75f);
    int squeezed = text.Measure("greetings", 60);
    EXPECT_GT(normal, 0);
    EXPECT_NEAR(squeezed, normal * 0.75, normal * 0.05);
    EXPECT_FALSE(text.Load("/nonexistent/font.ttf"));
    EXPECT_NE(text.Error().find("/nonexistent/font.ttf"), std::string::npos);
}

// Every vertex used, every face with area: the demo's normals are then defined.
void ExpectSound(const threeds::Mesh& m) {
    std::vector<bool> used(m.vertices.size(), false);
    ASSERT_EQ(m.texCoords.size(), m.vertices.size()) << m.name;
    for (const threeds::Triangle& f : m.faces) {
        ASSERT_LT(f.a, m.vertices.size());
        ASSERT_LT(f.b, m.vertices.size());
        ASSERT_LT(f.c, m.vertices.size());
        used[f.a] = used[f.b] = used[f.c] = true;
        const threeds::Vertex &a = m.vertices[f.a], &b = m.vertices[f.b], &c = m.vertices[f.c];
        float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        float area = std::hypot(uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx);
        EXPECT_GT(area, 1e-6f) << m.name << " has a face without area";
    }
    for (size_t i = 0; i < used.size(); ++i) EXPECT_TRUE(used[i]) << m.name << " vertex " << i;
}

TEST(ShowKit, MeshBuildersMakeSoundMeshesEvenAtTheirCoarsest) {
    for (int n : {3, 4, 17}) {
        ExpectSound(UvSphere("s", 1, n, n));
        ExpectSound(Dome("d", 1, n, n));
        ExpectSound(Cylinder("c", 1, 2, n, n, {0, 0, 0}));
        ExpectSound(Torus("t", 2, 0.5f, n, n));
        ExpectSound(Box("b", 1, 2, 3, n));
        ExpectSound(Plane("p", 1, n));
    }
    // The dome is welded at its seam (one pole vertex, one ring per latitude) and
    // open at the equator, which lies in z = 0.
    threeds::Mesh dome = Dome("d", 10, 12, 5);
    EXPECT_EQ(dome.vertices.size(), 1u + 12u * 5u);
    for (const threeds::Vertex& v : dome.vertices) EXPECT_GE(v.z, -1e-5f);
    for (const SceneFile& s : MakeScenes())
        for (const threeds::Mesh& m : s.meshes) {
            ExpectSound(m);
            EXPECT_LE(m.vertices.size(), 65535u) << m.name;
        }
}

// ---- command lines

int ExitStatus(const std::string& command) {
    int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ShowKit, CommandLinesHelpRefuseBadUsageAndReportWriteFailures) {
    const std::string gen = KAVLO_SHOWDATA_TOOL;
    EXPECT_EQ(ExitStatus(gen + " --help"), 0);
    EXPECT_EQ(ExitStatus(gen), 2);
    EXPECT_EQ(ExitStatus(gen + " --bogus out"), 2);
    EXPECT_EQ(ExitStatus(gen + " a b"), 2);
    EXPECT_EQ(ExitStatus(gen + " --preview"), 2);
    EXPECT_EQ(ExitStatus(gen + " --quiet /nonexistent/folder"), 1);
#ifdef KAVLO_DATA_TOOL
    const std::string kit = KAVLO_DATA_TOOL;
    EXPECT_EQ(ExitStatus(kit + " build --help"), 0);
    EXPECT_EQ(ExitStatus(kit + " help build"), 0);
    EXPECT_EQ(ExitStatus(kit + " build --bogus"), 2);
    EXPECT_EQ(ExitStatus(kit + " build --quiet /nonexistent/folder/deeper"), 1);
    // A file where the folder should be is refused, not overwritten.
    std::FILE* f = std::fopen("not_a_folder", "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(ExitStatus(kit + " build --quiet not_a_folder"), 1);
    struct stat info;
    ASSERT_EQ(stat("not_a_folder", &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
#endif
}

}  // namespace
