// `kavlo-data build`: writes the default show data (megadata.rar, musik.xm).
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "ShowData.h"

namespace kavlodata {

namespace {

bool EnsureDirectory(const std::string& path, std::string* error) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return true;
        *error = path + " is not a folder";
        return false;
    }
    if (mkdir(path.c_str(), 0777) != 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

void BuildHelp(std::FILE* out) {
    std::fputs("Usage: kavlo-data build [--preview DIR] [--quiet] [OUTDIR]\n"
               "Writes the default show data, megadata.rar and musik.xm, into OUTDIR (default:\n"
               "the current folder, created if missing). The same bytes on every run.\n\n"
               "  --preview DIR  also write a PNG copy of every picture into DIR\n"
               "  --quiet        no progress lines on stderr\n",
               out);
}

int BuildMain(int argc, char** argv) {
    showdata::BuildOptions options;
    bool quiet = false;
    std::string outDir;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            BuildHelp(stdout);
            return 0;
        } else if (!std::strcmp(argv[i], "--quiet")) {
            quiet = true;
        } else if (!std::strcmp(argv[i], "--preview")) {
            if (i + 1 >= argc) {
                std::fputs("kavlo-data: build: --preview needs a folder\n", stderr);
                return 2;
            }
            options.previewDir = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "kavlo-data: build: unknown option '%s'\n", argv[i]);
            BuildHelp(stderr);
            return 2;
        } else if (outDir.empty()) {
            outDir = argv[i];
        } else {
            std::fputs("kavlo-data: build: only one output folder\n", stderr);
            return 2;
        }
    }
    if (outDir.empty()) outDir = ".";
    std::string error;
    if (!EnsureDirectory(outDir, &error) ||
        (!options.previewDir.empty() && !EnsureDirectory(options.previewDir, &error))) {
        std::fprintf(stderr, "kavlo-data: %s\n", error.c_str());
        return 1;
    }
    if (!quiet)
        options.progress = [](const std::string& s) { std::fprintf(stderr, "kavlo-data: build: %s\n", s.c_str()); };
    const auto start = std::chrono::steady_clock::now();
    showdata::ShowData data;
    if (!showdata::BuildShowData(options, &data, &error) || !showdata::WriteShowData(data, outDir, &error)) {
        std::fprintf(stderr, "kavlo-data: %s\n", error.c_str());
        return 1;
    }
    if (!quiet)
        std::fprintf(stderr, "kavlo-data: build: wrote %s/%s (%zu bytes) and %s/%s (%zu bytes) in %.1f s\n",
                     outDir.c_str(), showdata::kArchiveName, data.archive.size(), outDir.c_str(),
                     showdata::kMusicName, data.music.size(),
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}

}  // namespace kavlodata
