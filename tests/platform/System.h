// What a test meets of the system it runs on: the shell that system() starts, and the
// line ends of the text files the programs write.
#pragma once

#include <string>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace testsystem {

// Whether system() runs a POSIX shell (redirections, rm -rf); cmd.exe is none.
#ifdef _WIN32
constexpr bool kPosixShell = false;
#else
constexpr bool kPosixShell = true;
#endif

// The exit status of the command that system() returned `status` for.
inline int ExitStatus(int status) {
#ifdef _WIN32
    return status;
#else
    return WEXITSTATUS(status);
#endif
}

// A text file's contents with each line ending in LF (Windows' end in CR LF).
inline std::string TextLines(std::string text) {
#ifdef _WIN32
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
#endif
    return text;
}

}  // namespace testsystem
