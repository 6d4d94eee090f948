// A web page has no pictures folder to save the show's picture in (and takes no F12).
#include "app/common/Screenshot.h"

namespace app {

std::string SaveScreenshot(const std::string&, uint32_t, int, int, const uint8_t*,
                           std::string* error) {
    *error = "a web page has no pictures folder";
    return std::string();
}

}  // namespace app
