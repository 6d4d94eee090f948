// Textures on a real GL context: upload parameters, the screen draws, and the JPEG and
// TGA textures made from bytes in memory (pictures are written as PNG for a look).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "GLTestContext.h"
#include "MemoryTracker.h"
#include "TestPictures.h"
#include "Texture.h"
#include "TextureImageJPEG.h"
#include "TextureImageTGA.h"
#include "ijl/jpeg.h"

using testpictures::Bytes;
using testpictures::EncodeJpeg;
using testpictures::MakeTga;
using testpictures::RepeatPixel;
using testpictures::Rgb;
using testsupport::PixelAt;

namespace {

class TextureGL : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::OffscreenGL& gl = testsupport::SharedGL();
        ASSERT_TRUE(gl.Ok()) << gl.Error();
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_LIGHTING);
        glColor4f(1, 1, 1, 1);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    static GLint LevelWidth(Texture& t) {
        GLint w = -1;
        t.Bind();
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        t.Unbind();
        return w;
    }

    // The level-0 image as RGBA bytes, first texture row first.
    static std::vector<unsigned char> Image(Texture& t, int size) {
        std::vector<unsigned char> out(static_cast<size_t>(size) * size * 4);
        t.Bind();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        t.Unbind();
        return out;
    }

    static GLint BoundTexture() {
        GLint bound = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        return bound;
    }
};

// 4 x 4 texels of distinct colours, none black.
std::vector<unsigned char> Checker4x4() {
    std::vector<unsigned char> p;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            p.push_back(static_cast<unsigned char>(40 + x * 60));
            p.push_back(static_cast<unsigned char>(40 + y * 60));
            p.push_back(static_cast<unsigned char>(x == y ? 250 : 30));
            p.push_back(255);
        }
    return p;
}

uint32_t Rgba(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

TEST_F(TextureGL, UploadUsesRepeatLinearModulateAndUnbinds) {
    Texture t;
    EXPECT_NE(t.id, 0u);
    const std::vector<unsigned char> pixels = Checker4x4();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    t.UploadRGBA(pixels.data(), 4, 4);
    EXPECT_EQ(BoundTexture(), 0);
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 1);

    t.Bind();
    GLint v = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &v);
    EXPECT_EQ(v, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &v);
    EXPECT_EQ(v, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &v);
    EXPECT_EQ(v, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
    EXPECT_EQ(v, GL_LINEAR);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &v);
    EXPECT_EQ(v, GL_RGBA);
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_MODULATE);
    t.Unbind();
    EXPECT_EQ(Image(t, 4), pixels);

    // RGB rows of 3 x 5 = 15 bytes are taken tightly packed.
    std::vector<unsigned char> rgb;
    for (int i = 0; i < 5 * 5; ++i) {
        rgb.push_back(static_cast<unsigned char>(i));
        rgb.push_back(static_cast<unsigned char>(100 + i));
        rgb.push_back(static_cast<unsigned char>(200 + i));
    }
    Texture t2;
    t2.UploadRGB(rgb.data(), 5, 5);
    t2.Bind();
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &v);
    EXPECT_EQ(v, GL_RGB);
    t2.Unbind();
    const std::vector<unsigned char> back = Image(t2, 5);
    EXPECT_EQ(Rgba(&back[4 * 7]), 0x076BCFFFu);  // texel 7: 7, 107, 207, opaque
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureGL, DrawScreenCoversTheViewportWithTheFirstRowOnTop) {
    Texture t;
    const std::vector<unsigned char> pixels = Checker4x4();
    t.UploadRGBA(pixels.data(), 4, 4);
    t.DrawScreen(800, 600, 0.0f);
    testsupport::OffscreenGL& gl = testsupport::SharedGL();
    const std::vector<uint8_t> frame = gl.ReadPixels();
    gl.WritePNG("draw_screen.png");

    // Every texel centre lands on the matching spot of the viewport: texel (x, y) at
    // screen ((x + 0.5) * 200, (y + 0.5) * 150), the first texture row at the top.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint32_t got = PixelAt(frame, 800, x * 200 + 100, y * 150 + 75);
            const uint32_t want = Rgba(&pixels[(y * 4 + x) * 4]);
            for (int shift = 8; shift < 32; shift += 8)
                EXPECT_NEAR(int(got >> shift & 0xff), int(want >> shift & 0xff), 3)
                    << "texel " << x << "," << y;
        }
    // The corners are covered too: the quad reaches every edge.
    for (int x : {0, 799})
        for (int y : {0, 599}) EXPECT_NE(PixelAt(frame, 800, x, y) & 0xffffff00u, 0u);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLfloat modelView[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(modelView[i], i % 5 == 0 ? 1.0f : 0.0f);
    EXPECT_EQ(BoundTexture(), 0);
}

