// JPEG decoding over libjpeg-turbo: pixel layout, refusals and damaged data.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TestPictures.h"
#include "ijl/jpeg.h"

using testpictures::Bytes;
using testpictures::EncodeJpeg;
using testpictures::Rgb;

namespace {

// Top half red, bottom half blue, a green stripe down the left eighth.
Rgb Quadrants(int x, int y, int width, int height) {
    if (x < width / 8) return {0, 255, 0};
    return y < height / 2 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
}

void ExpectNear(const unsigned char* p, int r, int g, int b) {
    EXPECT_NEAR(p[0], r, 6);
    EXPECT_NEAR(p[1], g, 6);
    EXPECT_NEAR(p[2], b, 6);
}

unsigned char* Decode(const Bytes& file, int* w, int* h, int* c) {
    return JpegDecode(w, h, c, file.data(), static_cast<int>(file.size()));
}

TEST(JpegDecode, TopDownRgbRowsWithoutPadding) {
    for (bool progressive : {false, true}) {
        // 50 pixels wide: 150-byte rows, which a 4-byte aligned layout would pad.
        const Bytes file = EncodeJpeg(
            50, 40, 3, [](int x, int y) { return Quadrants(x, y, 50, 40); }, progressive);
        int w = 0, h = 0, c = 0;
        const unsigned char* p = Decode(file, &w, &h, &c);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, jpegDecodedPixels);
        EXPECT_EQ(w, 50);
        EXPECT_EQ(h, 40);
        EXPECT_EQ(c, 3);
        const auto at = [&](int x, int y) { return p + (y * 50 + x) * 3; };
        ExpectNear(at(30, 5), 255, 0, 0);
        ExpectNear(at(30, 35), 0, 0, 255);
        ExpectNear(at(1, 20), 0, 255, 0);
        ExpectNear(at(49, 39), 0, 0, 255);
        JpegRelease();
        EXPECT_EQ(jpegDecodedPixels, nullptr);
    }
}

TEST(JpegDecode, GreyPicturesKeepOneChannel) {
    const Bytes file = EncodeJpeg(16, 16, 1, [](int x, int) {
        return Rgb{static_cast<unsigned char>(x < 8 ? 40 : 200), 0, 0};
    });
    int w = 0, h = 0, c = 0;
    const unsigned char* p = Decode(file, &w, &h, &c);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(c, 1);
    EXPECT_NEAR(p[2], 40, 4);
    EXPECT_NEAR(p[16 * 9 + 13], 200, 4);
    JpegRelease();
}

TEST(JpegDecode, FourChannelPicturesAreHandedOutUnconverted) {
    const Bytes file = EncodeJpeg(8, 8, 4, [](int, int) { return Rgb{200, 100, 50}; });
    int w = 0, h = 0, c = 0;
    const unsigned char* p = Decode(file, &w, &h, &c);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(c, 4);
    EXPECT_NEAR(p[0], 200, 6);
    EXPECT_NEAR(p[8 * 8 * 4 - 1], 0, 6);
    JpegRelease();
}

TEST(JpegDecode, DamagedDataGivesNullAndNoBuffer) {
    const Bytes good = EncodeJpeg(64, 64, 3, [](int x, int y) {
        return Rgb{static_cast<unsigned char>(x * 4), static_cast<unsigned char>(y * 4), 90};
    });
    int w, h, c;
    EXPECT_EQ(JpegDecode(&w, &h, &c, nullptr, 100), nullptr);
    EXPECT_EQ(JpegDecode(&w, &h, &c, good.data(), 0), nullptr);
    EXPECT_EQ(JpegDecode(&w, &h, &c, good.data(), -3), nullptr);

    const Bytes garbage(500, 0x5a);
    EXPECT_EQ(Decode(garbage, &w, &h, &c), nullptr);

    // Cut anywhere: in the header, or in the entropy-coded data, where libjpeg on its
    // own would only warn and pad the picture with grey.
    for (size_t cut : {size_t(2), size_t(20), size_t(200), good.size() / 2, good.size() - 3}) {
        const Bytes truncated(good.begin(), good.begin() + static_cast<long>(cut));
        EXPECT_EQ(Decode(truncated, &w, &h, &c), nullptr) << "cut at " << cut;
        EXPECT_EQ(jpegDecodedPixels, nullptr);
    }

    Bytes scribbled = good;
    for (size_t i = good.size() / 3; i < good.size() / 3 + 40; ++i) scribbled[i] = 0xff;
    EXPECT_EQ(Decode(scribbled, &w, &h, &c), nullptr);
    EXPECT_EQ(jpegDecodedPixels, nullptr);
}

// Finds the baseline frame header and rewrites its dimensions.
Bytes WithDimensions(Bytes file, int width, int height) {
    for (size_t i = 0; i + 8 < file.size(); ++i) {
        if (file[i] == 0xff && file[i + 1] == 0xc0) {
            file[i + 5] = static_cast<unsigned char>(height >> 8);
            file[i + 6] = static_cast<unsigned char>(height);
            file[i + 7] = static_cast<unsigned char>(width >> 8);
            file[i + 8] = static_cast<unsigned char>(width);
            return file;
        }
    }
    ADD_FAILURE() << "no frame header";
    return file;
}

TEST(JpegDecode, TooLargeIsRefusedWithItsSize) {
    const Bytes small = EncodeJpeg(8, 8, 3, [](int, int) { return Rgb{1, 2, 3}; });
    int w = 0, h = 0, c = 0;
    // 65000 x 65000 x 3 does not even fit an int; it must not be allocated or decoded.
    EXPECT_EQ(Decode(WithDimensions(small, 65000, 65000), &w, &h, &c), nullptr);
    EXPECT_EQ(w, 65000);
    EXPECT_EQ(h, 65000);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(jpegDecodedPixels, nullptr);
    // Just over the limit is refused; a stated size within it still fails on the
    // missing data rather than reading past the input.
    EXPECT_EQ(Decode(WithDimensions(small, 4730, 4730), &w, &h, &c), nullptr);
    EXPECT_EQ(Decode(WithDimensions(small, 2000, 2000), &w, &h, &c), nullptr);
    EXPECT_EQ(jpegDecodedPixels, nullptr);
}

TEST(JpegDecode, NextDecodeReplacesTheLastPicture) {
    const Bytes a = EncodeJpeg(8, 8, 3, [](int, int) { return Rgb{250, 0, 0}; });
    const Bytes b = EncodeJpeg(8, 8, 3, [](int, int) { return Rgb{0, 250, 0}; });
    int w, h, c;
    ASSERT_NE(Decode(a, &w, &h, &c), nullptr);
    const unsigned char* p = Decode(b, &w, &h, &c);
    ASSERT_NE(p, nullptr);
    ExpectNear(p, 0, 250, 0);
    JpegRelease();
    JpegRelease();  // twice is harmless
    EXPECT_EQ(jpegDecodedPixels, nullptr);
}

}  // namespace
