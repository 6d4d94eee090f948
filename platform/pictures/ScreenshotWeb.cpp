// In a browser there is no pictures folder to write to: the browser's own screenshot
// serves, and the show keeps F12 away from the page.
#include "Screenshot.h"

namespace platform {

std::string PicturesFolder() { return std::string(); }

std::string SaveScreenshot(const std::string&, uint32_t, int, int, const uint8_t*,
                           std::string* error) {
    *error = "a web page has no pictures folder";
    return std::string();
}

}  // namespace platform