TEST_F(TextureGL, DrawAtPlacesTheUnitQuad) {
    Texture t;
    const std::vector<unsigned char> white = RepeatPixel(2, 2, {255, 255, 255, 255});
    t.UploadRGBA(white.data(), 2, 2);
    // At distance 2 the unit quad spans the middle half of the viewport.
    t.DrawAt(0.0f, 0.0f, -2.0f, 800, 600);
    testsupport::OffscreenGL& gl = testsupport::SharedGL();
    const std::vector<uint8_t> frame = gl.ReadPixels();
    gl.WritePNG("draw_at.png");
    EXPECT_EQ(PixelAt(frame, 800, 400, 300), 0xffffffffu);
    EXPECT_EQ(PixelAt(frame, 800, 210, 160), 0xffffffffu);
    EXPECT_EQ(PixelAt(frame, 800, 190, 300) & 0xffffff00u, 0u);
    EXPECT_EQ(PixelAt(frame, 800, 400, 140) & 0xffffff00u, 0u);
    EXPECT_EQ(PixelAt(frame, 800, 610, 300) & 0xffffff00u, 0u);
}

TEST_F(TextureGL, DrawScreenBlendedAddsScaledByAlpha) {
    Texture t;
    const std::vector<unsigned char> white = RepeatPixel(2, 2, {255, 255, 255, 255});
    t.UploadRGBA(white.data(), 2, 2);
    glClearColor(0.2f, 0.2f, 0.2f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    t.DrawScreenBlended(800, 600, 0.0f, 0.5f);
    testsupport::OffscreenGL& gl = testsupport::SharedGL();
    const std::vector<uint8_t> frame = gl.ReadPixels();
    gl.WritePNG("draw_screen_blended.png");
    // 0.2 + 0.5 x 1.0 of the white texel.
    const uint32_t middle = PixelAt(frame, 800, 400, 300);
    EXPECT_NEAR(int(middle >> 24), 179, 2);
    EXPECT_NEAR(int(middle >> 8 & 0xff), 179, 2);

    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 1.0f);
    EXPECT_FLOAT_EQ(colour[1], 1.0f);
    EXPECT_FLOAT_EQ(colour[2], 1.0f);
    EXPECT_FLOAT_EQ(colour[3], 0.5f);
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE);
}

TEST_F(TextureGL, DegenerateViewportsDoNotCrash) {
    Texture t;
    t.DrawScreen(600, 800, 0.0f);  // integer aspect 0
    t.DrawScreen(800, 0, 0.0f);    // no division by zero
    t.DrawAt(0, 0, -1, 0, 0);
    glViewport(0, 0, 800, 600);
    SUCCEED();
}

TEST_F(TextureGL, DeletedTexturesKeepTheirNames) {
    Texture* first = KAVLO_NEW(Texture);
    const GLuint id = first->id;
    const std::vector<unsigned char> white = RepeatPixel(2, 2, {255, 255, 255, 255});
    first->UploadRGBA(white.data(), 2, 2);
    KAVLO_DELETE(first);
    EXPECT_TRUE(glIsTexture(id));
    Texture second;
    EXPECT_NE(second.id, id);
}

// A JPEG texture from memory: the texture stays empty unless square and colour.
Bytes ColourJpeg(int width, int height) {
    return EncodeJpeg(width, height, 3, [height](int, int y) {
        return y < height / 2 ? Rgb{250, 10, 10} : Rgb{10, 10, 250};
    });
}

