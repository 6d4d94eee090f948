// Where the user keeps pictures: a file per system (PicturesFolderXdg.cpp,
// PicturesFolderWindows.cpp, PicturesFolderWeb.cpp).
#pragma once

#include <string>

namespace platform {

// The user's pictures folder: on Windows %USERPROFILE%\Pictures; elsewhere
// $XDG_PICTURES_DIR (an absolute path), else XDG_PICTURES_DIR in the user-dirs.dirs of
// $XDG_CONFIG_HOME or ~/.config, else ~/Pictures. Empty when none can be named.
std::string PicturesFolder();

}  // namespace platform
