// The default show data: every file the effects name is in megadata.rar and loads
// through the demo's own loaders, meshes face and read the way the effects see them,
// the music is long enough and lined up with the timeline, and every run makes the
// same bytes.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "rar/ArchiveReader.h"
#include "GLTestContext.h"
#include "MemoryTracker.h"
#include "SceneLoad3DS.h"
#include "ShowData.h"
#include "ShowImage.h"
#include "ShowMeshes.h"
#include "ShowMusic.h"
#include "ShowPictures.h"
#include "TextureImageJPEG.h"
#include "TextureImageTGA.h"
#include "ijl/jpeg.h"
#include "object.h"

namespace {

// The names as the effects spell them, written out here rather than taken from the
// generator, so a typo on either side shows.
const char* const kJpegs[] = {
    "data/loading.jpg",      "data/spiral_back.jpg",     "data/start_flare.jpg",
    "data/kasse_back.jpg",   "data/kasse.jpg",           "data/vortex_back.jpg",
    "data/hair.jpg",         "data/twist_back.jpg",      "data/twist1.jpg",
    "data/twist2.jpg",       "data/twist3.jpg",          "data/beam_back.jpg",
    "data/beam.jpg",         "data/fly.jpg",             "data/torus_1.jpg",
    "data/torus_2.jpg",      "data/flare.jpg",           "data/onyx.jpg",
    "data/torus_texture_1.jpg", "data/torus_texture_2.jpg", "data/credit_back.jpg",
    "data/3dmivo.jpg",       "data/slut512x512.jpg",
};
const char* const kTgas[] = {"data/credits.tga", "data/sexkanter.tga", "data/greet.tga"};
const std::map<std::string, std::vector<std::string>> kScenes = {
    {"3ds/kasse_kugle.3ds", {"Sphere01"}},
    {"3ds/hair3.3ds", {"Cylinder05"}},
    {"3ds/twist.3ds", {"Cylinder01", "Cylinder02", "Cylinder03"}},
    {"3ds/beam2.3ds", {"Sphere01"}},
    {"3ds/blob.3ds", {"Blob01"}},
    {"3ds/torus.3ds", {"Torus01"}},
    {"3ds/underligmiddle.3ds", {"Box02"}},
    {"3ds/insidespherehalf.3ds", {"bigsphere"}},
    {"3ds/radialduck.3ds", {"Box01"}},
};

// One generation for the whole program, written where the loaders look for it.
class ShowData : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        data_ = new showdata::ShowData;
        std::string error;
        ok_ = showdata::BuildShowData({}, data_, &error) && showdata::WriteShowData(*data_, ".", &error);
        error_ = error;
    }
    static void TearDownTestSuite() {
        delete data_;
        data_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(ok_) << error_; }

    static std::vector<unsigned char> Extract(const std::string& name) {
        void* data = nullptr;
        unsigned long size = 0;
        if (!ArchiveGetFile(&data, &size, name.c_str(), showdata::kArchiveName, "")) return {};
        std::vector<unsigned char> bytes(static_cast<unsigned char*>(data),
                                         static_cast<unsigned char*>(data) + size);
        std::free(data);
        return bytes;
    }

    static const showdata::ShowEntry* Entry(const std::string& name) {
        for (const showdata::ShowEntry& e : data_->entries)
            if (e.name == name) return &e;
        return nullptr;
    }

    static showdata::ShowData* data_;
    static bool ok_;
    static std::string error_;
};
showdata::ShowData* ShowData::data_ = nullptr;
bool ShowData::ok_ = false;
std::string ShowData::error_;

