// Child processes on Windows: CreateProcessW with a pipe on standard input. No cmd.exe
// in between, so nothing is read as a shell's syntax.
#include "platform/process/Process.h"
#include "platform/windows/Windows.h"

#include <windows.h>

#include <cstdio>

namespace platform {

using windows::Narrow;
using windows::Widen;

std::string FindProgram(const std::string& name) {
    std::wstring wide;
    if (!Widen(name.c_str(), &wide)) return std::string();
    // The order CreateProcess itself would search, with .exe where the name has none.
    const DWORD size = SearchPathW(nullptr, wide.c_str(), L".exe", 0, nullptr, nullptr);
    if (size == 0) return std::string();
    std::wstring found(size, L'\0');
    const DWORD length = SearchPathW(nullptr, wide.c_str(), L".exe", size, &found[0], nullptr);
    if (length == 0 || length >= size) return std::string();
    found.resize(length);
    std::string path;
    return Narrow(found.c_str(), &path) ? path : std::string();
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
