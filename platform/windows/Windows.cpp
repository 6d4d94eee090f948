// The Windows build's seams under the C library. The programs keep file names in UTF-8
// (SDL's entry point and Utf8Arguments hand them a UTF-8 command line); the C library's
// narrow calls would read those bytes in the ANSI code page. The build links every
// program with --wrap for the calls below, so the reader, the tracker and the tools
// open their files through the wide API without knowing it. Text that is not UTF-8
// goes to the narrow call unchanged.
#include "Windows.h"

#include <windows.h>
#include <shellapi.h>

#include <direct.h>
#include <io.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace windows {

bool Widen(const char* utf8, std::wstring* out) {
    if (!utf8) return false;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (n <= 0) return false;
    std::wstring text(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &text[0], n) != n) return false;
    text.resize(static_cast<size_t>(n - 1));
    *out = std::move(text);
    return true;
}

bool Narrow(const wchar_t* wide, std::string* out) {
    if (!wide) return false;
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    std::string text(static_cast<size_t>(n), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], n, nullptr, nullptr) != n) return false;
    text.resize(static_cast<size_t>(n - 1));
    *out = std::move(text);
    return true;
}

std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 0; i < count; ++i) {
        std::string arg;
        Narrow(wide[i], &arg);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
}

bool IsDirectory(const char* utf8) {
    std::wstring wide;
    const DWORD attributes = Widen(utf8, &wide) ? GetFileAttributesW(wide.c_str())
                                                : GetFileAttributesA(utf8);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int MakeDirectory(const char* utf8) {
    std::wstring wide;
    return Widen(utf8, &wide) ? _wmkdir(wide.c_str()) : _mkdir(utf8);
}

std::string QuoteArgument(const std::string& utf8) {
    if (!utf8.empty() && utf8.find_first_of(" \t\n\v\"") == std::string::npos) return utf8;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char ch : utf8) {
        if (ch == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are plain text unless a quote follows them.
        quoted.append(ch == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += ch;
        backslashes = 0;
    }
    // The closing quote follows the last ones.
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

}  // namespace windows
}  // namespace platform

namespace {

// A UTF-8 name in UTF-16, on the C heap: the tracker writes its logs under its own lock,
// and a conversion through operator new would come back to that lock.
class WideName {
public:
    explicit WideName(const char* utf8) {
        if (!utf8) return;
        const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
        if (n <= 0) return;
        text_ = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * static_cast<size_t>(n)));
        if (text_ && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, text_, n) != n) {
            std::free(text_);
            text_ = nullptr;
        }
    }
    ~WideName() { std::free(text_); }
    WideName(const WideName&) = delete;
    WideName& operator=(const WideName&) = delete;
    explicit operator bool() const { return text_ != nullptr; }
    const wchar_t* get() const { return text_; }

private:
    wchar_t* text_ = nullptr;
};

}  // namespace

extern "C" {

FILE* __real_fopen(const char* name, const char* mode);
int __real_remove(const char* name);
int __real_rename(const char* from, const char* to);
int __real_chdir(const char* path);
int __real_access(const char* path, int mode);
char* __real_getcwd(char* buffer, int size);

FILE* __wrap_fopen(const char* name, const char* mode) {
    WideName wideName(name), wideMode(mode);
    if (!wideName || !wideMode) return __real_fopen(name, mode);
    return _wfopen(wideName.get(), wideMode.get());
}

int __wrap_remove(const char* name) {
    WideName wide(name);
    return wide ? _wremove(wide.get()) : __real_remove(name);
}

int __wrap_rename(const char* from, const char* to) {
    WideName wideFrom(from), wideTo(to);
    if (!wideFrom || !wideTo) return __real_rename(from, to);
    return _wrename(wideFrom.get(), wideTo.get());
}

int __wrap_chdir(const char* path) {
    WideName wide(path);
    return wide ? _wchdir(wide.get()) : __real_chdir(path);
}

int __wrap_access(const char* path, int mode) {
    WideName wide(path);
    return wide ? _waccess(wide.get(), mode) : __real_access(path, mode);
}

char* __wrap_getcwd(char* buffer, int size) {
    wchar_t wide[MAX_PATH * 4];
    if (!buffer || size <= 0 || !_wgetcwd(wide, MAX_PATH * 4)) return __real_getcwd(buffer, size);
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, buffer, size, nullptr, nullptr) <= 0) {
        errno = ERANGE;
        return nullptr;
    }
    return buffer;
}

}  // extern "C"
