// The TGA read cursor and header checks, without a GL context.
#include <gtest/gtest.h>

#include "TestPictures.h"
#include "TextureImageTGA.h"

using testpictures::Bytes;
using testpictures::MakeTga;

namespace {

struct StreamCloser {
    TgaStream* s;
    ~StreamCloser() { TgaClose(s); }
};

TEST(TgaStream, ReadClampsToTheEndOfTheFile) {
    const unsigned char bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    TgaStream* s = TgaOpenMemory(bytes, 10);
    ASSERT_NE(s, nullptr);
    StreamCloser closer{s};
    unsigned char out[16] = {};
    EXPECT_EQ(TgaRead(out, 4, s), 4);
    EXPECT_EQ(s->position, 4);
    EXPECT_EQ(TgaRead(out, 100, s), 6);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[5], 9);
    EXPECT_EQ(s->position, 10);
    EXPECT_EQ(TgaRead(out, 1, s), 0);
    // A negative length or one that would overflow with the position copies nothing
    // from outside the buffer.
    TgaSeek(s, 2, 0);
    EXPECT_EQ(TgaRead(out, -5, s), 0);
    EXPECT_EQ(TgaRead(out, 0x7fffffff, s), 8);
    EXPECT_EQ(s->position, 10);
}

TEST(TgaStream, SeekModesAndClamping) {
    const unsigned char bytes[20] = {};
    TgaStream* s = TgaOpenMemory(bytes, 20);
    ASSERT_NE(s, nullptr);
    StreamCloser closer{s};
    TgaSeek(s, 12, 0);
    EXPECT_EQ(s->position, 12);
    TgaSeek(s, 3, 1);
    EXPECT_EQ(s->position, 15);
    TgaSeek(s, -4, 2);
    EXPECT_EQ(s->position, 16);
    TgaSeek(s, 7, 5);  // unknown mode: unchanged
    EXPECT_EQ(s->position, 16);
    TgaSeek(s, 10, 2);
    EXPECT_EQ(s->position, 20);
    TgaSeek(s, 100, 0);
    EXPECT_EQ(s->position, 20);
    TgaSeek(s, 0x7fffffff, 1);
    EXPECT_EQ(s->position, 20);
    // Before the start is clamped too, so a following read stays inside the buffer.
    TgaSeek(s, -30, 1);
    EXPECT_EQ(s->position, 0);
    TgaSeek(s, -1, 0);
    EXPECT_EQ(s->position, 0);
}

TEST(TgaStream, EmptyAndInvalidInputs) {
    EXPECT_EQ(TgaOpenMemory(nullptr, 5), nullptr);
    EXPECT_EQ(TgaOpenMemory(reinterpret_cast<const unsigned char*>("x"), -1), nullptr);
    TgaStream* empty = TgaOpenMemory(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    unsigned char out[4];
    EXPECT_EQ(TgaRead(out, 4, empty), 0);
    TgaHeader header;
    EXPECT_FALSE(TgaReadHeader(empty, &header));
    TgaClose(empty);
    TgaClose(nullptr);
}

TEST(TgaStream, MissingArchiveEntryGivesNoStream) {
    EXPECT_EQ(TgaOpen("data/no-such-picture.tga"), nullptr);
    EXPECT_EQ(TgaOpen(nullptr), nullptr);
}

TgaHeader HeaderOf(const Bytes& file, bool* ok) {
    TgaHeader header{};
    TgaStream* s = TgaOpenMemory(file.data(), static_cast<int>(file.size()));
    *ok = s && TgaReadHeader(s, &header);
    if (*ok) {
        EXPECT_EQ(s->position, 18);
    }
    TgaClose(s);
    return header;
}

TEST(TgaHeader, FieldsAndCursor) {
    bool ok = false;
    const TgaHeader h = HeaderOf(MakeTga(2, 0, 300, 300, 32, {}, 7), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(h.idLength, 7);
    EXPECT_EQ(h.imageType, 2);
    EXPECT_EQ(h.width, 300);
    EXPECT_EQ(h.height, 300);
    EXPECT_EQ(h.bitsPerPixel, 32);
    EXPECT_EQ(h.descriptor, 0x20);
    EXPECT_EQ(TgaRejectReason(h), nullptr);
    EXPECT_EQ(TgaPixelBytes(h), 300ll * 300 * 4);
}

TEST(TgaHeader, ShortFileHasNoHeader) {
    Bytes file = MakeTga(2, 0, 4, 4, 24, {});
    file.resize(17);
    bool ok = true;
    HeaderOf(file, &ok);
    EXPECT_FALSE(ok);
}

TEST(TgaHeader, RejectionsInOrder) {
    TgaHeader h{0, 0, 2, 64, 64, 24, 0};
    EXPECT_EQ(TgaRejectReason(h), nullptr);
    h.imageType = 3;  // black-and-white is accepted and read like true-colour
    EXPECT_EQ(TgaRejectReason(h), nullptr);
    h.bitsPerPixel = 16;
    EXPECT_STREQ(TgaRejectReason(h), "not 24 or 32 bits per pixel");
    h.height = 32;
    EXPECT_STREQ(TgaRejectReason(h), "not square");
    h.imageType = 10;  // run-length true-colour
    EXPECT_STREQ(TgaRejectReason(h), "not uncompressed true-colour or grey");
    h.colourMapType = 1;
    EXPECT_STREQ(TgaRejectReason(h), "colour-mapped");
    const TgaHeader empty{0, 0, 2, 0, 0, 24, 0};
    EXPECT_STREQ(TgaRejectReason(empty), "empty");
    // The largest header the format can state must not overflow the byte count.
    const TgaHeader huge{0, 0, 2, 65535, 65535, 32, 0};
    EXPECT_EQ(TgaPixelBytes(huge), 65535ll * 65535 * 4);
}

}  // namespace
