// Textures loaded by name from a "megadata.rar" written into the test's working
// directory: the path the demo itself takes, archive buffer hand-over included.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <malloc.h>

#include <cstdlib>

#include "GLTestContext.h"
#include "RarWriter.h"
#include "TestPictures.h"
#include "TextureImageJPEG.h"
#include "TextureImageTGA.h"
#include "ijl/jpeg.h"

using testpictures::Bytes;
using testpictures::EncodeJpeg;
using testpictures::MakeTga;
using testpictures::RepeatPixel;
using testpictures::Rgb;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KAVLO_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KAVLO_TEST_ASAN 1
#endif
#ifdef KAVLO_TEST_ASAN
// The sanitizer runtime's heap statistics (its public interface; GCC ships no header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Bytes the C heap has handed out and not taken back (ASan's own count in the
// sanitizer build, where mallinfo says nothing).
size_t HeapBytesInUse() {
#ifdef KAVLO_TEST_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Noise does not compress, so each JPEG fetched from the archive is a sizeable buffer.
Rgb Noise(int x, int y) {
    const unsigned v = static_cast<unsigned>(x * 7919 + y * 104729) * 2654435761u;
    return Rgb{static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
               static_cast<unsigned char>(v >> 8)};
}

class ArchiveTextures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        rarpack::RarWriter writer;
        const auto add = [&](const char* name, const Bytes& bytes, int method) {
            rarpack::EntryOptions options;
            options.method = method;
            writer.Add(name, bytes.data(), bytes.size(), options);
        };
        const auto colour = [](int x, int y) {
            return Rgb{static_cast<unsigned char>(x * 4), static_cast<unsigned char>(y * 4), 60};
        };
        add("data/square.jpg", EncodeJpeg(32, 32, 3, colour), 0);
        add("data/wide.jpg", EncodeJpeg(64, 32, 3, colour), 3);
        add("data/noise-wide.jpg", EncodeJpeg(128, 64, 3, Noise), 0);
        Bytes noisePixels;
        for (int i = 0; i < 64 * 64 * 3 - 1; ++i) noisePixels.push_back(Noise(i, 0).r);
        add("data/noise-short.tga", MakeTga(2, 0, 64, 64, 24, noisePixels), 0);
        add("data/alpha.tga", MakeTga(2, 0, 16, 16, 32, RepeatPixel(16, 16, {10, 20, 30, 40})), 3);
        Bytes shortTga = MakeTga(2, 0, 16, 16, 24, RepeatPixel(16, 16, {1, 2, 3}));
        shortTga.pop_back();
        add("data/short.tga", shortTga, 0);
        std::string error;
        written = writer.WriteFile("megadata.rar", &error);
        if (!written) message = error;
    }

    void SetUp() override {
        ASSERT_TRUE(written) << message;
        ASSERT_TRUE(testsupport::SharedGL().Ok()) << testsupport::SharedGL().Error();
    }

    static GLint LevelWidth(Texture& t) {
        GLint w = -1;
        t.Bind();
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        t.Unbind();
        return w;
    }

    static bool written;
    static std::string message;
};

bool ArchiveTextures::written = false;
std::string ArchiveTextures::message;

// Each load frees the archive's buffer once read; the sanitizer run's leak check
// would report any that stayed.
TEST_F(ArchiveTextures, JpegByName) {
    TextureImageJPEG square("data/square.jpg");
    EXPECT_EQ(LevelWidth(square), 32);
    TextureImageJPEG again("data/square.jpg");
    EXPECT_NE(again.id, square.id);
    EXPECT_EQ(LevelWidth(again), 32);
    TextureImageJPEG wide("data/wide.jpg");
    EXPECT_EQ(LevelWidth(wide), 0);
    TextureImageJPEG missing("data/missing.jpg");
    EXPECT_EQ(LevelWidth(missing), 0);
    EXPECT_EQ(jpegDecodedPixels, nullptr);
}

TEST_F(ArchiveTextures, TgaByName) {
    TextureImageTGA alpha("data/alpha.tga");
    EXPECT_EQ(LevelWidth(alpha), 16);
    EXPECT_EQ(alpha.format, static_cast<GLenum>(GL_RGBA));
    TextureImageTGA cut("data/short.tga");
    EXPECT_EQ(LevelWidth(cut), 0);
    TextureImageTGA missing("data/missing.tga");
    EXPECT_EQ(LevelWidth(missing), 0);

    TgaStream* stream = TgaOpen("data/alpha.tga");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->size, 18 + 16 * 16 * 4);
    EXPECT_EQ(stream->position, 0);
    EXPECT_TRUE(stream->ownsData);
    TgaClose(stream);
}

// The archive's buffers are handed over with ownership: loads that leave the texture
// empty (so the driver keeps no image) must give the heap back what they took.
TEST_F(ArchiveTextures, ArchiveBuffersAreReleased) {
    const auto loadBoth = [] {
        TextureImageJPEG wide("data/noise-wide.jpg");
        TextureImageTGA cut("data/noise-short.tga");
        EXPECT_EQ(LevelWidth(wide), 0);
        EXPECT_EQ(LevelWidth(cut), 0);
    };
    // Every GL name costs the driver some memory, and names are never deleted: measure
    // that for the same number of bare textures first.
    const auto bareNames = [] {
        Texture a;
        Texture b;
    };
    loadBoth();
    bareNames();
    size_t start = HeapBytesInUse();
    for (int i = 0; i < 40; ++i) bareNames();
    const size_t namesOnly = HeapBytesInUse() - start;
    start = HeapBytesInUse();
    for (int i = 0; i < 40; ++i) loadBoth();
    const size_t loads = HeapBytesInUse() - start;
    // One kept buffer per load would add 40 x (20 KB or more).
    EXPECT_LT(loads, namesOnly + 256 * 1024) << "names " << namesOnly << ", loads " << loads;
}

}  // namespace
