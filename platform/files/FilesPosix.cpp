// Files and folders on POSIX systems, where names are bytes and UTF-8 passes through.
#include "platform/files/Files.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool MakeFolders(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        if (mkdir(path.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return IsFolder(path);
}

bool ModifiedTime(const std::string& path, std::time_t* time) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    *time = info.st_mtime;
    return true;
}

std::FILE* CreateNewFile(const std::string& path) {
    // O_EXCL also refuses a symbolic link, dangling or not, rather than following it.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "wb");
    if (!file) close(fd);
    return file;
}

std::string RealPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return std::string();
    std::string result = resolved;
    std::free(resolved);
    return result;
}

std::string UserStateFolder() {
    // A relative XDG_STATE_HOME is not to be used, by the base-directory rules.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return state;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state";
    return std::string();
}

bool InstalledDataIsShared() { return true; }

}  // namespace platform