// Texture read-back needs the shared GL context.
std::vector<unsigned char> LevelImage(Texture& t, int* size) {
    GLint w = 0;
    t.Bind();
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    std::vector<unsigned char> out(static_cast<size_t>(w > 0 ? w : 0) * (w > 0 ? w : 0) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (w > 0) glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    t.Unbind();
    *size = w;
    return out;
}

TEST_F(ShowData, ArchiveHoldsExactlyTheNamedFilesAndTheReaderReturnsTheirBytes) {
    std::vector<std::string> expected(std::begin(kJpegs), std::end(kJpegs));
    expected.insert(expected.end(), std::begin(kTgas), std::end(kTgas));
    for (const auto& [file, names] : kScenes) expected.push_back(file);
    EXPECT_EQ(data_->entries.size(), expected.size());
    for (const std::string& name : expected) {
        const showdata::ShowEntry* entry = Entry(name);
        ASSERT_NE(entry, nullptr) << name;
        // Through the demo's own reader: the solid chain, both modes and the CRC.
        EXPECT_EQ(Extract(name), entry->bytes) << name;
    }
    // The loading picture comes first: it is fetched first, before anything else
    // would have to be unpacked ahead of it.
    EXPECT_EQ(data_->entries.front().name, "data/loading.jpg");
}

TEST_F(ShowData, JpegsAreSquareColourPicturesAndBecomeTextures) {
    testsupport::OffscreenGL& gl = testsupport::SharedGL();
    ASSERT_TRUE(gl.Ok()) << gl.Error();
    for (const char* name : kJpegs) {
        std::vector<unsigned char> bytes = Extract(name);
        ASSERT_FALSE(bytes.empty()) << name;
        int w = 0, h = 0, channels = 0;
        ASSERT_NE(JpegDecode(&w, &h, &channels, bytes.data(), static_cast<int>(bytes.size())), nullptr)
            << name;
        JpegRelease();
        EXPECT_EQ(w, h) << name;
        EXPECT_EQ(channels, 3) << name;
        EXPECT_TRUE(w == 256 || w == 512) << name << " is " << w;
        if (std::strcmp(name, "data/slut512x512.jpg") == 0) {
            EXPECT_EQ(w, 512);
        }

        TextureImageJPEG* texture = KAVLO_NEW(TextureImageJPEG, name);
        int size = 0;
        std::vector<unsigned char> image = LevelImage(*texture, &size);
        EXPECT_EQ(size, w) << name << " did not become a texture";
        KAVLO_DELETE(texture);
    }
}

// Alpha of texel (x, y), y counted from the first (top) row.
int AlphaAt(const std::vector<unsigned char>& rgba, int size, int x, int y) {
    return rgba[(static_cast<size_t>(y) * size + x) * 4 + 3];
}

TEST_F(ShowData, TgasBecomeRgbaTexturesWithTheirShapesWhereTheEffectsShowThem) {
    testsupport::OffscreenGL& gl = testsupport::SharedGL();
    ASSERT_TRUE(gl.Ok()) << gl.Error();
    std::map<std::string, std::vector<unsigned char>> images;
    for (const char* name : kTgas) {
        std::vector<unsigned char> bytes = Extract(name);
        ASSERT_GE(bytes.size(), 18u) << name;
        EXPECT_EQ(bytes[2], 2) << name;           // uncompressed true colour
        EXPECT_EQ(bytes[16], 32) << name;         // with alpha
        EXPECT_EQ(bytes[0], 0) << name;           // the loader does not skip an ID field
        EXPECT_NE(bytes[17] & 0x20, 0) << name;   // stored top row first, as shown
        TextureImageTGA* texture = KAVLO_NEW(TextureImageTGA, name);
        EXPECT_EQ(texture->format, static_cast<GLenum>(GL_RGBA)) << name;
        int size = 0;
        images[name] = LevelImage(*texture, &size);
        EXPECT_EQ(size, 512) << name;
        KAVLO_DELETE(texture);
        if (size != 512) return;
    }
    auto count = [](const std::vector<unsigned char>& img, int y0, int y1, auto pred) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < 512; ++x) n += pred(AlphaAt(img, 512, x, y));
        return n;
    };
    auto drawnCredits = [](int a) { return a * 0.75 > 127.5; };  // colour alpha is 0.75 there
    auto drawnGreet = [](int a) { return a > 26; };
    auto solidHex = [](int a) { return a < 128; };  // inverted test: the frame is drawn
    // The credits rise until their top three quarters show: nothing below that.
    EXPECT_GT(count(images["data/credits.tga"], 0, 384, drawnCredits), 5000);
    EXPECT_EQ(count(images["data/credits.tga"], 384, 512, drawnCredits), 0);
    // The greetings cover part of the screen, not all of it.
    int greet = count(images["data/greet.tga"], 0, 512, drawnGreet);
    EXPECT_GT(greet, 5000);
    EXPECT_LT(greet, 512 * 512 / 2);
    // The band lies in the picture's top 62.5 %, the part on screen at y = -0.75;
    // below it every texel lets the effect through.
    EXPECT_GT(count(images["data/sexkanter.tga"], 0, 320, solidHex), 5000);
    EXPECT_EQ(count(images["data/sexkanter.tga"], 320, 512, solidHex), 0);
    // Cells are windows: inside the band there are see-through texels as well.
    EXPECT_GT(count(images["data/sexkanter.tga"], 120, 260, [](int a) { return a >= 128; }), 5000);
}

