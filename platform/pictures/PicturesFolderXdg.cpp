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

// The folder of one XDG_PICTURES_DIR="$HOME/Path" or ="/Path" line, read as the shell
// that may source the file reads it: in double quotes, a backslash escapes $ ` " and
// itself; $HOME stands only at the start, before "/" or the closing quote. Empty for a
// line of any other form, which the file's rules do not allow and which is ignored.
std::string PicturesLine(const std::string& line, const std::string& home) {
    const std::string key = "XDG_PICTURES_DIR=\"";
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, key.size(), key) != 0) return std::string();
    at += key.size();
    std::string folder;
    if (line.compare(at, 5, "$HOME") == 0 && (line[at + 5] == '/' || line[at + 5] == '"')) {
        if (home.empty()) return std::string();
        folder = home;
        at += 5;
    } else if (line[at] != '/') {
        return std::string();
    }
    for (;; ++at) {
        if (at >= line.size()) return std::string();  // no closing quote
        const char c = line[at];
        if (c == '"') break;
        if (c == '$' || c == '`' || c == '\0') return std::string();  // expanded, or no name
        if (c == '\\') {
            if (at + 1 >= line.size()) return std::string();
            const char next = line[at + 1];
            if (next == '$' || next == '`' || next == '"' || next == '\\') ++at;
        }
        folder += line[at];
    }
    // Nothing after the quote but blanks and a comment.
    const size_t rest = line.find_first_not_of(" \t", at + 1);
    if (rest != std::string::npos && (line[rest] != '#' || rest == at + 1)) return std::string();
    return folder;
}

// The pictures folder that user-dirs.dirs names (its last good line), or empty.
std::string FromUserDirs(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = config && config[0] == '/' ? config : home + "/.config";
    if (base.empty() || base[0] != '/') return std::string();
    std::ifstream in(base + "/user-dirs.dirs");
    std::string folder;
    for (std::string line; std::getline(in, line);) {
        const std::string named = PicturesLine(line, home);
        if (!named.empty()) folder = named;
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
