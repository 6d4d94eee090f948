// How close two pictures are, as the picture tests measure it.
#pragma once

#include <cstdint>
#include <vector>

namespace testsupport {

// Peak signal-to-noise ratio over every byte of two pictures of one layout, in dB:
// infinity for the same bytes, 0 when the sizes differ or there is nothing to compare
// (so that a picture that failed to load never passes a threshold).
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// A GL read-back (RGBA, bottom row first) in a PNG's layout (RGB, top row first);
// empty when its size is not width x height x 4.
std::vector<uint8_t> RgbTopDown(const std::vector<uint8_t>& rgba, int width, int height);

}  // namespace testsupport
