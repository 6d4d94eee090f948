// PSNR and the turn of a GL read-back into a PNG's layout, for the picture tests.
#include "Psnr.h"

#include <cmath>
#include <cstddef>

namespace testsupport {

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.empty() || a.size() != b.size()) return 0;
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        squares += d * d;
    }
    if (squares == 0) return INFINITY;
    return 10.0 * std::log10(255.0 * 255.0 * a.size() / squares);
}

std::vector<uint8_t> RgbTopDown(const std::vector<uint8_t>& rgba, int width, int height) {
    std::vector<uint8_t> rgb;
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<size_t>(width) * height * 4) return rgb;
    rgb.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) rgb.push_back(rgba[(static_cast<size_t>(y) * width + x) * 4 + c]);
    return rgb;
}

}  // namespace testsupport
