// The measure every picture test compares against: its edges and the read-back's flip.
#include "Psnr.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using testsupport::Psnr;
using Bytes = std::vector<uint8_t>;

TEST(Psnr, SameDifferentAndUnusable) {
    const Bytes grey(12, 100);
    EXPECT_TRUE(std::isinf(Psnr(grey, grey)));
    EXPECT_NEAR(Psnr(grey, Bytes(12, 101)), 10 * std::log10(255.0 * 255.0), 1e-9);  // 48.13 dB
    EXPECT_NEAR(Psnr(Bytes(4, 0), Bytes(4, 255)), 0.0, 1e-9);
    // Pictures that cannot be compared score nothing rather than a pass.
    EXPECT_EQ(Psnr(Bytes(), Bytes()), 0);
    EXPECT_EQ(Psnr(grey, Bytes(9, 100)), 0);
}

TEST(Psnr, ReadBackTurnsIntoThePngLayout) {
    // 1 x 2 RGBA, bottom row first: the top row is the second pixel.
    const Bytes rgba = {1, 2, 3, 255, 4, 5, 6, 255};
    EXPECT_EQ(testsupport::RgbTopDown(rgba, 1, 2), (Bytes{4, 5, 6, 1, 2, 3}));
    EXPECT_TRUE(testsupport::RgbTopDown(rgba, 2, 2).empty());
}

}  // namespace
