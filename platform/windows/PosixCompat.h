// The few POSIX calls the tests and tools use that Windows' C library lacks or spells
// differently; every C++ file of the Windows build sees this first (-include).
#pragma once

#ifdef __cplusplus
#include <cstdlib>
#include <string>

#include <direct.h>
#include <io.h>

inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

namespace platform {
namespace windows {
int MakeDirectory(const char* utf8);
}  // namespace windows
}  // namespace platform

// Windows folders have no mode bits; the name is UTF-8, as every file name here.
inline int mkdir(const char* path, int /*mode*/) { return platform::windows::MakeDirectory(path); }
#endif
