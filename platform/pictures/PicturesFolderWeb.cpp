// In a browser there is no pictures folder to write to: the browser's own screenshot
// serves, and the show keeps F12 away from the page.
#include "PicturesFolder.h"

namespace platform {

std::string PicturesFolder() { return std::string(); }

}  // namespace platform
