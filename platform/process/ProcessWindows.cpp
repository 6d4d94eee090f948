// Child processes on Windows: CreateProcessW with a pipe on standard input. No cmd.exe
// in between, so nothing is read as a shell's syntax.
#include "platform/process/Process.h"
#include "platform/windows/Windows.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace platform {

using windows::Narrow;
using windows::Widen;

namespace {

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder named from a drive's root or a share, not from the working folder.
bool IsAbsolute(const std::wstring& folder) {
    auto slash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    return (folder.size() >= 3 && folder[1] == L':' && slash(folder[2])) ||
           (folder.size() >= 2 && slash(folder[0]) && slash(folder[1]));
}

std::wstring Join(const std::wstring& folder, const std::wstring& file) {
    const wchar_t last = folder.back();
    return last == L'\\' || last == L'/' ? folder + file : folder + L'\\' + file;
}

}  // namespace

std::string FindProgram(const std::string& name) {
    std::wstring file;
    if (name.empty() || !Widen(name.c_str(), &file)) return std::string();
    // As the system's search would, .exe where the name has no extension of its own.
    const size_t base = file.find_last_of(L"\\/:");
    if (file.find(L'.', base == std::wstring::npos ? 0 : base + 1) == std::wstring::npos)
        file += L".exe";
    std::vector<std::wstring> folders;
    if (base != std::wstring::npos) {
        folders.push_back(std::wstring());  // a path: that file alone
    } else {
        // The running program's own folder, then PATH's folders. Not the working
        // folder, which SearchPath and CreateProcess look in first: it may be Downloads
        // or a --data folder, and an ffmpeg.exe lying there must not run. A relative
        // PATH entry would name the working folder too.
        wchar_t self[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring own(self, length > 0 && length < MAX_PATH ? length : 0);
        const size_t slash = own.find_last_of(L"\\/");
        if (slash != std::wstring::npos && slash > 0) folders.push_back(own.substr(0, slash));
        const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
        std::wstring path(size, L'\0');
        if (size > 0 && GetEnvironmentVariableW(L"PATH", &path[0], size) == size - 1) {
            path.resize(size - 1);
            for (size_t at = 0; at <= path.size();) {
                size_t end = path.find(L';', at);
                if (end == std::wstring::npos) end = path.size();
                std::wstring folder = path.substr(at, end - at);
                if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"')
                    folder = folder.substr(1, folder.size() - 2);
                if (IsAbsolute(folder)) folders.push_back(folder);
                at = end + 1;
            }
        }
    }
    for (const std::wstring& folder : folders) {
        const std::wstring candidate = folder.empty() ? file : Join(folder, file);
        std::string found;
        if (IsFile(candidate) && Narrow(candidate.c_str(), &found)) return found;
    }
    return std::string();
}

namespace {

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// An inheritable copy of one of our standard handles, or null where it leads nowhere.
HANDLE InheritableStandardHandle(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

std::string LastError() { return "error " + std::to_string(GetLastError()); }

}  // namespace

ChildProcess::~ChildProcess() {
    std::string ignored;
    if (process_ != -1) Finish(&ignored);
}

bool ChildProcess::Start(const std::string& path, const std::vector<std::string>& arguments,
                         std::string* error) {
    std::string commandLine = windows::QuoteArgument(path);
    for (const std::string& argument : arguments) commandLine += " " + windows::QuoteArgument(argument);
    std::wstring widePath, wideCommand;
    if (!Widen(path.c_str(), &widePath) || !Widen(commandLine.c_str(), &wideCommand)) {
        *error = "cannot start " + path + ": a name that is not UTF-8";
        return false;
    }
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        *error = "cannot make a pipe: " + LastError();
        return false;
    }
    // Only the program's end goes to the program.
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = InheritableStandardHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = InheritableStandardHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    const BOOL ok = CreateProcessW(widePath.c_str(), &wideCommand[0], nullptr, nullptr, TRUE, 0,
                                   nullptr, nullptr, &startup, &started);
    const std::string reason = ok ? std::string() : LastError();
    CloseHandle(readEnd);
    if (startup.hStdOutput) CloseHandle(startup.hStdOutput);
    if (startup.hStdError) CloseHandle(startup.hStdError);
    if (!ok) {
        CloseHandle(writeEnd);
        *error = "cannot start " + path + ": " + reason;
        return false;
    }
    CloseHandle(started.hThread);
    process_ = reinterpret_cast<intptr_t>(started.hProcess);
    input_ = reinterpret_cast<intptr_t>(writeEnd);
    return true;
}

bool ChildProcess::Write(const void* data, size_t size) {
    if (input_ == -1) return false;
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(AsHandle(input_), at, chunk, &written, nullptr) || written == 0) return false;
        at += written;
        size -= written;
    }
    return true;
}

bool ChildProcess::Finish(std::string* how) {
    if (input_ != -1) CloseHandle(AsHandle(input_));
    input_ = -1;
    if (process_ == -1) {
        *how = "not started";
        return false;
    }
    const HANDLE process = AsHandle(process_);
    process_ = -1;
    DWORD code = 0;
    const bool waited = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                        GetExitCodeProcess(process, &code);
    const std::string reason = waited ? std::string() : LastError();
    CloseHandle(process);
    if (!waited) {
        *how = "cannot wait for it: " + reason;
        return false;
    }
    if (code == 0) return true;
    // A crash ends a program with its exception code, which reads best in hex.
    char text[40];
    std::snprintf(text, sizeof text, code >= 0xC0000000u ? "exit status 0x%08lX" : "exit status %lu",
                  static_cast<unsigned long>(code));
    *how = text;
    return false;
}

namespace {

bool HandleLeadsSomewhere(DWORD which) {
    HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void AttachParentConsole() {
    const bool err = HandleLeadsSomewhere(STD_ERROR_HANDLE);
    const bool out = HandleLeadsSomewhere(STD_OUTPUT_HANDLE);
    if (err && out) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!err && std::freopen("CONOUT$", "w", stderr)) setvbuf(stderr, nullptr, _IONBF, 0);
    if (!out) std::freopen("CONOUT$", "w", stdout);
}

std::vector<std::string> Utf8Arguments(int, char**) { return windows::Utf8Arguments(); }

// A pipe whose reader has gone fails the write; there is no signal to ignore.
void KeepRunningOnBrokenPipe() {}

}  // namespace platform
