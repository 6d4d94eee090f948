// The show's pictures: every JPEG and TGA the effects load, drawn in code for the role
// each plays (backgrounds, flares, sphere maps, text with alpha).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace showdata {

enum class PictureFormat { kJpeg, kTga };

struct Picture {
    std::string name;  // archive entry name, e.g. "data/flare.jpg"
    PictureFormat format = PictureFormat::kJpeg;
    int size = 0;      // width = height
    int channels = 3;  // 3 for JPEG, 4 for TGA
    std::vector<uint8_t> pixels;  // rows top first, R G B (A)
};

// The archive names of every picture, in the order MakePictures returns them.
const std::vector<std::string>& PictureNames();

// Draws every picture. False with a reason when a font cannot be loaded.
bool MakePictures(std::vector<Picture>* out, std::string* error);

// The file bytes of a picture: JPEG (quality 90) or 32-bit TGA.
bool EncodePicture(const Picture& picture, std::vector<uint8_t>* out, std::string* error);

}  // namespace showdata