struct Bounds {
    float min[3] = {1e30f, 1e30f, 1e30f}, max[3] = {-1e30f, -1e30f, -1e30f};
    float Centre(int k) const { return (min[k] + max[k]) * 0.5f; }
};
Bounds BoundsOf(const Object& o) {
    Bounds b;
    for (int i = 0; i < o.vertexCount; ++i) {
        const float v[3] = {o.vertices[i].x, o.vertices[i].y, o.vertices[i].z};
        for (int k = 0; k < 3; ++k) {
            b.min[k] = std::min(b.min[k], v[k]);
            b.max[k] = std::max(b.max[k], v[k]);
        }
    }
    return b;
}

TEST_F(ShowData, EveryNamedMeshLoadsWithTextureCoordinatesAndDefinedNormals) {
    for (const auto& [file, names] : kScenes) {
        SceneLoad3DS* scene = KAVLO_NEW(SceneLoad3DS);
        switch (names.size()) {
            case 1: LoadScene(scene, 1, file.c_str(), names[0].c_str()); break;
            case 3: LoadScene(scene, 3, file.c_str(), names[0].c_str(), names[1].c_str(), names[2].c_str()); break;
            default: FAIL();
        }
        for (const std::string& name : names) {
            Object* o = scene->FindObject(name.c_str());
            ASSERT_NE(o, nullptr) << file << " " << name;
            EXPECT_GT(o->faceCount, 0);
            bool mapped = false;
            for (int i = 0; i < o->vertexCount; ++i)
                mapped |= o->texCoords[i].s != 0 || o->texCoords[i].t != 0;
            EXPECT_TRUE(mapped) << name << " has no texture coordinates";
            // A vertex no face uses, or a face without area, would give undefined
            // normals, which the sphere-mapped passes read.
            o->ComputeNormals();
            int bad = 0;
            for (int i = 0; i < o->vertexCount; ++i)
                bad += !std::isfinite(o->normals[i].x) || !std::isfinite(o->normals[i].y) ||
                       !std::isfinite(o->normals[i].z);
            EXPECT_EQ(bad, 0) << file << " " << name;
            // Closed meshes must face outward as the demo computes normals (and so
            // survive its front-face culling); the dome too, which is culled the other way.
            if (name != "Box01") {
                Bounds b = BoundsOf(*o);
                const bool ring = name == "Torus01";
                const float ringRadius = (b.max[0] - b.min[0] + b.min[2] - b.max[2]) * 0.5f;
                int inward = 0;
                for (int i = 0; i < o->vertexCount; ++i) {
                    const Vector3& v = o->vertices[i];
                    // The torus is judged against the nearest point of its core circle.
                    float cx = b.Centre(0), cy = b.Centre(1), cz = b.Centre(2);
                    if (ring) {
                        float len = std::sqrt(v.x * v.x + v.y * v.y);
                        cx = len > 0 ? v.x / len * ringRadius : 0;
                        cy = len > 0 ? v.y / len * ringRadius : 0;
                        cz = 0;
                    }
                    float d = (v.x - cx) * o->normals[i].x + (v.y - cy) * o->normals[i].y +
                              (v.z - cz) * o->normals[i].z;
                    inward += d < 0;
                }
                EXPECT_LT(inward, o->vertexCount / 10) << file << " " << name << " faces inward";
            }
        }
        // Look every object up before deleting any: FindObject reads each object's name.
        std::vector<Object*> found;
        for (const std::string& name : names) found.push_back(scene->FindObject(name.c_str()));
        for (Object* o : found)
            if (o) KAVLO_DELETE(o);
        KAVLO_DELETE(scene);
    }
}

// Parses one mesh of a generated scene in memory; the caller deletes it.
Object* LoadedMesh(const std::string& file, const char* name) {
    for (const showdata::SceneFile& s : showdata::MakeScenes()) {
        if (s.name != file) continue;
        std::vector<uint8_t> bytes;
        std::string error;
        if (!showdata::EncodeScene(s, &bytes, &error)) return nullptr;
        return Parse3DSObject(bytes.data(), bytes.size(), name);
    }
    return nullptr;
}

