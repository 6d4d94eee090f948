// Child processes on POSIX systems: posix_spawn with a pipe on standard input.
#include "platform/process/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

bool IsProgram(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return IsProgram(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t end = folders.find(':', start);
        std::string folder = folders.substr(start, end == std::string::npos ? end : end - start);
        if (folder.empty()) folder = ".";  // an empty entry is the working folder
        const std::string candidate = folder + "/" + name;
        if (IsProgram(candidate)) return candidate;
        if (end == std::string::npos) return std::string();
        start = end + 1;
    }
}

ChildProcess::~ChildProcess() {
    std::string ignored;
    if (process_ > 0) Finish(&ignored);
}

bool ChildProcess::Start(const std::string& path, const std::vector<std::string>& arguments,
                         std::string* error) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    // We ignore SIGPIPE to see a write fail; the program gets the default back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> words = {path};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (failed) {
        close(pipeEnds[1]);
        *error = "cannot start " + path + ": " + std::strerror(failed);
        return false;
    }
    process_ = pid;
    input_ = pipeEnds[1];
    return true;
}

bool ChildProcess::Write(const void* data, size_t size) {
    if (input_ < 0) return false;
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(static_cast<int>(input_), at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ChildProcess::Finish(std::string* how) {
    if (input_ >= 0) close(static_cast<int>(input_));
    input_ = -1;
    if (process_ <= 0) {
        *how = "not started";
        return false;
    }
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(static_cast<pid_t>(process_), &status, 0);
    } while (waited < 0 && errno == EINTR);
    process_ = -1;
    if (waited < 0) {
        *how = std::string("cannot wait for it: ") + std::strerror(errno);
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    if (WIFEXITED(status))
        *how = "exit status " + std::to_string(WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        *how = "killed by signal " + std::to_string(WTERMSIG(status));
    else
        *how = "wait status " + std::to_string(status);
    return false;
}

void AttachParentConsole() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void KeepRunningOnBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace platform
