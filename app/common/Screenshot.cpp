// The picture as a PNG file, named by its show time, in a folder made on the way.
#include "Screenshot.h"

#include "platform/files/Files.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

namespace app {

std::string ScreenshotName(uint32_t timeMs) {
    char name[40];
    std::snprintf(name, sizeof name, "kavlo-%03u.%03us.png", timeMs / 1000, timeMs % 1000);
    return name;
}

namespace {

// The picture as an RGB PNG into an open file; false with the reason in *error. The
// copy without alpha is the one large allocation: where it fails, no picture.
bool WritePng(std::FILE* file, int width, int height, const uint8_t* rgba, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    const size_t row = static_cast<size_t>(width) * 3;
    std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[row * height]);
    if (!rgb) {
        *error = "not enough memory for a " + std::to_string(width) + "x" + std::to_string(height) +
                 " picture";
        return false;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = rgba + static_cast<size_t>(height - 1 - y) * width * 4;
        uint8_t* dst = rgb.get() + static_cast<size_t>(y) * row;
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    if (!png_image_write_to_stdio(&image, file, 0, rgb.get(), 0, nullptr)) {
        *error = image.message[0] ? image.message : "the PNG writer failed";
        return false;
    }
    if (std::fflush(file) != 0 || std::ferror(file)) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

bool WritePngBottomUp(const std::string& path, int width, int height, const uint8_t* rgba) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::string error;
    const bool written = WritePng(file, width, height, rgba, &error);
    if (std::fclose(file) == 0 && written) return true;
    std::remove(path.c_str());  // no half picture left
    return false;
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
    // Two pictures of one moment (taken while paused) keep both. Each name is created
    // anew, so that no earlier picture is overwritten and no link is followed.
    for (int n = 1; n <= kPicturesOfOneMoment; ++n) {
        const std::string path =
            (dir / fs::u8path(n == 1 ? name : stem + "-" + std::to_string(n) + ".png")).u8string();
        std::FILE* file = platform::CreateNewFile(path);
        if (!file && errno == EEXIST) continue;
        if (!file) {
            *error = "cannot write " + path + ": " + std::strerror(errno);
            return std::string();
        }
        std::string why;
        const bool written = WritePng(file, width, height, rgba, &why);
        if (std::fclose(file) != 0 && written) why = std::strerror(errno);
        if (written && why.empty()) return path;
        std::remove(path.c_str());
        *error = "cannot write " + path + ": " + why;
        return std::string();
    }
    *error = "every name for a picture at this time is taken (" + name + " to " + stem + "-" +
             std::to_string(kPicturesOfOneMoment) + ".png)";
    return std::string();
}

}  // namespace app
