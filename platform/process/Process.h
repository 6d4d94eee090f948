// Starting another program without a shell: its standard input a pipe we write, its
// output and errors ours. A file per system (ProcessPosix.cpp, ProcessWindows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The path of the program `name` as the system looks programs up (PATH; on Windows the
// running program's own folder first, then PATH's folders, never the working folder,
// and ".exe" added), or "" when there is none.
std::string FindProgram(const std::string& name);

// A program started with a pipe to its standard input. One that is still running when
// this goes away gets its input closed and is waited for.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program at `path` with `arguments` after its own name, all UTF-8.
    // False, with the reason, when it cannot be started.
    bool Start(const std::string& path, const std::vector<std::string>& arguments,
               std::string* error);
    // Writes all of `data` to the program's input; false once it has stopped reading.
    bool Write(const void* data, size_t size);
    // Closes the program's input and waits for it to end. True for exit status 0;
    // otherwise `how` says how it ended ("exit status 3", "killed by signal 9").
    bool Finish(std::string* how);

private:
    // The system's process and pipe handles.
    intptr_t process_ = -1;
    intptr_t input_ = -1;
};

// A GUI program (kavlo.exe) has no console: started from one, it writes its stderr and
// stdout there. Handles that already lead somewhere (a pipe, a file) are kept. Nothing
// to do where programs always have their terminal's streams.
void AttachParentConsole();

// The program's arguments in UTF-8, its own name first, for programs that take file
// names in any language: on Windows from the wide command line (the narrow argv is in
// the code page), elsewhere argv as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// A write to a program that has stopped reading fails instead of ending this one: the
// system's broken-pipe signal is ignored, where it has one.
void KeepRunningOnBrokenPipe();

}  // namespace platform
