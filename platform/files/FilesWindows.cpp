// Files and folders on Windows: UTF-8 names through the wide API.
#include "platform/files/Files.h"
#include "platform/windows/Windows.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace platform {

using windows::Narrow;
using windows::Widen;

bool IsFolder(const std::string& path) { return windows::IsDirectory(path.c_str()); }

bool MakeFolder(const std::string& path) { return windows::MakeDirectory(path.c_str()) == 0; }

bool MakeFolders(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/' && path[at] != '\\') continue;
        const std::string part = path.substr(0, at);
        if (part.back() == ':') continue;  // a drive
        if (!MakeFolder(part) && errno != EEXIST) return false;
    }
    return IsFolder(path);
}

bool ModifiedTime(const std::string& path, std::time_t* time) {
    std::wstring wide;
    struct _stat64 info;
    if (!Widen(path.c_str(), &wide) || _wstat64(wide.c_str(), &info) != 0) return false;
    *time = static_cast<std::time_t>(info.st_mtime);
    return true;
}

std::FILE* CreateNewFile(const std::string& path) {
    std::wstring wide;
    if (!Widen(path.c_str(), &wide)) {
        errno = EINVAL;
        return nullptr;
    }
    // _O_EXCL is CreateFile's CREATE_NEW.
    const int fd = _wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) _close(fd);
    return file;
}

std::string RealPath(const std::string& path) {
    std::wstring wide;
    if (!Widen(path.c_str(), &wide)) return std::string();
    const HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, &resolved[0], MAX_PATH, 0);
    if (length >= MAX_PATH) {
        resolved.assign(length, L'\0');
        length = GetFinalPathNameByHandleW(file, &resolved[0], length, 0);
    }
    CloseHandle(file);
    if (length == 0 || length >= resolved.size()) return std::string();
    resolved.resize(length);
    // The \\?\ prefix of the answer is no part of the name a user knows.
    if (resolved.compare(0, 4, L"\\\\?\\") == 0) resolved.erase(0, 4);
    std::string result;
    return Narrow(resolved.c_str(), &result) ? result : std::string();
}

std::string UserStateFolder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    std::string result;
    return local && *local && Narrow(local, &result) ? result : std::string();
}

bool InstalledDataIsShared() { return false; }

}  // namespace platform
