// The pictures folder by the XDG base-directory and user-dirs rules.
#include "PicturesFolder.h"

#include <cstdlib>
#include <fstream>

namespace platform {
namespace {

std::string Home() {
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? home : std::string();
}

// XDG_PICTURES_DIR="$HOME/Pictures" or ="/absolute/path" in user-dirs.dirs; empty when
// the file has no such line (or one of another form, which the rules do not allow).
std::string FromUserDirs(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = config && config[0] == '/' ? config : home + "/.config";
    if (base.empty() || base[0] != '/') return std::string();
    std::ifstream in(base + "/user-dirs.dirs");
    std::string folder;
    for (std::string line; std::getline(in, line);) {
        const std::string key = "XDG_PICTURES_DIR=\"";
        if (line.compare(0, key.size(), key) != 0) continue;
        const size_t end = line.find('"', key.size());
        if (end == std::string::npos) continue;
        const std::string value = line.substr(key.size(), end - key.size());
        if (value.compare(0, 5, "$HOME") == 0 && !home.empty())
            folder = home + value.substr(5);
        else if (!value.empty() && value[0] == '/')
            folder = value;
    }
    return folder;
}

}  // namespace

std::string PicturesFolder() {
    const char* env = std::getenv("XDG_PICTURES_DIR");
    if (env && env[0] == '/') return env;
    const std::string home = Home();
    const std::string listed = FromUserDirs(home);
    if (!listed.empty()) return listed;
    return home.empty() ? std::string() : home + "/Pictures";
}

}  // namespace platform
