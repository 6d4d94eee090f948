// A stand-in for ffmpeg.exe in the Windows checks: reads the raw frames kavlo-capture
// pipes to it and writes what it got, its own path and its arguments into the file it
// is to make. With KAVLO_STAND_IN_STATUS set it ends at once with that status, reading
// nothing.
#include "platform/windows/Windows.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A file name as ffmpeg's file protocol reads it.
std::string FileName(const std::string& name) {
    return name.compare(0, 5, "file:") == 0 ? name.substr(5) : name;
}

}  // namespace

int main() {
    if (const char* status = std::getenv("KAVLO_STAND_IN_STATUS")) return std::atoi(status);
    const std::vector<std::string> args = platform::windows::Utf8Arguments();
    if (args.size() < 2) return 2;
    int width = 0, height = 0;
    std::string wav;
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "-s") std::sscanf(args[i + 1].c_str(), "%dx%d", &width, &height);
        if (args[i] == "-i" && args[i + 1] != "-") wav = FileName(args[i + 1]);
    }
    _setmode(_fileno(stdin), _O_BINARY);
    unsigned long long bytes = 0;
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) bytes += n;
    const unsigned long long frame = 4ull * width * height;
    std::FILE* sound = std::fopen(wav.c_str(), "rb");
    if (sound) std::fclose(sound);

    std::FILE* out = std::fopen(FileName(args.back()).c_str(), "wb");
    if (!out) return 1;
    std::fprintf(out, "%llu frames of %dx%d, %llu bytes over, sound %s\n", frame ? bytes / frame : 0,
                 width, height, frame ? bytes % frame : bytes, sound ? "read" : "missing");
    wchar_t self[MAX_PATH];
    std::string path;
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length > 0 && length < MAX_PATH && platform::windows::Narrow(self, &path))
        std::fprintf(out, "ran %s\n", path.c_str());
    for (size_t i = 1; i < args.size(); ++i) std::fprintf(out, "[%s]\n", args[i].c_str());
    return std::fclose(out) == 0 ? 0 : 1;
}
