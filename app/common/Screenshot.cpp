// The picture as a PNG file, named by its show time, in a folder made on the way.
#include "Screenshot.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace app {

std::string ScreenshotName(uint32_t timeMs) {
    char name[40];
    std::snprintf(name, sizeof name, "kavlo-%03u.%03us.png", timeMs / 1000, timeMs % 1000);
    return name;
}

bool WritePngBottomUp(const std::string& path, int width, int height, const uint8_t* rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = rgba + static_cast<size_t>(height - 1 - y) * width * 4;
        uint8_t* dst = &rgb[static_cast<size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

std::string SaveScreenshot(const std::string& folder, uint32_t timeMs, int width, int height,
                           const uint8_t* rgba, std::string* error) {
    namespace fs = std::filesystem;
    if (folder.empty()) {
        *error = "no folder for pictures can be named (no HOME)";
        return std::string();
    }
    const fs::path dir = fs::u8path(folder);
    std::error_code code;
    fs::create_directories(dir, code);
    if (code || !fs::is_directory(dir, code)) {
        *error = "cannot make " + folder + (code ? ": " + code.message() : std::string());
        return std::string();
    }
    const std::string name = ScreenshotName(timeMs);
    const std::string stem = name.substr(0, name.size() - 4);
    fs::path path = dir / fs::u8path(name);
    // Two pictures of one moment (taken while paused) keep both.
    for (int n = 2; fs::exists(path, code) && n < 1000; ++n)
        path = dir / fs::u8path(stem + "-" + std::to_string(n) + ".png");
    const std::string written = path.u8string();
    if (!WritePngBottomUp(written, width, height, rgba)) {
        *error = "cannot write " + written;
        return std::string();
    }
    return written;
}

}  // namespace app
