// Pictures made at test time: JPEG files through libjpeg and TGA files by hand.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace testpictures {

using Bytes = std::vector<unsigned char>;

// Colour of pixel (x, y), y counted from the first stored row; grey pictures use r.
struct Rgb {
    unsigned char r, g, b;
};
using Pattern = std::function<Rgb(int x, int y)>;

// A baseline (or progressive) JPEG of `components` 1 (grey), 3 (colour) or 4 (CMYK,
// the fourth channel 0), quality 100
// with no chroma subsampling, so that flat areas decode to within a few levels.
Bytes EncodeJpeg(int width, int height, int components, const Pattern& pattern,
                 bool progressive = false);

// An uncompressed TGA: 18-byte header (with `idLength` bytes of ID field after it),
// then `pixelBytes` as given. The header's width and height are written separately.
Bytes MakeTga(int imageType, int colourMapType, int width, int height, int bitsPerPixel,
              const Bytes& pixelBytes, int idLength = 0);

// width x height pixels of bitsPerPixel / 8 bytes each, all set to `pixel`.
Bytes RepeatPixel(int width, int height, const Bytes& pixel);

}  // namespace testpictures