TEST_F(ShowData, MeshesSitWhereTheEffectsCamerasLook) {
    // The twister's camera circles the z axis in the plane z = -200 (after the
    // loader's mirror): the columns must be centred there, not at +200.
    for (const char* name : {"Cylinder01", "Cylinder02", "Cylinder03"}) {
        Object* o = LoadedMesh("3ds/twist.3ds", name);
        ASSERT_NE(o, nullptr);
        Bounds b = BoundsOf(*o);
        EXPECT_NEAR(b.Centre(2), -200, 5) << name;
        EXPECT_LT(b.max[2] - b.min[2], 340) << name;  // fits the view at radius 350
        KAVLO_DELETE(o);
    }
    // The dome: the eye at (1, -2, 21) sits inside it and looks down -z into it.
    Object* dome = LoadedMesh("3ds/insidespherehalf.3ds", "bigsphere");
    ASSERT_NE(dome, nullptr);
    Bounds d = BoundsOf(*dome);
    EXPECT_LT(d.min[2], -40);
    EXPECT_NEAR(d.max[2], 0, 0.01);
    EXPECT_GT(d.max[0], 21);
    KAVLO_DELETE(dome);
    // The closing fan is turned -90 degrees about x and seen with y down the screen,
    // so screen right is -x and screen up is -z after loading: the picture's top-left
    // corner (s = 0, t = 0, here -1 as the loader negates v) must sit there.
    Object* fan = LoadedMesh("3ds/radialduck.3ds", "Box01");
    ASSERT_NE(fan, nullptr);
    Bounds f = BoundsOf(*fan);
    EXPECT_EQ(f.min[1], 0);
    EXPECT_EQ(f.max[1], 0);
    int corners = 0;
    for (int i = 0; i < fan->vertexCount; ++i) {
        if (fan->texCoords[i].s != 0 || fan->texCoords[i].t != -1) continue;
        ++corners;
        EXPECT_EQ(fan->vertices[i].x, f.max[0]);
        EXPECT_EQ(fan->vertices[i].z, f.min[2]);
    }
    EXPECT_EQ(corners, 1);
    KAVLO_DELETE(fan);
}

TEST_F(ShowData, MusicLastsTheShowAndSyncsFallWhereTheEffectsKick) {
    // Section changes fall exactly on rows at 0.125 s each.
    const double changes[] = {17, 27, 44, 74, 100, 114, 140, 155};
    const auto& sections = showdata::MusicSections();
    ASSERT_EQ(sections.size(), 9u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(sections[i + 1].firstRow * showdata::kRowSeconds, changes[i]);
        EXPECT_EQ(sections[i].endRow, sections[i + 1].firstRow);
    }
    EXPECT_GE(showdata::MusicTotalRows() * showdata::kRowSeconds, 175.0);

    xm::Module song = showdata::ComposeMusic();
    std::vector<int> syncs = showdata::SyncRows(song);
    auto countIn = [&](double from, double to) {
        int n = 0;
        for (int r : syncs) n += r * showdata::kRowSeconds >= from && r * showdata::kRowSeconds < to;
        return n;
    };
    EXPECT_GE(countIn(18, 28), 5);    // feedback, after its fade-in
    EXPECT_GE(countIn(28, 45), 5);    // vortex
    EXPECT_GE(countIn(45, 75), 10);   // twister
    EXPECT_GE(countIn(101, 113), 1);  // the blob's one-time eye move
    for (int r : syncs) EXPECT_EQ(r % showdata::kRowsPerBeat, 0) << "sync off the beat at row " << r;

    // An independent player reads the file with the same tempo and length.
    openmpt_module* mod = openmpt_module_create_from_memory2(
        data_->music.data(), data_->music.size(), nullptr, nullptr, nullptr, nullptr, nullptr,
        nullptr, nullptr);
    ASSERT_NE(mod, nullptr);
    EXPECT_NEAR(openmpt_module_get_duration_seconds(mod), showdata::MusicTotalRows() * showdata::kRowSeconds, 0.5);
    // Audible where the show is busy, quiet in the intro, and never clipping.
    auto level = [&](double at, float* peak) {
        openmpt_module_set_position_seconds(mod, at);
        std::vector<float> buf(44100);
        size_t n = openmpt_module_read_float_mono(mod, 44100, buf.size(), buf.data());
        double sum = 0;
        *peak = 0;
        for (size_t i = 0; i < n; ++i) {
            sum += buf[i] * buf[i];
            *peak = std::max(*peak, std::fabs(buf[i]));
        }
        return n ? std::sqrt(sum / n) : 0.0;
    };
    float peak = 0;
    double intro = level(1, &peak);
    double twister = level(50, &peak);
    EXPECT_LT(peak, 1.0f);
    EXPECT_GT(twister, 0.05);
    EXPECT_LT(intro, twister);
    openmpt_module_destroy(mod);
}

TEST_F(ShowData, EveryRunMakesTheSameBytes) {
    showdata::ShowData again;
    std::string error;
    ASSERT_TRUE(showdata::BuildShowData({}, &again, &error)) << error;
    EXPECT_TRUE(again.archive == data_->archive);
    EXPECT_TRUE(again.music == data_->music);
    // And the build step wrote the same as well.
    std::ifstream built(std::string(KAVLO_BINARY_DIR) + "/show/megadata.rar", std::ios::binary);
    if (built) {
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(built)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(bytes == data_->archive) << "the build's show/megadata.rar differs";
    }
}

}  // namespace
