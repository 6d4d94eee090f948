// Saving the show's picture as a PNG file in the user's pictures folder
// (platform::PicturesFolder); in a browser there is none (app/web/Screenshot.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace app {

// The file name of a picture taken at show time `timeMs`: "kavlo-065.016s.png".
std::string ScreenshotName(uint32_t timeMs);

// Writes RGBA pixels whose first row is the bottom of the picture (OpenGL's order) as an
// RGB PNG file (the alpha channel is whatever blending left, not transparency).
bool WritePngBottomUp(const std::string& path, int width, int height, const uint8_t* rgba);

// The names a moment's pictures take: ScreenshotName, then "-2" ... "-999" before ".png".
constexpr int kPicturesOfOneMoment = 999;

// Writes the picture into `folder` (made if missing) under the first of its moment's
// names that nothing has yet (an earlier picture is never overwritten, a link never
// followed). The path on success, else empty with the reason in *error: when all the
// names are taken, or memory or the disk runs out (then no file is left).
std::string SaveScreenshot(const std::string& folder, uint32_t timeMs, int width, int height,
                           const uint8_t* rgba, std::string* error);

}  // namespace app