TEST_F(TextureGL, JpegTextureFromSquareColourPicture) {
    const Bytes file = ColourJpeg(64, 64);
    TextureImageJPEG a(file.data(), static_cast<int>(file.size()));
    TextureImageJPEG b(file.data(), static_cast<int>(file.size()));
    EXPECT_NE(a.id, b.id);
    ASSERT_EQ(LevelWidth(a), 64);
    EXPECT_EQ(Image(a, 64), Image(b, 64));
    const std::vector<unsigned char> image = Image(a, 64);
    EXPECT_GT(image[0], 240);    // first row: red
    EXPECT_GT(image[63 * 64 * 4 + 2], 240);  // last row: blue
    EXPECT_EQ(jpegDecodedPixels, nullptr);
    a.DrawScreen(800, 600, 0.0f);
    testsupport::SharedGL().WritePNG("jpeg_texture.png");
}

TEST_F(TextureGL, JpegTexturesThatStayEmpty) {
    const Bytes wide = ColourJpeg(256, 128);
    TextureImageJPEG notSquare(wide.data(), static_cast<int>(wide.size()));
    EXPECT_EQ(LevelWidth(notSquare), 0);
    EXPECT_EQ(jpegDecodedPixels, nullptr);

    const Bytes grey = EncodeJpeg(256, 256, 1, [](int x, int) {
        return Rgb{static_cast<unsigned char>(x), 0, 0};
    });
    TextureImageJPEG greyScale(grey.data(), static_cast<int>(grey.size()));
    EXPECT_EQ(LevelWidth(greyScale), 0);
    EXPECT_EQ(jpegDecodedPixels, nullptr);

    const Bytes square = ColourJpeg(64, 64);
    const Bytes truncated(square.begin(), square.begin() + static_cast<long>(square.size() / 2));
    TextureImageJPEG damaged(truncated.data(), static_cast<int>(truncated.size()));
    EXPECT_EQ(LevelWidth(damaged), 0);

    TextureImageJPEG missing("data/no-such-picture.jpg");
    EXPECT_EQ(LevelWidth(missing), 0);
    EXPECT_EQ(jpegDecodedPixels, nullptr);
}

TEST_F(TextureGL, TgaSwapsBgraToRgba) {
    const Bytes file = MakeTga(2, 0, 64, 64, 32, RepeatPixel(64, 64, {10, 20, 30, 40}));
    TextureImageTGA t(file.data(), static_cast<int>(file.size()));
    EXPECT_EQ(t.format, static_cast<GLenum>(GL_RGBA));
    ASSERT_EQ(LevelWidth(t), 64);
    const std::vector<unsigned char> image = Image(t, 64);
    EXPECT_EQ(Rgba(&image[0]), 0x1e140a28u);  // 30, 20, 10, 40
    EXPECT_EQ(Rgba(&image[image.size() - 4]), 0x1e140a28u);
}

TEST_F(TextureGL, TgaSwapsBgrToRgbAndKeepsStoredRowOrder) {
    // First stored row blue-green-red bytes 1, 2, 3; the rest 7, 8, 9. The origin bits
    // are not consulted: the first stored row is texture row 0.
    Bytes pixels = RepeatPixel(8, 1, {1, 2, 3});
    const Bytes rest = RepeatPixel(8, 7, {7, 8, 9});
    pixels.insert(pixels.end(), rest.begin(), rest.end());
    for (int type : {2, 3}) {
        const Bytes file = MakeTga(type, 0, 8, 8, 24, pixels);
        TextureImageTGA t(file.data(), static_cast<int>(file.size()));
        EXPECT_EQ(t.format, static_cast<GLenum>(GL_RGB));
        ASSERT_EQ(LevelWidth(t), 8);
        const std::vector<unsigned char> image = Image(t, 8);
        EXPECT_EQ(Rgba(&image[0]), 0x030201ffu);
        EXPECT_EQ(Rgba(&image[8 * 4]), 0x090807ffu);
    }
}

TEST_F(TextureGL, TgaIdFieldShiftsThePixels) {
    // The pixel data is always taken from byte 18, so the 5 ID bytes (A0..A4) become
    // the start of the first pixels; the file is still long enough, so no error.
    const Bytes file = MakeTga(2, 0, 4, 4, 24, RepeatPixel(4, 4, {1, 2, 3}), 5);
    TextureImageTGA t(file.data(), static_cast<int>(file.size()));
    ASSERT_EQ(LevelWidth(t), 4);
    const std::vector<unsigned char> image = Image(t, 4);
    EXPECT_EQ(Rgba(&image[0]), 0xa2a1a0ffu);
    EXPECT_EQ(Rgba(&image[4]), 0x01a4a3ffu);
}

TEST_F(TextureGL, RejectedTgaFilesLeaveTheTextureEmpty) {
    const Bytes full = RepeatPixel(16, 16, {1, 2, 3});
    Bytes oneShort = MakeTga(2, 0, 16, 16, 24, full);
    oneShort.pop_back();
    const std::vector<Bytes> files = {
        oneShort,
        MakeTga(10, 0, 16, 16, 24, full),            // run-length
        MakeTga(2, 1, 16, 16, 24, full),             // colour-mapped
        MakeTga(2, 0, 16, 8, 24, full),              // not square
        MakeTga(2, 0, 16, 16, 16, full),             // 16 bits per pixel
        MakeTga(2, 0, 0, 0, 24, {}),                 // no pixels
        MakeTga(2, 0, 65535, 65535, 32, full),       // claims 16 GiB
        Bytes(full.begin(), full.begin() + 10),      // shorter than a header
    };
    for (size_t i = 0; i < files.size(); ++i) {
        TextureImageTGA t(files[i].data(), static_cast<int>(files[i].size()));
        EXPECT_EQ(LevelWidth(t), 0) << "file " << i;
        EXPECT_EQ(t.format, 0u) << "file " << i;
    }
    TextureImageTGA missing("data/no-such-picture.tga");
    EXPECT_EQ(LevelWidth(missing), 0);
}

TEST_F(TextureGL, ReadPixelsDispatchesOnDepth) {
    const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TextureImageTGA t(nullptr, 0);
    TgaStream* s = TgaOpenMemory(bytes, 8);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(t.ReadPixels(s, 1, 16), nullptr);
    EXPECT_EQ(t.ReadPixels(s, 3, 32), nullptr);  // 12 bytes asked, 8 there
    EXPECT_EQ(s->position, 0);
    unsigned char* p = t.ReadPixels(s, 2, 32);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 3);
    EXPECT_EQ(p[2], 1);
    EXPECT_EQ(p[4], 7);
    EXPECT_EQ(p[7], 8);
    EXPECT_EQ(t.format, static_cast<GLenum>(GL_RGBA));
    KAVLO_FREE(p);
    TgaClose(s);
}

TEST_F(TextureGL, LoadsLeaveNothingTrackedBehind) {
    const Bytes jpeg = ColourJpeg(32, 32);
    const Bytes tga = MakeTga(2, 0, 32, 32, 32, RepeatPixel(32, 32, {1, 2, 3, 4}));
    const auto loadAll = [&] {
        Texture* a = KAVLO_NEW(TextureImageJPEG, jpeg.data(), static_cast<int>(jpeg.size()));
        Texture* b = KAVLO_NEW(TextureImageTGA, tga.data(), static_cast<int>(tga.size()));
        Texture* c = KAVLO_NEW(TextureImageJPEG, "data/no-such-picture.jpg");
        Texture* d = KAVLO_NEW(TextureImageTGA, "data/no-such-picture.tga");
        KAVLO_DELETE(a);
        KAVLO_DELETE(b);
        KAVLO_DELETE(c);
        KAVLO_DELETE(d);
    };
    loadAll();  // the driver's first-use allocations are not ours
    const unsigned before = MemoryTracker::LiveUnitCount();
    loadAll();
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
}

}  // namespace
